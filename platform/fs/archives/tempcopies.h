#pragma once

#include <sys/types.h>

#include <mutex>
#include <set>
#include <string>

namespace kv {

// The temporary copies this program makes of items inside archives (to open one with its application,
// to preview it, to hand it to another program), all under one folder of the user's:
// <base>/kestrovan-<uid>/ (mode 0700), with a folder for each run named after its process
// ("<pid>-<start time>", so a pid used again by another process is not taken for this run), and a
// folder for each copy inside that.
//
// A copy given to another program (opened with an application, dropped or pasted there) may still be
// in use when this program ends, so it is kept until a later start; every other copy goes at the end
// of the run. A start removes the folders of runs whose process is gone. Removal never follows a
// symbolic link and never leaves the per-user folder. Any thread; the calls that touch the disk
// block, so the UI thread runs them in the background.
class TempCopies {
  public:
    // base: where the per-user folder is made (empty: $XDG_RUNTIME_DIR, else the temporary folder).
    explicit TempCopies(std::string base = {}, pid_t pid = 0);
    TempCopies(const TempCopies&) = delete;
    TempCopies& operator=(const TempCopies&) = delete;

    const std::string& parent() const { return m_parent; }
    const std::string& runFolder() const { return m_run; }

    // A new empty folder for one copy; empty when it could not be made (errno says why). kept: the
    // copy goes to another program.
    std::string make(bool kept);
    // The copy in folder dir (one make() gave) went to another program after all.
    void keep(const std::string& dir);
    // Removes a copy's folder (one make() gave; anything else is left alone).
    bool remove(const std::string& dir);
    // At the end of the run: every copy of this run that no other program was given; the run's folder
    // too when nothing is kept in it.
    void removeThisRun();
    // At start: the folders of runs whose process is gone. Returns how many went.
    int removeLeftovers();

    // The name of the run folder of a live process ("" when it is not running).
    static std::string runName(pid_t pid);
    // Removes path and what is below it, on the same filesystem, without following any symbolic link:
    // a link is removed as a link. True when path is gone.
    static bool removeTree(const std::string& path);

  private:
    bool ensureFolders();
    bool mine(const std::string& dir) const;

    std::string m_parent;
    std::string m_run;
    std::mutex m_mutex;
    bool m_runMade = false;
    std::set<std::string> m_made;  // copies not yet removed
    std::set<std::string> m_kept;
};

}  // namespace kv
