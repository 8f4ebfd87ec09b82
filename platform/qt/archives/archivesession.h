#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/fs/archives/tempcopies.h"

namespace kv {

// What the archives of one run share, whichever pane opens them: the temporary copies taken out of
// them, and the passwords given for the encrypted ones. The front end owns one and hands it to its
// views (PaneServices); it outlives them.
class ArchiveSession {
  public:
    ArchiveSession() = default;
    // What is left of this run's copies goes with it (the end of the run).
    ~ArchiveSession();
    ArchiveSession(const ArchiveSession&) = delete;
    ArchiveSession& operator=(const ArchiveSession&) = delete;

    // Where copies taken out of archives go. Shared with the workers that make them.
    const std::shared_ptr<TempCopies>& tempCopies() const { return m_tempCopies; }
    void setTempCopies(std::shared_ptr<TempCopies> copies) { m_tempCopies = std::move(copies); }
    // The passwords given for encrypted archives in this run (archive -> password), in memory only:
    // whichever pane extracts, a later copy or drag of their items asks again for none. UI thread.
    std::map<std::string, std::string>& passwords() { return m_passwords; }

  private:
    std::shared_ptr<TempCopies> m_tempCopies = std::make_shared<TempCopies>();
    std::map<std::string, std::string> m_passwords;
};

}  // namespace kv
