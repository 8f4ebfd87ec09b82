#include "platform/fs/remote/remotetransfer.h"

#include <chrono>
#include <random>
#include <thread>

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/fs/remote/remotepaths.h"

namespace kv {

using giofiles::Ref;

namespace {

constexpr std::size_t kNameMax = 255;

// ".name.kvpart-1a2b3c": hidden, and never a name the job would give an item.
std::string temporaryName(const std::string& name) {
    static thread_local std::mt19937 random{std::random_device{}()};
    static constexpr char hex[] = "0123456789abcdef";
    std::string tag = ".kvpart-";
    for (int i = 0; i < 6; ++i) tag += hex[random() % 16];
    std::string stem = name.substr(0, kNameMax - 1 - tag.size());
    while (!stem.empty() && stem.size() < name.size() &&
           (static_cast<unsigned char>(name[stem.size()]) & 0xC0) == 0x80)
        stem.pop_back();
    return "." + stem + tag;
}

// Both on one server, where it can rename an item itself.
bool sameServer(const std::string& a, const std::string& b) {
    if (remotepaths::isLocal(a) || remotepaths::isLocal(b)) return false;
    const std::optional<RemoteLocation> la = RemoteLocation::parse(a), lb = RemoteLocation::parse(b);
    return la && lb && la->server() == lb->server();
}

bool isError(const GError* error, GIOErrorEnum code) {
    return g_error_matches(error, G_IO_ERROR, code);
}

// A file being written under its temporary name: removed unless it got its final name.
class Temporary {
  public:
    Temporary(RemoteCalls& calls, std::string path) : m_calls(calls), m_path(std::move(path)) {}
    ~Temporary() {
        if (m_placed) return;
        if (m_calls.ctx().isCancelled() || m_calls.watch().timedOut()) m_calls.watch().cleaningUp();
        const Ref<GFile> file = remotepaths::fileAt(m_path);
        JobWatch::Call call(m_calls.watch());
        g_file_delete(file.get(), m_calls.cancellable(), nullptr);
    }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    const std::string& path() const { return m_path; }
    void placed() { m_placed = true; }

  private:
    RemoteCalls& m_calls;
    std::string m_path;
    bool m_placed = false;
};

}  // namespace

RemoteTransfer::RemoteTransfer(RemoteCalls& calls, TransferMode mode)
    : m_calls(calls), m_ctx(calls.ctx()), m_mode(mode) {}

void RemoteTransfer::run(const std::vector<Transfer::Item>& items) {
    const JobAction action = m_mode == TransferMode::Copy ? JobAction::Copy : JobAction::Move;
    if (m_ctx.undo().kind == UndoInfo::Kind::None)
        m_ctx.undo().kind = m_mode == TransferMode::Copy ? UndoInfo::Kind::Copy : UndoInfo::Kind::Move;
    std::vector<RemoteItem> found(items.size());
    std::vector<bool> failed(items.size(), false);  // reported already
    Count total;
    for (std::size_t i = 0; i < items.size(); ++i) {
        m_ctx.checkpoint();
        JobReport report;
        while (!m_calls.query(items[i].source, found[i], report)) {
            if (!m_calls.retry(items[i].source, action, report)) {
                failed[i] = true;
                break;
            }
        }
        if (!found[i].exists) continue;
        const Count c = count(items[i].source, found[i]);
        total.bytes += c.bytes;
        total.items += c.items;
    }
    m_ctx.setTotals(total.bytes, total.items);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Transfer::Item& item = items[i];
        if (!found[i].exists) {
            if (!failed[i]) m_ctx.noteSkipped({action, item.source, ENOENT, JobProblem::Gone});
            continue;
        }
        // Copying a folder into itself would never end, and moving it there would detach it.
        const std::string targetDir = remotepaths::parentOf(item.target);
        if (found[i].isDir && remotepaths::isSameOrInside(targetDir, item.source)) {
            m_ctx.askError(
                {item.source, action, {action, item.source, 0, JobProblem::IntoItself, targetDir}, false});
            skip(item.source, found[i]);
            continue;
        }
        transfer(item.source, found[i], {item.target});
    }
}

