#include "platform/fs/operations/filecopier.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <utility>

#include "platform/fs/core/partialfile.h"
#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"

namespace kv {

namespace {

constexpr size_t kCopyBuffer = 1 << 20;
constexpr size_t kRangeChunk = 8 << 20;
// Files up to this size are made under their own name (see chooseWay).
constexpr off_t kDirectMax = 256 << 10;
// copyData's answer when the source's size moved under it.
constexpr int kChanged = 1;
// copySparse's answer when the filesystem cannot tell where the holes are.
constexpr int kNoHoles = 2;

bool fallbackError(int err) {
    return err == -EXDEV || err == -EINVAL || err == -ENOSYS || err == -EOPNOTSUPP || err == -ENOTTY ||
           err == -EBADF || err == -EPERM;
}

}  // namespace

// One try at one file: what it has made so far, and how it ends.
struct FileCopier::Try {
    Try(JobContext& c, const std::string& s, const std::string& p, const struct stat& sst)
        : ctx(c), src(s), path(p), dir(paths::parentOf(p)), st(sst), file(c.ops()) {}

    Attempt end(Attempt::Outcome outcome, JobReport report) {
        ctx.addBytes(-static_cast<std::int64_t>(copied));
        // The partial file goes before any question is asked, so a prompt left open never leaves
        // half a file on the target.
        file.discard();
        return {outcome, std::move(report)};
    }
    Attempt fail(JobAction action, const std::string& where, int err,
                 JobProblem problem = JobProblem::Errno) {
        return end(Attempt::Outcome::Failed, {action, where, err, problem, {}});
    }
    // Something else has the name now (made while this copy was being made): nothing was replaced.
    Attempt taken() { return end(Attempt::Outcome::Taken, {JobAction::Create, path, EEXIST, {}, {}}); }
    Attempt placed() {
        file.placed();
        file.closeFds();
        return {Attempt::Outcome::Placed, {}};
    }

