#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry/hive.h"
#include "platform/registry/registryapi.h"

namespace kv {

// The current user's registry branch kept in one hive file (see Hive for its text).
//
// No state is cached: every call reads the file afresh, so a change by another program or by a
// person's editor is seen at once. Every change is a read-modify-write under an advisory lock on
// "<file>.lock" and replaces the file by renaming a flushed temporary file over it, so concurrent
// programs resolve to last write wins without losing each other's other values, and a crash leaves
// the old or the new file, never a torn one. A file that cannot be parsed reads as empty and is moved
// aside to "<file>.corrupt-<time>" by the next change, never overwritten. On Windows the settings live
// in the registry itself (WinRegistry); the hive file builds there too, so that the same tests run.
class FileRegistry : public RegistryApi {
  public:
    explicit FileRegistry(std::string hivePath);

    long openKey(RegHandle parent, const std::string& subKey, RegHandle* result) override;
    long createKey(RegHandle parent, const std::string& subKey, RegHandle* result) override;
    long queryValue(RegHandle key, const std::string& valueName, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override;
    long setValue(RegHandle key, const std::string& valueName, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override;
    long closeKey(RegHandle key) override;

    const std::string& path() const { return m_path; }

    // $XDG_CONFIG_HOME/Kestrovan/settings.reg, with ~/.config when XDG_CONFIG_HOME is unset or not
    // an absolute path (on Windows %APPDATA%\Kestrovan\settings.reg).
    static std::string userHivePath();

  private:
    struct Snapshot {
        Hive hive;
        bool corrupt = false;
        bool unreadable = false;
    };

    Snapshot load() const;
    // Runs `change` on the file's current content under the lock; writes the file when it reports a
    // change and returns success.
    long update(const std::function<long(Hive&, bool&)>& change);
    long resolve(RegHandle parent, const std::string& subKey, std::vector<std::string>& path) const;
    RegHandle addHandle(std::vector<std::string> path);

    std::string m_path;
    mutable std::mutex m_mutex;
    std::map<RegHandle, std::vector<std::string>> m_handles;
    RegHandle m_nextHandle = 0x100;
};

}  // namespace kv