RemoteTransfer::Count RemoteTransfer::count(const std::string& path, const RemoteItem& item) {
    if (!item.isDir) return {item.isSymlink ? 0 : item.size, 1};
    Count c{0, 1};
    std::vector<RemoteItem> children;
    JobReport ignored;  // reported when the folder is copied
    if (m_calls.list(path, children, ignored)) {
        for (const RemoteItem& child : children) {
            m_ctx.checkpoint();
            const Count inner = count(remotepaths::join(path, child.name), child);
            c.bytes += inner.bytes;
            c.items += inner.items;
        }
        m_listed[path] = std::move(children);  // the copy takes it: each folder is listed once
    }
    m_dirCounts[path] = c;
    return c;
}

void RemoteTransfer::skip(const std::string& src, const RemoteItem& item) {
    const auto it = m_dirCounts.find(src);
    const Count c = it != m_dirCounts.end() ? it->second : count(src, item);
    m_ctx.addBytes(static_cast<std::int64_t>(c.bytes));
    m_ctx.addItems(c.items);
}

void RemoteTransfer::done(const std::string& src, const std::string& target) {
    // Inside a folder this job made, the folder stands for it.
    if (m_createdDirs.contains(remotepaths::parentOf(target))) return;
    if (m_mode == TransferMode::Copy)
        m_ctx.undo().created.push_back(target);
    else
        m_ctx.undo().moved.emplace_back(src, target);
}

bool RemoteTransfer::transfer(const std::string& src, const RemoteItem& item, Target target) {
    m_ctx.checkpoint();
    m_ctx.setCurrent(src);
    for (;;) {
        if (!resolve(src, item, target)) return false;
        if (m_mode == TransferMode::Copy || target.merge || !sameServer(src, target.path)) break;
        const Native native = moveNatively(src, item, target);
        if (native == Native::Done) return true;
        if (native == Native::Failed) return false;
        if (native == Native::Fallback) break;
        target.replace = false;  // Clash: taken meanwhile, asked again
    }
    return item.isDir ? copyDir(src, item, target) : copyFile(src, item, target);
}

bool RemoteTransfer::resolve(const std::string& src, const RemoteItem& item, Target& target) {
    const JobAction action = m_mode == TransferMode::Copy ? JobAction::Copy : JobAction::Move;
    for (;;) {
        RemoteItem there;
        JobReport report;
        if (!m_calls.query(target.path, there, report)) {
            if (m_calls.retry(target.path, action, report)) continue;
            skip(src, item);
            return false;
        }
        if (!there.exists) return true;
        const std::string dir = remotepaths::parentOf(target.path);
        auto taken = [&](const std::string& name) {
            RemoteItem other;
            JobReport ignored;
            return !m_calls.query(remotepaths::join(dir, name), other, ignored) || other.exists;
        };
        if (src == target.path) {
            if (m_mode == TransferMode::Move) return false;  // already there
            // A copy onto itself can only mean a second copy beside it.
            target.path = remotepaths::join(dir, paths::freeName(there.name, item.isDir, taken));
            continue;
        }
        if (target.merge && there.isDir) return true;
        ClashRequest req;
        req.source = src;
        req.target = target.path;
        req.sourceIsDir = item.isDir;
        req.targetIsDir = there.isDir;
        req.sourceSize = item.size;
        req.targetSize = there.size;
        req.sourceMtimeNs = item.mtimeNs;
        req.targetMtimeNs = there.mtimeNs;
        req.canReplace = item.isDir == there.isDir;
        req.suggestedName = paths::freeName(remotepaths::baseName(target.path), item.isDir, taken);
        switch (m_ctx.askClash(req).choice) {
            case ClashChoice::Skip:
            case ClashChoice::Cancel:
                m_ctx.noteSkipped();
                skip(src, item);
                return false;
            case ClashChoice::KeepBoth:
                target.path = remotepaths::join(dir, req.suggestedName);
                target.replace = false;
                continue;
            case ClashChoice::Replace:
                if (req.merge())
                    target.merge = true;
                else
                    target.replace = true;
                return true;
        }
    }
}

// A server keeps no trash to put a replaced item in: it is gone for good, which an undo says first.
void RemoteTransfer::replaced(const Target& target) {
    if (target.replace) m_ctx.undo().unrestorable.push_back(target.path);
}

