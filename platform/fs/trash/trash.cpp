#include "platform/fs/trash/trash.h"

#include <unistd.h>
#include <cerrno>
#include <cstdlib>

#include "platform/fs/core/paths.h"

namespace kv {

namespace {

constexpr size_t kTrashNameMax = 255;
const std::string kInfoSuffix = ".trashinfo";

bool unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '!' || c == '~' || c == '*' || c == '\'' || c == '(' || c == ')' ||
           c == '/';
}

// Candidate names inside files/: "name", "name.2", "name.3", ...; short enough that the info file's
// name (with ".trashinfo") still fits a folder entry.
std::string trashName(const std::string& base, int n) {
    std::string suffix;
    if (n != 1) suffix.append(".").append(std::to_string(n));
    std::string stem = base;
    const size_t limit = kTrashNameMax - kInfoSuffix.size() - suffix.size();
    if (stem.size() > limit) {
        stem.resize(limit);
    }
    return stem + suffix;
}

}  // namespace

Trash::Trash(FsOps& ops, std::string homeTrash) : m_ops(ops), m_home(std::move(homeTrash)) {
    if (m_home.empty()) m_home = defaultHomeTrash();
}

std::string Trash::defaultHomeTrash() {
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x == '/') return paths::join(x, "Trash");
    const char* h = std::getenv("HOME");
    return paths::join(h && *h ? h : "/", ".local/share/Trash");
}

