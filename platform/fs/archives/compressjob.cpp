#include "platform/fs/archives/compressjob.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "platform/fs/core/partialfile.h"
#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/jobs/nameclashes.h"
#include "platform/fs/jobs/treewalk.h"
#include "platform/fs/operations/filecopier.h"

namespace kv {

namespace {

struct ArchiveFree {
    void operator()(struct archive* a) const { archive_write_free(a); }
};
struct ReadFree {
    void operator()(struct archive* a) const { archive_read_free(a); }
};
struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

class Compression {
  public:
    Compression(JobContext& ctx, const std::vector<std::string>& sources, const std::string& target,
                ArchiveFormat format)
        : m_ctx(ctx), m_sources(sources), m_target(target), m_format(format), m_walk(ctx) {}

    void run() {
        m_ctx.undo().kind = UndoInfo::Kind::Compress;
        std::uint64_t bytes = 0, items = 0;
        for (const std::string& s : m_sources) {
            struct stat st {};
            if (m_ctx.ops().lstat(s, st) == 0) m_walk.count(s, st, false, bytes, items);
        }
        m_ctx.setTotals(bytes, items);
        std::string final = m_target;
        bool replace = false;
        if (!chooseName(final, replace)) return;
        FsOps& ops = m_ctx.ops();
        PartialFile partial(ops);
        const std::string tmp = FileCopier::tempNameIn(paths::parentOf(final));
        partial.setTemporaryName(tmp);
        partial.out = ops.createExclusive(tmp, 0666);
        if (partial.out < 0) {
            m_ctx.noteSkipped({JobAction::Create, final, -partial.out});
            partial.out = -1;
            return;
        }
        m_writer.reset(archive_write_new());
        // Before the partial file closes its descriptor: an archive left unfinished must not write
        // its ending into a descriptor number that may be another file's by then.
        struct Abandon {
            Compression& c;
            ~Abandon() {
                if (c.m_writer && !c.m_closed) archive_write_fail(c.m_writer.get());
                c.m_writer.reset();
            }
        } abandon{*this};
        setFormat();
        m_disk.reset(archive_read_disk_new());
        archive_read_disk_set_standard_lookup(m_disk.get());
        if (archive_write_open_fd(m_writer.get(), partial.out) != ARCHIVE_OK) {
            m_ctx.noteSkipped({JobAction::Write, final, archive_errno(m_writer.get())});
            return;
        }
        m_final = final;
        for (const std::string& s : m_sources) {
            if (!add(s, paths::baseName(s))) return;
        }
        m_closed = true;
        if (archive_write_close(m_writer.get()) != ARCHIVE_OK) {
            m_ctx.noteSkipped({JobAction::Write, final, errnoOf(m_writer.get())});
            return;
        }
        const int closed = ops.close(partial.out);
        partial.out = -1;
        if (closed != 0) {
            m_ctx.noteSkipped({JobAction::Write, final, -closed});
            return;
        }
        if (const int e = ops.rename(tmp, final, !replace); e != 0) {
            m_ctx.noteSkipped({JobAction::Create, final, -e});
            return;
        }
        partial.placed();
        m_ctx.undo().created.push_back(final);
    }

  private:
    static int errnoOf(struct archive* a) {
        const int e = archive_errno(a);
        return e > 0 ? e : EIO;
    }

    // The archive's name, or another after the clash question; false when the answer was Skip.
    bool chooseName(std::string& final, bool& replace) {
        NameClashes names(m_ctx.ops());
        const std::string dir = paths::parentOf(final);
        const std::string* clash = names.find(dir, paths::baseName(final));
        if (!clash) return true;
        struct stat t {};
        const std::string existing = paths::join(dir, *clash);
        m_ctx.ops().lstat(existing, t);
        ClashRequest q;
        q.source = final;
        q.target = existing;
        q.targetIsDir = S_ISDIR(t.st_mode);
        q.targetSize = static_cast<std::uint64_t>(t.st_size);
        q.targetMtimeNs = t.st_mtim.tv_sec * 1000000000LL + t.st_mtim.tv_nsec;
        q.canReplace = !q.targetIsDir;
        q.sourceIsNewArchive = true;
        auto taken = [&](const std::string& n) { return names.taken(dir, n); };
        q.suggestedName = paths::freeName(paths::baseName(final), false, taken);
        const ClashDecision d = m_ctx.askClash(q);
        if (d.choice == ClashChoice::KeepBoth) {
            final = paths::join(dir, q.suggestedName);
            return true;
        }
        if (d.choice == ClashChoice::Replace && q.canReplace) {
            final = existing;
            replace = true;
            return true;
        }
        m_ctx.noteSkipped();
        return false;
    }