RemoteTransfer::Native RemoteTransfer::moveNatively(const std::string& src, const RemoteItem& item,
                                                    const Target& target) {
    const Ref<GFile> from = remotepaths::fileAt(src), to = remotepaths::fileAt(target.path);
    const auto flags =
        static_cast<GFileCopyFlags>(G_FILE_COPY_NOFOLLOW_SYMLINKS | G_FILE_COPY_NO_FALLBACK_FOR_MOVE |
                                    (target.replace ? G_FILE_COPY_OVERWRITE : 0));
    for (;;) {
        GError* error = nullptr;
        bool moved;
        {
            JobWatch::Call call(m_calls.watch());
            moved = g_file_move(from.get(), to.get(), flags, m_calls.cancellable(), nullptr, nullptr, &error);
        }
        if (moved) {
            replaced(target);
            skip(src, item);  // counts it as done
            done(src, target.path);
            return Native::Done;
        }
        if (isError(error, G_IO_ERROR_EXISTS)) {
            g_error_free(error);
            return Native::Clash;
        }
        if (isError(error, G_IO_ERROR_NOT_SUPPORTED) || isError(error, G_IO_ERROR_WOULD_RECURSE) ||
            isError(error, G_IO_ERROR_WOULD_MERGE)) {
            g_error_free(error);
            return Native::Fallback;
        }
        const JobReport report = m_calls.failure(JobAction::Move, src, error, target.path);
        if (!m_calls.retry(src, JobAction::Move, report)) {
            skip(src, item);
            return Native::Failed;
        }
    }
}

