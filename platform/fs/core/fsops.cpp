#include "platform/fs/core/fsops.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kv {

namespace {

int result(int r) {
    return r < 0 ? -errno : r;
}
ssize_t resultSz(ssize_t r) {
    return r < 0 ? -errno : r;
}

}  // namespace

int FsOps::lstat(const std::string& path, struct stat& st) {
    return result(::lstat(path.c_str(), &st));
}

int FsOps::stat(const std::string& path, struct stat& st) {
    return result(::stat(path.c_str(), &st));
}

int FsOps::fstat(int fd, struct stat& st) {
    return result(::fstat(fd, &st));
}

int FsOps::realPath(const std::string& path, std::string& out) {
    char* r = ::realpath(path.c_str(), nullptr);
    if (!r) {
        return -errno;
    }
    out = r;
    std::free(r);
    return 0;
}

int FsOps::listNames(const std::string& dir, std::vector<std::string>& names) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        return -errno;
    }
    errno = 0;
    while (dirent* e = ::readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) {
            continue;
        }
        names.emplace_back(n);
    }
    const int err = errno;
    ::closedir(d);
    return -err;
}

int FsOps::openRead(const std::string& path) {
    // Without blocking: a FIFO put where a file was must not hang the job in open().
    return result(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
}

int FsOps::createExclusive(const std::string& path, mode_t mode) {
    return result(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode));
}

int FsOps::createUnnamed(const std::string& dir, mode_t mode) {
    // Linking such a file back into the tree goes through its /proc/self/fd entry (AT_EMPTY_PATH
    // would need a capability), so without /proc the files could never get their names.
    static const bool haveProc = ::access("/proc/self/fd", X_OK) == 0;
    if (!haveProc) {
        return -EOPNOTSUPP;
    }
    const int fd = ::open(dir.c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0) {
        // Kernels and filesystems without O_TMPFILE answer in several ways.
        const int err = errno;
        return err == EISDIR || err == EINVAL || err == EOPNOTSUPP ? -EOPNOTSUPP : -err;
    }
    return fd;
}

int FsOps::linkUnnamed(int fd, const std::string& path) {
    char proc[40];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    return result(::linkat(AT_FDCWD, proc, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW));
}

int FsOps::link(const std::string& existing, const std::string& path) {
    return result(::link(existing.c_str(), path.c_str()));
}

ssize_t FsOps::read(int fd, void* buf, size_t count) {
    return resultSz(::read(fd, buf, count));
}

ssize_t FsOps::write(int fd, const void* buf, size_t count) {
    return resultSz(::write(fd, buf, count));
}

ssize_t FsOps::copyRange(int in, int out, size_t count) {
    return resultSz(::copy_file_range(in, nullptr, out, nullptr, count, 0));
}

int FsOps::cloneFile(int in, int out) {
    return result(::ioctl(out, FICLONE, in));
}

off_t FsOps::seek(int fd, off_t offset, int whence) {
    const off_t r = ::lseek(fd, offset, whence);
    return r < 0 ? -errno : r;
}

int FsOps::ftruncate(int fd, off_t length) {
    return result(::ftruncate(fd, length));
}

