#include "platform/fs/downloads/downloadjob.h"

#include <cerrno>
#include <chrono>
#include <ctime>

#include "platform/fs/core/paths.h"
#include "platform/fs/downloads/downloadfeed.h"
#include "platform/fs/downloads/downloadname.h"
#include "platform/fs/jobs/jobcancelled.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/operations/filecopier.h"
#include "platform/fs/operations/transfertargets.h"

namespace kv {

namespace {

using namespace std::chrono_literals;

// The partial file until it has its name: removed on every other way out, the engine stopped first.
class Unplaced {
  public:
    Unplaced(FsOps& ops, std::string path, std::string engineFile, DownloadFeed* feed)
        : m_ops(ops), m_path(std::move(path)), m_engineFile(std::move(engineFile)), m_feed(feed) {}
    ~Unplaced() {
        if (m_placed) return;
        if (m_feed) m_feed->send(DownloadFeed::Command::Cancel);
        m_ops.unlink(m_path);
        if (!m_engineFile.empty()) m_ops.unlink(m_engineFile);
    }
    Unplaced(const Unplaced&) = delete;
    Unplaced& operator=(const Unplaced&) = delete;
    void placed() { m_placed = true; }

  private:
    FsOps& m_ops;
    std::string m_path;
    std::string m_engineFile;
    DownloadFeed* m_feed;
    bool m_placed = false;
};

// What the clash question shows of the incoming file before it exists.
struct stat incoming(std::int64_t size) {
    struct stat st {};
    st.st_mode = S_IFREG | 0644;
    st.st_size = size > 0 ? size : 0;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    st.st_mtim = now;
    return st;
}

// Follows the engine until the file is complete; false when it failed (reported).
bool follow(JobContext& ctx, DownloadFeed& feed, const DownloadTarget& t) {
    std::uint64_t seen = 0, counted = 0;
    std::int64_t total = t.size;
    for (;;) {
        const DownloadFeed::Snapshot s = feed.wait(seen, 100ms);
        if (ctx.isPaused()) {
            feed.send(DownloadFeed::Command::Pause);
            ctx.checkpoint();  // waits while paused
            feed.send(DownloadFeed::Command::Resume);
        }
        ctx.checkpoint();
        if (s.total >= 0 && s.total != total) {
            total = s.total;
            ctx.setTotals(static_cast<std::uint64_t>(total), 1);
        }
        if (s.received > counted) {
            ctx.addBytes(static_cast<std::int64_t>(s.received - counted));
            counted = s.received;
        }
        switch (s.state) {
            case DownloadFeed::State::Running:
                continue;
            case DownloadFeed::State::Completed:
                return true;
            case DownloadFeed::State::Cancelled:
                throw JobCancelled{};
            case DownloadFeed::State::Failed:
                ctx.noteSkipped({JobAction::Read, t.originUrl, 0, JobProblem::Internal, s.error});
                return false;
        }
    }
}

// Writes bytes that are here already; false when it could not (reported).
bool write(JobContext& ctx, const std::string& path, const std::string& folder, const std::string& bytes) {
    FsOps& ops = ctx.ops();
    const int fd = ops.createExclusive(path, 0666);
    if (fd < 0) {
        ctx.noteSkipped({JobAction::WriteInto, folder, -fd});
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ops.write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            ops.close(fd);
            ctx.noteSkipped({JobAction::Write, path, static_cast<int>(-n)});
            return false;
        }
        done += static_cast<std::size_t>(n);
        ctx.addBytes(n);
    }
    if (const int r = ops.close(fd); r != 0) {
        ctx.noteSkipped({JobAction::Write, path, -r});
        return false;
    }
    return true;
}

void save(JobContext& ctx, const DownloadTarget& t, DownloadFeed* feed, const std::string* bytes) {
    FsOps& ops = ctx.ops();
    const std::string partial = t.partial.empty() ? DownloadJob::partialIn(t.folder) : t.partial;
    Unplaced unplaced(ops, partial, t.engineFile, feed);
    const std::int64_t size = bytes ? static_cast<std::int64_t>(bytes->size()) : t.size;
    TransferTarget dest;
    dest.path = paths::join(t.folder, DownloadName::safe(t.name));
    ctx.setCurrent(dest.path);
    ctx.setTotals(size > 0 ? static_cast<std::uint64_t>(size) : 0, 1);

    // The name is settled first, while the engine goes on writing: the question comes at once, not
    // after a long download, and a Skip stops the download.
    TransferTargets targets(ctx, false);
    if (t.replace) {
        dest.replace = true;
    } else if (!targets.resolve(t.originUrl, incoming(size), dest)) {
        return;
    }
    if (feed ? !follow(ctx, *feed, t) : !write(ctx, partial, t.folder, *bytes)) return;
    // What is replaced goes to the trash only now that its successor is whole: a failed download
    // leaves it where it was.
    if (t.replacedTrash) {
        targets.keepReplacedIn(*t.replacedTrash);
        targets.putAsideReplaced(dest);
        // Should the name still not be had, an undo brings back what went aside.
        ctx.undo().kind = UndoInfo::Kind::Download;
    }

    // Where the filesystem cannot hold them, the file is whole without them.
    if (!t.originUrl.empty()) ops.setAttribute(partial, "user.xdg.origin.url", t.originUrl);
    if (!t.referrerUrl.empty()) ops.setAttribute(partial, "user.xdg.referrer.url", t.referrerUrl);

    for (;;) {
        ctx.checkpoint();
        const int r = ops.rename(partial, dest.path, !dest.replace);
        if (r == 0) break;
        if (r == -EEXIST) {
            // Another program took the name meanwhile: asked again, with the file as it is now.
            struct stat st {};
            if (ops.lstat(partial, st) != 0) st = incoming(size);
            dest.replace = false;
            if (!targets.resolve(t.originUrl, st, dest)) return;
            continue;
        }
        if (ctx.askError({dest.path, JobAction::Create, {JobAction::Create, dest.path, -r}, true}) ==
            ErrorChoice::Skip)
            return;
    }
    unplaced.placed();
    targets.noteCreated(dest.path, false);
    targets.removeReplaced(dest);
    ctx.undo().kind = UndoInfo::Kind::Download;
    ctx.undo().created.push_back(dest.path);
    ctx.addItems(1);
}

}  // namespace

DownloadJob::DownloadJob(DownloadTarget target, std::shared_ptr<DownloadFeed> feed)
    : FileJob([target = std::move(target), feed = std::move(feed)](JobContext& ctx) {
          save(ctx, target, feed.get(), nullptr);
      }) {}

DownloadJob::DownloadJob(DownloadTarget target, std::string bytes)
    : FileJob([target = std::move(target), bytes = std::move(bytes)](JobContext& ctx) {
          save(ctx, target, nullptr, &bytes);
      }) {}

std::string DownloadJob::partialIn(const std::string& folder) {
    return FileCopier::tempNameIn(folder);
}

}  // namespace kv
