#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <string>
#include <vector>

namespace kv {

// The system calls the file jobs make, one virtual per call, so a test can make any one of them fail
// at the moment it chooses (a read error at item N, a full disk mid-file). The jobs hold a shared
// FsOps; production uses this class as is. Every call returns 0 (or a count or descriptor) on
// success and -errno on failure, and never changes errno for the caller to read later.
class FsOps {
  public:
    virtual ~FsOps() = default;

    virtual int lstat(const std::string& path, struct stat& st);
    virtual int stat(const std::string& path, struct stat& st);
    virtual int fstat(int fd, struct stat& st);
    virtual int realPath(const std::string& path, std::string& out);
    // Entry names of a folder, without "." and "..", as raw bytes.
    virtual int listNames(const std::string& dir, std::vector<std::string>& names);

    virtual int openRead(const std::string& path);  // never follows a final symlink, never blocks
    // Creates a new file, failing with -EEXIST if anything has the name.
    virtual int createExclusive(const std::string& path, mode_t mode);
    // Creates a file without a name in the folder dir (O_TMPFILE): nothing of it is seen, and nothing
    // is left behind if the program dies, until linkUnnamed gives it a name. -EOPNOTSUPP where the
    // filesystem (or a missing /proc) cannot do it.
    virtual int createUnnamed(const std::string& dir, mode_t mode);
    // Gives the unnamed file open on fd the name path; fails with -EEXIST, never replaces.
    virtual int linkUnnamed(int fd, const std::string& path);
    virtual ssize_t read(int fd, void* buf, size_t count);
    virtual ssize_t write(int fd, const void* buf, size_t count);
    virtual ssize_t copyRange(int in, int out, size_t count);  // copy_file_range at the current offsets
    virtual int cloneFile(int in, int out);                    // FICLONE: share the extents
    virtual off_t seek(int fd, off_t offset, int whence);      // lseek, SEEK_DATA and SEEK_HOLE too
    virtual int ftruncate(int fd, off_t length);
    // The extended attributes (ACLs included) of the item open on in, given to the item open on out.
    // 0 when all were kept, -ENOTSUP when the target holds none or not all of them; attributes that
    // only a privileged process may set are left out silently, as cp does.
    virtual int copyAttributes(int in, int out);
    // One extended attribute of the item at path (a final symlink not followed).
    virtual int setAttribute(const std::string& path, const char* name, const std::string& value);
    virtual int fsync(int fd);
    virtual int fsyncPath(const std::string& path);  // a folder's entries reach the disk
    virtual int close(int fd);
    virtual int fchmod(int fd, mode_t mode);
    virtual int fchown(int fd, uid_t uid, gid_t gid);
    virtual int futimens(int fd, const struct timespec times[2]);

    // noReplace: fail with -EEXIST rather than replace what has the new name. Filesystems without
    // RENAME_NOREPLACE get the same guarantee from link+unlink.
    virtual int rename(const std::string& from, const std::string& to, bool noReplace);
    virtual int unlink(const std::string& path);
    virtual int rmdir(const std::string& path);
    virtual int mkdir(const std::string& path, mode_t mode);
    virtual int symlink(const std::string& target, const std::string& path);
    virtual int link(const std::string& existing, const std::string& path);  // a hard link
    virtual int readlink(const std::string& path, std::string& target);
    virtual int mknod(const std::string& path, mode_t mode, dev_t dev);
    virtual int chmod(const std::string& path, mode_t mode);
    virtual int lchown(const std::string& path, uid_t uid, gid_t gid);
    // Sets access and modification times without following a final symlink.
    virtual int setTimes(const std::string& path, const struct timespec times[2]);
};

}  // namespace kv