std::string Trash::encodePath(std::string_view path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (unreserved(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::string Trash::decodePath(std::string_view s) {
    auto val = [](char c) -> int {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && val(s[i + 1]) >= 0 && val(s[i + 2]) >= 0) {
            out.push_back(static_cast<char>(val(s[i + 1]) * 16 + val(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string Trash::infoText(std::string_view pathValue, std::time_t deletedAt) {
    std::tm tm{};
    localtime_r(&deletedAt, &tm);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &tm);
    return "[Trash Info]\nPath=" + std::string(pathValue) + "\nDeletionDate=" + date + "\n";
}

int Trash::ensureDir(const std::string& path) {
    struct stat st {};
    if (m_ops.lstat(path, st) == 0) {
        return S_ISDIR(st.st_mode) ? 0 : -ENOTDIR;
    }
    const std::string parent = paths::parentOf(path);
    if (parent != path) {
        if (const int r = ensureDir(parent); r != 0) {
            return r;
        }
    }
    const int r = m_ops.mkdir(path, 0700);
    return r == -EEXIST ? 0 : r;
}

std::string Trash::topDirOf(const std::string& dir, dev_t dev) {
    std::string cur = dir;
    for (;;) {
        const std::string up = paths::parentOf(cur);
        struct stat st {};
        if (up == cur || m_ops.stat(up, st) != 0 || st.st_dev != dev) {
            return cur;
        }
        cur = up;
    }
}

int Trash::tryTrashDir(const std::string& trashDir, const std::string& path, const std::string& pathValue,
                       TrashedItem& out) {
    const std::string files = paths::join(trashDir, "files");
    const std::string info = paths::join(trashDir, "info");
    if (int r = ensureDir(files); r != 0) {
        return r;
    }
    if (int r = ensureDir(info); r != 0) {
        return r;
    }
    const std::string base = paths::baseName(path);
    const std::string text = infoText(pathValue, std::time(nullptr));
    for (int n = 1; n < 10000; ++n) {
        const std::string name = trashName(base, n);
        const std::string infoPath = paths::join(info, name + kInfoSuffix);
        const std::string filesPath = paths::join(files, name);
        // The info file is made first and exclusively: it reserves the name against another program
        // trashing the same name at the same moment.
        const int fd = m_ops.createExclusive(infoPath, 0600);
        if (fd == -EEXIST) {
            continue;
        }
        if (fd < 0) {
            return fd;
        }
        int r = 0;
        for (size_t off = 0; off < text.size() && r == 0;) {
            const ssize_t w = m_ops.write(fd, text.data() + off, text.size() - off);
            if (w <= 0) {
                r = w < 0 ? static_cast<int>(w) : -EIO;
            } else {
                off += static_cast<size_t>(w);
            }
        }
        if (r == 0) {
            r = m_ops.fsync(fd);
        }
        const int c = m_ops.close(fd);
        if (r == 0) {
            r = c;
        }
        if (r == 0) {
            r = m_ops.rename(path, filesPath, true);
        }
        if (r == -EEXIST) {
            m_ops.unlink(infoPath);
            continue;
        }
        if (r != 0) {
            m_ops.unlink(infoPath);
            return r;
        }
        out.originalPath = path;
        out.trashedPath = filesPath;
        out.infoPath = infoPath;
        return 0;
    }
    return -EEXIST;
}

int Trash::trash(const std::string& given, TrashedItem& out, JobReport& report) {
    report = {JobAction::Trash, given, 0, JobProblem::Errno, {}};
    struct stat st {};
    if (given.empty() || given[0] != '/') {
        report.error = EINVAL;
        report.problem = JobProblem::NotAbsolute;
        return -EINVAL;
    }
    if (const int r = m_ops.lstat(given, st); r != 0) {
        report.error = -r;
        return r;
    }
    std::string parent;
    if (const int r = m_ops.realPath(paths::parentOf(given), parent); r != 0) {
        report.error = -r;
        return r;
    }
    const std::string path = paths::join(parent, paths::baseName(given));
    std::string homeReal = m_home;
    m_ops.realPath(m_home, homeReal);
    const std::string uid = std::to_string(getuid());
    const std::string top = topDirOf(parent, st.st_dev);
    const std::string topTrash = paths::join(top, ".Trash-" + uid);
    if (paths::isSameOrInside(path, homeReal) || paths::isSameOrInside(path, topTrash) ||
        paths::isSameOrInside(homeReal, path)) {
        report.error = EPERM;
        report.problem = JobProblem::InsideTrash;
        return -EPERM;
    }

    int r = -EXDEV;
    struct stat hst {};
    if (ensureDir(m_home) == 0 && m_ops.stat(m_home, hst) == 0 && hst.st_dev == st.st_dev) {
        r = tryTrashDir(m_home, path, encodePath(path), out);
    }
    if (r == -EXDEV) {
        // The volume's own trash. Path= is relative to the volume's top folder, so the entry stays
        // right wherever the volume is mounted next time.
        std::string rel = path.substr(top == "/" ? 1 : top.size() + 1);
        const std::string adminTrash = paths::join(top, ".Trash");
        struct stat ast {};
        if (m_ops.lstat(adminTrash, ast) == 0 && S_ISDIR(ast.st_mode) && (ast.st_mode & S_ISVTX)) {
            r = tryTrashDir(paths::join(adminTrash, uid), path, encodePath(rel), out);
        }
        if (r != 0) {
            struct stat tst {};
            const int made = m_ops.mkdir(topTrash, 0700);
            if ((made == 0 || made == -EEXIST) && m_ops.lstat(topTrash, tst) == 0 && S_ISDIR(tst.st_mode) &&
                tst.st_uid == getuid()) {
                r = tryTrashDir(topTrash, path, encodePath(rel), out);
            } else {
                r = made != 0 && made != -EEXIST ? made : -EPERM;
            }
        }
    }
    if (r != 0) {
        report.error = -r;
        report.problem = r == -EXDEV ? JobProblem::NoTrash : JobProblem::Errno;
    }
    return r;
}

int Trash::restore(const TrashedItem& item, JobReport& report) {
    report = {JobAction::Restore, item.originalPath, 0, JobProblem::Errno, {}};
    struct stat st {};
    if (m_ops.lstat(item.trashedPath, st) != 0) {
        report.error = ENOENT;
        report.problem = JobProblem::NotInTrash;
        return -ENOENT;
    }
    if (const int r = ensureDir(paths::parentOf(item.originalPath)); r != 0) {
        report.error = -r;
        return r;
    }
    if (const int r = m_ops.rename(item.trashedPath, item.originalPath, true); r != 0) {
        report.error = -r;
        report.problem = r == -EEXIST ? JobProblem::PlaceTaken : JobProblem::Errno;
        return r;
    }
    m_ops.unlink(item.infoPath);
    return 0;
}

}  // namespace kv