    JobContext& ctx;
    const std::string& src;
    const std::string& path;
    const std::string dir;
    const struct stat& st;
    PartialFile file;
    std::uint64_t copied = 0;
    std::string tmp;
};

FileCopier::FileCopier(JobContext& ctx, bool flush) : m_ctx(ctx), m_flush(flush), m_isRoot(geteuid() == 0) {}

std::string FileCopier::tempNameIn(const std::string& dir) {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    char buf[32];
    std::snprintf(buf, sizeof buf, ".kv-%012llx.part",
                  static_cast<unsigned long long>(rng() & 0xFFFFFFFFFFFFull));
    return paths::join(dir, buf);
}

// Where the copy is made while its data goes in:
// - a small file under its own name, as other programs make files: the exclusive create never takes a
//   name that exists, and every way out before the file is whole removes it again. Only a crash in the
//   few milliseconds of its copy could leave part of one; in return a file costs one directory change
//   instead of two, which is most of the time of copying many small files;
// - a bigger file without a name until it is whole, so it cannot be seen half-written and is gone by
//   itself if the program dies;
// - a temporary name where the filesystem has no unnamed files, or to replace a file: the rename
//   replaces atomically.
FileCopier::Way FileCopier::chooseWay(bool replace, const struct stat& st) const {
    if (!replace && st.st_size <= kDirectMax) {
        return Way::OwnName;
    }
    if (!replace && m_tryUnnamed) {
        return Way::Unnamed;
    }
    return Way::TemporaryName;
}

int FileCopier::createOwnName(Try& t, mode_t mode) {
    t.file.out = m_ctx.ops().createExclusive(t.path, mode);
    if (t.file.out < 0) {
        return std::exchange(t.file.out, -1);
    }
    t.file.setOwnName(t.path);
    return 0;
}

int FileCopier::createUnnamed(Try& t, mode_t mode) {
    t.file.out = m_ctx.ops().createUnnamed(t.dir, mode);
    if (t.file.out == -EOPNOTSUPP) {
        m_tryUnnamed = false;
    }
    return t.file.out < 0 ? std::exchange(t.file.out, -1) : 0;
}

int FileCopier::createTemporary(Try& t, mode_t mode) {
    t.tmp = tempNameIn(t.dir);
    t.file.out = m_ctx.ops().createExclusive(t.tmp, mode);
    if (t.file.out < 0) {
        return std::exchange(t.file.out, -1);
    }
    t.file.setTemporaryName(t.tmp);
    return 0;
}

FileCopier::Attempt FileCopier::copy(const std::string& src, const std::string& path, bool replace,
                                     const struct stat& st, std::unique_ptr<char[]>& buffer) {
    FsOps& ops = m_ctx.ops();
    Try t(m_ctx, src, path, st);
    t.file.in = ops.openRead(src);
    if (t.file.in < 0) {
        const int err = -std::exchange(t.file.in, -1);
        return t.fail(JobAction::Read, src, err);
    }
    // What was opened must be the file that was counted: something else put in its place (a FIFO
    // would block the first read for ever) is refused.
    if (struct stat opened{}; ops.fstat(t.file.in, opened) != 0 || !S_ISREG(opened.st_mode) ||
                              opened.st_ino != st.st_ino || opened.st_dev != st.st_dev) {
        return t.fail(JobAction::Copy, src, 0, JobProblem::Changed);
    }
    // Made with the source's permissions, which usually spares changing them later (the folder's
    // umask or default ACL may still take some away: fill() puts them right).
    const mode_t mode = st.st_mode & 0777;
    Way way = chooseWay(replace, st);
    if (way == Way::OwnName) {
        if (const int r = createOwnName(t, mode); r == -EEXIST) {
            return t.taken();
        } else if (r != 0) {
            return t.fail(JobAction::Create, path, -r);
        }
    } else if (way == Way::Unnamed) {
        if (const int r = createUnnamed(t, mode); r == -EOPNOTSUPP) {
            way = Way::TemporaryName;
        } else if (r != 0) {
            return t.fail(JobAction::WriteInto, t.dir, -r);
        }
    }
    if (way == Way::TemporaryName) {
        if (const int r = createTemporary(t, mode); r != 0) {
            return t.fail(JobAction::WriteInto, t.dir, -r);
        }
    }
    struct stat written {};
    if (std::optional<Attempt> failed = fill(t, buffer, written)) {
        return std::move(*failed);
    }
    switch (way) {
        case Way::OwnName:
            return placeNamed(t);
        case Way::Unnamed:
            return placeUnnamed(t, written);
        case Way::TemporaryName:
            break;
    }
    return placeTemporary(t, replace);
}

// The data, times, owner and permissions; for a move, on disk.
std::optional<FileCopier::Attempt> FileCopier::fill(Try& t, std::unique_ptr<char[]>& buffer,
                                                    struct stat& written) {
    FsOps& ops = m_ctx.ops();
    const struct stat& st = t.st;
    if (const int r = copyData(t.file.in, t.file.out, st, t.copied, buffer); r == kChanged) {
        return t.fail(JobAction::Copy, t.src, 0, JobProblem::Changed);
    } else if (r != 0) {
        return t.fail(JobAction::Copy, t.src, -r);
    }
    if (ops.copyAttributes(t.file.in, t.file.out) != 0) {
        m_ctx.noteAttributesLost(t.src);
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ops.futimens(t.file.out, times);
    int r = ops.fstat(t.file.out, written);
    if (r != 0 || static_cast<std::uint64_t>(written.st_size) != t.copied) {
        return t.fail(JobAction::Copy, t.src, r ? -r : EIO, JobProblem::Incomplete);
    }
    t.file.setIdentity(written);
    // Owner and permissions only where they came out different. The owner first: changing it
    // clears the set-id bits.
    if (m_isRoot && (written.st_uid != st.st_uid || written.st_gid != st.st_gid)) {
        ops.fchown(t.file.out, st.st_uid, st.st_gid);
    }
    if ((written.st_mode & 07777) != (st.st_mode & 07777)) {
        ops.fchmod(t.file.out, st.st_mode & 07777);
    }
    if (m_flush && (r = ops.fsync(t.file.out)) != 0) {
        return t.fail(JobAction::Flush, t.path, -r);
    }
    return std::nullopt;
}

FileCopier::Attempt FileCopier::placeNamed(Try& t) {
    // Delayed write errors of network filesystems show up at close; the name goes again then, if it
    // is still this file's.
    if (const int r = m_ctx.ops().close(std::exchange(t.file.out, -1)); r != 0) {
        return t.fail(JobAction::Write, t.path, -r);
    }
    return t.placed();
}

FileCopier::Attempt FileCopier::placeUnnamed(Try& t, const struct stat& written) {
    if (const int r = m_ctx.ops().linkUnnamed(t.file.out, t.path); r == -EEXIST) {
        return t.taken();
    } else if (r != 0) {
        return t.fail(JobAction::Create, t.path, -r);
    }
    t.file.setOwnName(t.path);
    t.file.setIdentity(written);
    return placeNamed(t);
}

FileCopier::Attempt FileCopier::placeTemporary(Try& t, bool replace) {
    FsOps& ops = m_ctx.ops();
    if (const int r = ops.close(std::exchange(t.file.out, -1)); r != 0) {
        return t.fail(JobAction::Write, t.path, -r);
    }
    t.file.closeFds();
    // After a Replace answer the rename replaces atomically: the old file stays whole until the new
    // one takes its name.
    if (const int r = ops.rename(t.tmp, t.path, !replace); r == -EEXIST) {
        return t.taken();
    } else if (r != 0) {
        return t.fail(JobAction::Create, t.path, -r);
    }
    return t.placed();
}

int FileCopier::copySpecial(const std::string& src, const std::string& tmp, const struct stat& st) {
    FsOps& ops = m_ctx.ops();
    int r = 0;
    if (S_ISLNK(st.st_mode)) {
        std::string target;
        r = ops.readlink(src, target);
        if (r == 0) {
            r = ops.symlink(target, tmp);
        }
    } else {
        r = ops.mknod(tmp, st.st_mode, st.st_rdev);
    }
    if (r != 0) {
        return r;
    }
    if (m_isRoot) {
        ops.lchown(tmp, st.st_uid, st.st_gid);
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ops.setTimes(tmp, times);
    return 0;
}

int FileCopier::copyData(int in, int out, const struct stat& st, std::uint64_t& copied,
                         std::unique_ptr<char[]>& buffer) {
    FsOps& ops = m_ctx.ops();
    copied = 0;
    auto sizeNow = [&](int fd) {
        struct stat now {};
        return ops.fstat(fd, now) == 0 ? static_cast<std::uint64_t>(now.st_size) : UINT64_MAX;
    };
    // A file of size 0 may still have contents: the pseudo-files of /proc and /sys say 0 and are read
    // to their end, which copy_file_range would not do.
    const bool pseudo = st.st_size == 0;
    if (m_tryClone && st.st_size > 0) {
        const int r = ops.cloneFile(in, out);
        if (r == 0) {
            copied = static_cast<std::uint64_t>(st.st_size);
            m_ctx.addBytes(st.st_size);
            // The clone took the file as it was; if its size changed since the stat, it was being
            // written to, and the copy is not trusted.
            return sizeNow(in) == copied ? 0 : kChanged;
        }
        if (!fallbackError(r)) {
            return r;
        }
        m_tryClone = false;
    }
    // A file with holes keeps them (a 1 GiB disk image holding 1 MiB of data stays 1 MiB on disk).
    if (static_cast<std::uint64_t>(st.st_blocks) * 512 < static_cast<std::uint64_t>(st.st_size)) {
        if (const int r = copySparse(in, out, st, copied, buffer); r != kNoHoles) {
            return r;
        }
    }
    if (m_tryCopyRange && !pseudo) {
        for (;;) {
            const ssize_t n = ops.copyRange(in, out, kRangeChunk);
            if (n > 0) {
                copied += static_cast<std::uint64_t>(n);
                m_ctx.addBytes(n);
                m_ctx.checkpoint();
                // At the size the file had, its size now tells whether this is the end: one call
                // fewer than reading on to the end, which for small files is a good part of the cost.
                if (copied == static_cast<std::uint64_t>(st.st_size) && sizeNow(in) == copied) {
                    return 0;
                }
                continue;
            }
            if (n == 0) {
                return sizeNow(in) == copied ? 0 : kChanged;
            }
            if (copied == 0 && fallbackError(static_cast<int>(n))) {
                m_tryCopyRange = false;
                break;
            }
            return static_cast<int>(n);
        }
    }
    if (!buffer) {
        buffer.reset(new char[kCopyBuffer]);
    }
    for (;;) {
        const ssize_t n = ops.read(in, buffer.get(), kCopyBuffer);
        if (n == 0) {
            const std::uint64_t now = sizeNow(in);
            return now == copied || (pseudo && now == 0) ? 0 : kChanged;
        }
        if (n < 0) {
            if (n == -EINTR) {
                continue;
            }
            return static_cast<int>(n);
        }
        for (ssize_t off = 0; off < n;) {
            const ssize_t w = ops.write(out, buffer.get() + off, static_cast<size_t>(n - off));
            if (w < 0) {
                if (w == -EINTR) {
                    continue;
                }
                return static_cast<int>(w);
            }
            if (w == 0) {
                return -ENOSPC;
            }
            off += w;
        }
        copied += static_cast<std::uint64_t>(n);
        m_ctx.addBytes(n);
        m_ctx.checkpoint();
    }
}

int FileCopier::copySparse(int in, int out, const struct stat& st, std::uint64_t& copied,
                           std::unique_ptr<char[]>& buffer) {
    FsOps& ops = m_ctx.ops();
    const off_t size = st.st_size;
    off_t pos = 0;
    copied = 0;
    if (!buffer) {
        buffer.reset(new char[kCopyBuffer]);
    }
    while (pos < size) {
        off_t data = ops.seek(in, pos, SEEK_DATA);
        if (data == -ENXIO) {
            break;  // a hole to the end
        }
        if (data < 0) {
            // No SEEK_DATA here: copied whole instead, from the start.
            return copied == 0 && ops.seek(in, 0, SEEK_SET) == 0 ? kNoHoles : static_cast<int>(data);
        }
        off_t hole = ops.seek(in, data, SEEK_HOLE);
        if (hole < 0) {
            return static_cast<int>(hole);
        }
        hole = std::min(hole, size);
        m_ctx.addBytes(data - pos);  // a hole counts as done
        copied += static_cast<std::uint64_t>(data - pos);
        if (const off_t r = ops.seek(in, data, SEEK_SET); r < 0) {
            return static_cast<int>(r);
        }
        if (const off_t r = ops.seek(out, data, SEEK_SET); r < 0) {
            return static_cast<int>(r);
        }
        for (off_t at = data; at < hole;) {
            const auto want = static_cast<size_t>(std::min<off_t>(hole - at, kCopyBuffer));
            const ssize_t n = ops.read(in, buffer.get(), want);
            if (n == -EINTR) {
                continue;
            }
            if (n <= 0) {
                return n == 0 ? kChanged : static_cast<int>(n);
            }
            for (ssize_t off = 0; off < n;) {
                const ssize_t w = ops.write(out, buffer.get() + off, static_cast<size_t>(n - off));
                if (w == -EINTR) {
                    continue;
                }
                if (w <= 0) {
                    return w == 0 ? -ENOSPC : static_cast<int>(w);
                }
                off += w;
            }
            at += n;
            m_ctx.addBytes(n);
            copied += static_cast<std::uint64_t>(n);
            m_ctx.checkpoint();
        }
        pos = hole;
    }
    m_ctx.addBytes(size - pos);
    copied += static_cast<std::uint64_t>(size - pos);
    if (const int r = ops.ftruncate(out, size); r != 0) {
        return r;
    }
    struct stat now {};
    return ops.fstat(in, now) == 0 && now.st_size == size ? 0 : kChanged;
}

}  // namespace kv