    void setFormat() {
        struct archive* a = m_writer.get();
        if (m_format == ArchiveFormat::Zip) {
            archive_write_set_format_zip(a);
            return;
        }
        archive_write_set_format_pax_restricted(a);
        switch (m_format) {
            case ArchiveFormat::TarGz:
                archive_write_add_filter_gzip(a);
                break;
            case ArchiveFormat::TarXz:
                archive_write_add_filter_xz(a);
                break;
            case ArchiveFormat::TarZst:
                archive_write_add_filter_zstd(a);
                break;
            case ArchiveFormat::Zip:
                break;
        }
    }

    // False when the job must stop (the archive can no longer be written).
    bool add(const std::string& path, const std::string& name) {
        m_ctx.checkpoint();
        struct stat st {};
        if (!m_walk.lstatOrAsk(path, st)) return true;
        m_ctx.setCurrent(path);
        std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
        archive_entry_copy_sourcepath(entry.get(), path.c_str());
        archive_entry_copy_pathname(entry.get(), name.c_str());
        int fd = -1;
        if (S_ISREG(st.st_mode)) {
            fd = m_ctx.ops().openRead(path);
            if (fd < 0) {
                m_ctx.noteSkipped({JobAction::Read, path, -fd});
                return true;
            }
        }
        struct Closer {
            FsOps& ops;
            int fd;
            ~Closer() {
                if (fd >= 0) ops.close(fd);
            }
        } closer{m_ctx.ops(), fd};
        if (archive_read_disk_entry_from_file(m_disk.get(), entry.get(), fd, &st) < ARCHIVE_WARN) {
            m_ctx.noteSkipped({JobAction::Read, path, errnoOf(m_disk.get())});
            return true;
        }
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode)) {
            m_ctx.noteSkipped({JobAction::Copy, path, 0, JobProblem::Socket});
            return true;
        }
        if (archive_write_header(m_writer.get(), entry.get()) < ARCHIVE_WARN) {
            m_ctx.noteSkipped({JobAction::Write, m_final, errnoOf(m_writer.get())});
            return archive_errno(m_writer.get()) != ENOSPC;
        }
        if (fd >= 0 && !copyData(fd, path)) return false;
        m_ctx.addItems(1);
        if (!S_ISDIR(st.st_mode)) return true;
        std::vector<std::string> children;
        if (!m_walk.listOrAsk(path, children)) return true;
        for (const std::string& child : children)
            if (!add(paths::join(path, child), name + "/" + child)) return false;
        return true;
    }

    bool copyData(int fd, const std::string& path) {
        static constexpr std::size_t kChunk = 1 << 20;
        if (!m_buffer) m_buffer = std::make_unique<char[]>(kChunk);
        for (;;) {
            const ssize_t n = m_ctx.ops().read(fd, m_buffer.get(), kChunk);
            if (n == 0) return true;
            if (n < 0) {
                // The header promised a size: the archive cannot be finished truthfully.
                m_ctx.noteSkipped({JobAction::Read, path, static_cast<int>(-n)});
                return false;
            }
            if (archive_write_data(m_writer.get(), m_buffer.get(), static_cast<size_t>(n)) < 0) {
                m_ctx.noteSkipped({JobAction::Write, m_final, errnoOf(m_writer.get())});
                return false;
            }
            m_ctx.addBytes(n);
            m_ctx.checkpoint();
        }
    }

    JobContext& m_ctx;
    const std::vector<std::string>& m_sources;
    std::string m_target;
    std::string m_final;
    ArchiveFormat m_format;
    TreeWalk m_walk;
    std::unique_ptr<struct archive, ArchiveFree> m_writer;
    std::unique_ptr<struct archive, ReadFree> m_disk;
    std::unique_ptr<char[]> m_buffer;
    bool m_closed = false;
};

}  // namespace

CompressJob::CompressJob(std::vector<std::string> sources, std::string target, ArchiveFormat format)
    : FileJob([sources = std::move(sources), target = std::move(target), format](JobContext& ctx) {
          Compression(ctx, sources, target, format).run();
      }) {}

std::string_view CompressJob::extensionOf(ArchiveFormat format) {
    switch (format) {
        case ArchiveFormat::Zip:
            return ".zip";
        case ArchiveFormat::TarGz:
            return ".tar.gz";
        case ArchiveFormat::TarXz:
            return ".tar.xz";
        case ArchiveFormat::TarZst:
            return ".tar.zst";
    }
    return {};
}

}  // namespace kv
