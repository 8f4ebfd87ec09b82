#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/fs/core/fsops.h"

namespace kv::test {

// FsOps with a hook in front of the calls that move data: hook(op, path) returns 0 to let the call
// through or -errno to fail it. Small files are copied on several threads at once, so the hook may run
// on any of them (one file's calls all come from one thread). Descriptor calls report the path the descriptor
// was opened for. chunk limits how much one read or copy_file_range moves, so a small file has a middle to
// fail in.
class FaultyFsOps : public FsOps {
  public:
    std::function<int(const std::string& op, const std::string& path)> hook =
        [](const std::string&, const std::string&) { return 0; };
    size_t chunk = 64 * 1024;

    int openRead(const std::string& path) override {
        if (int r = hook("openRead", path)) {
            return r;
        }
        return remember(FsOps::openRead(path), path);
    }
    int createExclusive(const std::string& path, mode_t mode) override {
        if (int r = hook("create", path)) {
            return r;
        }
        return remember(FsOps::createExclusive(path, mode), path);
    }
    // An unnamed file reports the folder it was made in until it is linked.
    int createUnnamed(const std::string& dir, mode_t mode) override {
        if (int r = hook("create", dir)) {
            return r;
        }
        return remember(FsOps::createUnnamed(dir, mode), dir);
    }
    int linkUnnamed(int fd, const std::string& path) override {
        if (int r = hook("link", path)) {
            return r;
        }
        return FsOps::linkUnnamed(fd, path);
    }
    ssize_t read(int fd, void* buf, size_t count) override {
        if (int r = hook("read", pathOf(fd))) {
            return r;
        }
        return FsOps::read(fd, buf, std::min(count, chunk));
    }
    ssize_t write(int fd, const void* buf, size_t count) override {
        if (int r = hook("write", pathOf(fd))) {
            return r;
        }
        return FsOps::write(fd, buf, count);
    }
    ssize_t copyRange(int in, int out, size_t count) override {
        if (int r = hook("copyRange", pathOf(in))) {
            return r;
        }
        if (int r = hook("write", pathOf(out))) {
            return r;
        }
        return FsOps::copyRange(in, out, std::min(count, chunk));
    }
    int fsync(int fd) override {
        if (int r = hook("fsync", pathOf(fd))) {
            return r;
        }
        return FsOps::fsync(fd);
    }
    int fsyncPath(const std::string& path) override {
        if (int r = hook("fsyncPath", path)) {
            return r;
        }
        return FsOps::fsyncPath(path);
    }
    int rename(const std::string& from, const std::string& to, bool noReplace) override {
        if (int r = hook("rename", from)) {
            return r;
        }
        return FsOps::rename(from, to, noReplace);
    }
    int mkdir(const std::string& path, mode_t mode) override {
        if (int r = hook("mkdir", path)) {
            return r;
        }
        return FsOps::mkdir(path, mode);
    }
    // A close that fails stands for a delayed write error (network filesystems report them there);
    // the descriptor is closed all the same.
    int close(int fd) override {
        std::string path;
        {
            std::lock_guard lock(m_mutex);
            if (auto it = m_paths.find(fd); it != m_paths.end()) {
                path = std::move(it->second);
                m_paths.erase(it);
            }
        }
        const int r = FsOps::close(fd);
        if (int h = path.empty() ? 0 : hook("close", path)) {
            return h;
        }
        return r;
    }

  private:
    int remember(int fd, const std::string& path) {
        if (fd >= 0) {
            std::lock_guard lock(m_mutex);
            m_paths[fd] = path;
        }
        return fd;
    }
    std::string pathOf(int fd) {
        std::lock_guard lock(m_mutex);
        auto it = m_paths.find(fd);
        return it == m_paths.end() ? std::string() : it->second;
    }
    std::mutex m_mutex;
    std::map<int, std::string> m_paths;
};

}  // namespace kv::test
