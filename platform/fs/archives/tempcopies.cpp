#include "platform/fs/archives/tempcopies.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace kv {

namespace {

// Deeper trees than this are left for a later start rather than holding a descriptor per level.
constexpr int kMaxDepth = 200;

std::string defaultBase() {
    // Not $XDG_RUNTIME_DIR: it is a small RAM-backed folder, and a copy handed to another program
    // can be large.
    const char* tmp = std::getenv("TMPDIR");
    if (tmp && tmp[0] == '/') return tmp;
    return "/tmp";
}

// Whether a folder entry's name is one of a run folder ("<pid>" or "<pid>-<start time>").
bool isRunName(const std::string& name, pid_t& pid) {
    const std::size_t dash = name.find('-');
    const std::string number = name.substr(0, dash);
    if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    if (dash != std::string::npos) {
        const std::string start = name.substr(dash + 1);
        if (start.empty() || start.find_first_not_of("0123456789") != std::string::npos) return false;
    }
    pid = static_cast<pid_t>(std::stol(number));
    return pid > 0;
}

// A folder of the user's own, not a link, that nobody else may enter.
bool ownFolder(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        errno = EPERM;
        return false;
    }
    return (st.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

bool makeOwnFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    return ownFolder(path);
}

bool removeAt(int parentFd, const char* name, dev_t device, int depth) {
    if (::unlinkat(parentFd, name, 0) == 0 || errno == ENOENT) return true;
    if (errno != EISDIR && errno != EPERM) return false;
    if (depth > kMaxDepth) return false;
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    // Something mounted below is not ours to empty.
    if (::fstat(fd, &st) != 0 || st.st_dev != device) {
        ::close(fd);
        return false;
    }
    // A folder taken out of an archive read-only keeps its entries from us otherwise.
    if ((st.st_mode & 0700) != 0700 && st.st_uid == ::getuid()) ::fchmod(fd, st.st_mode | 0700);
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    bool all = true;
    for (const std::string& n : names) all = removeAt(fd, n.c_str(), device, depth + 1) && all;
    ::closedir(dir);
    return all && (::unlinkat(parentFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT);
}

}  // namespace

TempCopies::TempCopies(std::string base, pid_t pid) {
    if (base.empty()) base = defaultBase();
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (pid == 0) pid = ::getpid();
    m_parent = base + "/kestrovan-" + std::to_string(::getuid());
    const std::string name = runName(pid);
    m_run = m_parent + "/" + (name.empty() ? std::to_string(pid) : name);
}

std::string TempCopies::runName(pid_t pid) {
    if (pid <= 0) return {};  // kill() would take it for a process group
    // The start time (field 22 of /proc/PID/stat, after the command's parenthesised name, which may
    // hold anything) tells this process from a later one given the same pid.
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::stringstream text;
    text << in.rdbuf();
    const std::string stat = text.str();
    const std::size_t close = stat.rfind(')');
    if (in && close != std::string::npos) {
        std::istringstream fields(stat.substr(close + 1));
        std::string field;
        for (int i = 3; i <= 22 && (fields >> field); ++i)
            if (i == 22) return std::to_string(pid) + "-" + field;
    }
    if (::kill(pid, 0) == 0 || errno == EPERM) return std::to_string(pid);
    return {};
}

bool TempCopies::removeTree(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return false;
    const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    struct stat st;
    bool gone = false;
    if (::fstat(fd, &st) == 0) gone = removeAt(fd, path.c_str() + slash + 1, st.st_dev, 0);
    ::close(fd);
    return gone;
}

bool TempCopies::ensureFolders() {
    if (m_runMade && ownFolder(m_run)) return true;
    m_runMade = makeOwnFolder(m_parent) && makeOwnFolder(m_run);
    return m_runMade;
}

std::string TempCopies::make(bool kept) {
    std::lock_guard lock(m_mutex);
    if (!ensureFolders()) return {};
    std::string dir = m_run + "/XXXXXX";
    if (!::mkdtemp(dir.data())) return {};
    m_made.insert(dir);
    if (kept) m_kept.insert(dir);
    return dir;
}

bool TempCopies::mine(const std::string& dir) const {
    return m_made.count(dir) > 0;
}

void TempCopies::keep(const std::string& dir) {
    std::lock_guard lock(m_mutex);
    if (mine(dir)) m_kept.insert(dir);
}

bool TempCopies::remove(const std::string& dir) {
    {
        std::lock_guard lock(m_mutex);
        if (!mine(dir)) return false;
        m_made.erase(dir);
        m_kept.erase(dir);
    }
    return removeTree(dir);
}

void TempCopies::removeThisRun() {
    std::lock_guard lock(m_mutex);
    if (!m_kept.empty()) {
        for (auto it = m_made.begin(); it != m_made.end();) {
            if (m_kept.count(*it)) {
                ++it;
                continue;
            }
            removeTree(*it);
            it = m_made.erase(it);
        }
        return;
    }
    if (m_runMade || !m_made.empty()) removeTree(m_run);
    m_made.clear();
    m_runMade = false;
}

int TempCopies::removeLeftovers() {
    if (!ownFolder(m_parent)) return 0;
    DIR* dir = ::opendir(m_parent.c_str());
    if (!dir) return 0;
    std::vector<std::string> gone;
    const std::string ours = m_run.substr(m_parent.size() + 1);
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        pid_t pid = 0;
        if (name == ours || !isRunName(name, pid)) continue;
        // A live process of that pid with another start time is another program: the run is over.
        if (runName(pid) != name) gone.push_back(name);
    }
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : gone) removed += removeTree(m_parent + "/" + name) ? 1 : 0;
    return removed;
}

}  // namespace kv
