#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/hive.h"
#include "platform/registry/hivefile.h"
#include "platform/registry/registryapi.h"

namespace kv {

// The current user's registry branch kept in one hive file (see Hive for its text).
//
// No value is cached: every call goes to the file, so a change by another program or by a person's
// editor is seen at once; only the parse of a file whose identity (device, file number, size,
// modification and change times) is unchanged since the last call is reused. Every change is a
// read-modify-write under an advisory lock on "<file>.lock" and replaces the file by renaming a
// flushed temporary file over it, so concurrent programs resolve to last write wins without losing
// each other's other values, and a crash leaves the old or the new file, never a torn one. A file
// that cannot be parsed reads as empty and is moved aside to "<file>.corrupt-<time>" by the next
// change, never overwritten.
//
// Whatever sits at the path, the program must start and stay responsive: only a regular file is
// read (a pipe, a device or a folder reads as empty, is left alone and makes every change fail), a
// file above kMaxFileSize is corrupt without being read, another program's lock is waited for
// kLockWait at most, and a link to a regular file is written through, so that the link stays.
// Temporary files of writers killed before their rename are removed by the next change.
//
// On Windows the settings live in the registry itself (WinRegistry); the hive file builds there
// too, so that the same tests run.
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

    // A larger file is not read (it reads as corrupt), and a change that would make the file larger
    // fails, so that everything written reads back.
    static constexpr std::uint64_t kMaxFileSize = std::uint64_t{16} << 20;
    // How long a change waits for another program's lock before it fails.
    static constexpr std::chrono::milliseconds kLockWait{2000};

    const std::string& path() const { return m_path; }

    // $XDG_CONFIG_HOME/Kestrovan/settings.reg, with ~/.config when XDG_CONFIG_HOME is unset or not
    // an absolute path (on Windows %APPDATA%\Kestrovan\settings.reg).
    static std::string userHivePath();

  private:
    enum class FileState { Missing, Parsed, Corrupt, NotRegular, Unreadable };
    struct Snapshot {
        std::shared_ptr<const Hive> hive;  // never null; an empty hive unless Parsed
        FileState state = FileState::Missing;
    };
    struct ParsedFile {
        hivefile::FileIdentity identity{};
        Snapshot snapshot;
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
    // The last file parsed, reused while the file's identity stays the same; every call still checks
    // the file.
    mutable std::optional<ParsedFile> m_lastParse;
    RegHandle m_nextHandle = 0x100;
};

}  // namespace kv