bool RemoteTransfer::copyDir(const std::string& src, const RemoteItem& item, Target target) {
    const Ref<GFile> dest = remotepaths::fileAt(target.path);
    bool made = false;
    while (!target.merge && !made) {
        GError* error = nullptr;
        {
            JobWatch::Call call(m_calls.watch());
            made = g_file_make_directory(dest.get(), m_calls.cancellable(), &error);
        }
        if (made) break;
        if (isError(error, G_IO_ERROR_EXISTS)) {  // taken meanwhile
            g_error_free(error);
            if (!resolve(src, item, target)) return false;
            continue;
        }
        const JobReport report = m_calls.failure(JobAction::CreateFolder, target.path, error);
        if (!m_calls.retry(src, JobAction::CreateFolder, report)) {
            skip(src, item);
            return false;
        }
    }
    if (made) {
        if (m_mode == TransferMode::Copy) done(src, target.path);
        m_createdDirs.insert(target.path);
    }
    m_ctx.addItems(1);

    std::vector<RemoteItem> children;
    JobReport report;
    const auto counted = m_listed.find(src);
    const bool known = counted != m_listed.end();
    if (known) {
        children = std::move(counted->second);
        m_listed.erase(counted);
    }
    while (!known && !m_calls.list(src, children, report)) {
        if (!m_calls.retry(src, JobAction::ReadFolder, report)) {
            const auto it = m_dirCounts.find(src);
            if (it != m_dirCounts.end()) {
                m_ctx.addBytes(static_cast<std::int64_t>(it->second.bytes));
                m_ctx.addItems(it->second.items - 1);
            }
            return false;
        }
    }
    bool whole = true;
    for (const RemoteItem& child : children) {
        if (!transfer(remotepaths::join(src, child.name), child,
                      {remotepaths::join(target.path, child.name)}))
            whole = false;
    }
    if (made && item.mtimeNs != 0) {
        // Kept where the back end can; a folder's time is not worth a question.
        JobWatch::Call call(m_calls.watch());
        g_file_set_attribute_uint64(dest.get(), G_FILE_ATTRIBUTE_TIME_MODIFIED,
                                    static_cast<guint64>(item.mtimeNs / 1'000'000'000),
                                    G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, m_calls.cancellable(), nullptr);
    }
    if (m_mode == TransferMode::Move && whole) {
        if (!removeSource(src, item)) return false;
        if (made) done(src, target.path);
    }
    return whole;
}

void RemoteTransfer::progressed(goffset current, goffset, gpointer data) {
    auto* self = static_cast<RemoteTransfer*>(data);
    const std::int64_t before = self->m_fileBytes.exchange(current);
    if (current > before) {
        self->m_ctx.addBytes(current - before);
        self->m_calls.watch().sign();
    }
    // Paused: the data waits here (the server's answers are not due meanwhile).
    while (self->m_ctx.isPaused() && !self->m_ctx.isCancelled()) {
        self->m_calls.watch().sign();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool RemoteTransfer::copyFile(const std::string& src, const RemoteItem& item, Target target) {
    const Ref<GFile> from = remotepaths::fileAt(src);
    for (;;) {
        Temporary temporary(m_calls, remotepaths::join(remotepaths::parentOf(target.path),
                                                       temporaryName(remotepaths::baseName(target.path))));
        const Ref<GFile> tmp = remotepaths::fileAt(temporary.path());
        GError* error = nullptr;
        m_fileBytes = 0;
        bool copied;
        {
            JobWatch::Call call(m_calls.watch());
            copied = g_file_copy(from.get(), tmp.get(), G_FILE_COPY_NOFOLLOW_SYMLINKS, m_calls.cancellable(),
                                 &RemoteTransfer::progressed, this, &error);
        }
        JobReport report;
        if (!copied) {
            report = m_calls.failure(JobAction::Copy, src, error, target.path);
        } else if (!item.isSymlink) {
            RemoteItem written;
            if (!m_calls.query(temporary.path(), written, report)) {
            } else if (written.size != item.size) {
                report = {JobAction::Copy, src, EIO, JobProblem::Incomplete};
            } else if (item.mtimeNs / 1'000'000'000 != written.mtimeNs / 1'000'000'000) {
                // Push and pull keep the time; a copy streamed through here does not. Kept where the
                // back end can: a time it refuses is no reason to fail the copy.
                JobWatch::Call call(m_calls.watch());
                g_file_set_attribute_uint64(tmp.get(), G_FILE_ATTRIBUTE_TIME_MODIFIED,
                                            static_cast<guint64>(item.mtimeNs / 1'000'000'000),
                                            G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, m_calls.cancellable(),
                                            nullptr);
            }
        }
        if (report.error != 0) {
            m_ctx.addBytes(-m_fileBytes.exchange(0));
            if (m_calls.retry(src, JobAction::Copy, report)) continue;
            skip(src, item);
            return false;
        }
        // The copy is whole: it takes its name, never replacing what the resolver did not let it.
        for (;;) {
            const Ref<GFile> to = remotepaths::fileAt(target.path);
            const auto flags =
                static_cast<GFileCopyFlags>(G_FILE_COPY_NOFOLLOW_SYMLINKS | G_FILE_COPY_NO_FALLBACK_FOR_MOVE |
                                            (target.replace ? G_FILE_COPY_OVERWRITE : 0));
            bool placed;
            {
                JobWatch::Call call(m_calls.watch());
                placed =
                    g_file_move(tmp.get(), to.get(), flags, m_calls.cancellable(), nullptr, nullptr, &error);
            }
            if (placed) {
                replaced(target);
                break;
            }
            if (isError(error, G_IO_ERROR_EXISTS)) {  // taken meanwhile: asked again
                g_error_free(error);
                error = nullptr;
                m_ctx.addBytes(-m_fileBytes.exchange(0));
                if (!resolve(src, item, target)) return false;
                m_ctx.addBytes(static_cast<std::int64_t>(item.size));
                m_fileBytes = static_cast<std::int64_t>(item.size);
                continue;
            }
            report = m_calls.failure(JobAction::Create, target.path, error);
            error = nullptr;
            if (!m_calls.retry(target.path, JobAction::Create, report)) {
                m_ctx.addBytes(static_cast<std::int64_t>(item.size) - m_fileBytes.exchange(0));
                m_ctx.addItems(1);
                return false;
            }
        }
        temporary.placed();
        m_ctx.addBytes(static_cast<std::int64_t>(item.isSymlink ? 0 : item.size) - m_fileBytes.exchange(0));
        m_ctx.addItems(1);
        done(src, target.path);
        return m_mode == TransferMode::Copy || removeSource(src, item);
    }
}

bool RemoteTransfer::removeSource(const std::string& src, const RemoteItem&) {
    const Ref<GFile> file = remotepaths::fileAt(src);
    for (;;) {
        GError* error = nullptr;
        {
            JobWatch::Call call(m_calls.watch());
            if (g_file_delete(file.get(), m_calls.cancellable(), &error)) return true;
        }
        const JobReport report = m_calls.failure(JobAction::RemoveSource, src, error);
        if (!m_calls.retry(src, JobAction::RemoveSource, report)) return false;
    }
}

}  // namespace kv