int FsOps::copyAttributes(int in, int out) {
    std::vector<char> names(4096);
    ssize_t n;
    while ((n = ::flistxattr(in, names.data(), names.size())) < 0 && errno == ERANGE) {
        const ssize_t need = ::flistxattr(in, nullptr, 0);
        if (need < 0) return -errno;
        names.resize(static_cast<size_t>(need) + 1);
    }
    if (n < 0) return errno == ENOTSUP ? 0 : -errno;  // a source without attributes has none to keep
    int lost = 0;
    std::vector<char> value(4096);
    for (ssize_t at = 0; at < n;) {
        const char* name = names.data() + at;
        at += static_cast<ssize_t>(std::strlen(name)) + 1;
        ssize_t len;
        while ((len = ::fgetxattr(in, name, value.data(), value.size())) < 0 && errno == ERANGE) {
            const ssize_t need = ::fgetxattr(in, name, nullptr, 0);
            if (need < 0) break;
            value.resize(static_cast<size_t>(need) + 1);
        }
        if (len < 0) continue;  // gone meanwhile, or not ours to read
        if (::fsetxattr(out, name, value.data(), static_cast<size_t>(len), 0) == 0) continue;
        // user.* and the ACLs (system.*) are everyone's to set: failing them is a loss. security.* and
        // trusted.* need privileges, and without them are left out as cp leaves them out.
        const bool everyones = std::strncmp(name, "user.", 5) == 0 || std::strncmp(name, "system.", 7) == 0;
        if (everyones || errno == ENOTSUP || errno == ENOSPC || errno == E2BIG) lost = -ENOTSUP;
    }
    return lost;
}

int FsOps::setAttribute(const std::string& path, const char* name, const std::string& value) {
    return result(::lsetxattr(path.c_str(), name, value.data(), value.size(), 0));
}

int FsOps::fsync(int fd) {
    return result(::fsync(fd));
}

int FsOps::fsyncPath(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return -errno;
    }
    const int r = result(::fsync(fd));
    ::close(fd);
    // Some filesystems cannot sync a folder; that is not a failure of the data.
    return r == -EINVAL ? 0 : r;
}

int FsOps::close(int fd) {
    return result(::close(fd));
}

int FsOps::fchmod(int fd, mode_t mode) {
    return result(::fchmod(fd, mode));
}

int FsOps::fchown(int fd, uid_t uid, gid_t gid) {
    return result(::fchown(fd, uid, gid));
}

int FsOps::futimens(int fd, const struct timespec times[2]) {
    return result(::futimens(fd, times));
}

int FsOps::rename(const std::string& from, const std::string& to, bool noReplace) {
    if (!noReplace) {
        return result(::rename(from.c_str(), to.c_str()));
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -errno;
    }
    // No RENAME_NOREPLACE here (some network and FUSE filesystems): link() fails on an existing
    // name, which gives the same promise for files. Folders cannot be linked; check and rename.
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        return -errno;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::link(from.c_str(), to.c_str()) != 0) {
            return -errno;
        }
        return result(::unlink(from.c_str()));
    }
    if (::lstat(to.c_str(), &st) == 0) {
        return -EEXIST;
    }
    return result(::rename(from.c_str(), to.c_str()));
}

int FsOps::unlink(const std::string& path) {
    return result(::unlink(path.c_str()));
}

int FsOps::rmdir(const std::string& path) {
    return result(::rmdir(path.c_str()));
}

int FsOps::mkdir(const std::string& path, mode_t mode) {
    return result(::mkdir(path.c_str(), mode));
}

int FsOps::symlink(const std::string& target, const std::string& path) {
    return result(::symlink(target.c_str(), path.c_str()));
}

int FsOps::readlink(const std::string& path, std::string& target) {
    std::string buf(PATH_MAX, '\0');
    for (;;) {
        const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
        if (n < 0) {
            return -errno;
        }
        if (static_cast<size_t>(n) < buf.size()) {
            buf.resize(static_cast<size_t>(n));
            target = std::move(buf);
            return 0;
        }
        buf.resize(buf.size() * 2);
    }
}

int FsOps::mknod(const std::string& path, mode_t mode, dev_t dev) {
    return result(::mknod(path.c_str(), mode, dev));
}

int FsOps::chmod(const std::string& path, mode_t mode) {
    return result(::chmod(path.c_str(), mode));
}

int FsOps::lchown(const std::string& path, uid_t uid, gid_t gid) {
    return result(::lchown(path.c_str(), uid, gid));
}

int FsOps::setTimes(const std::string& path, const struct timespec times[2]) {
    return result(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW));
}

}  // namespace kv
