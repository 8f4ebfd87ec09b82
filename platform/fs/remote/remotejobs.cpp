#include "platform/fs/remote/remotejobs.h"

#include <algorithm>
#include <cerrno>

#include "platform/fs/core/paths.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/remote/remotecalls.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/fs/remote/remotepaths.h"
#include "platform/fs/remote/remotetransfer.h"

namespace kv {

using giofiles::Ref;

namespace {

std::vector<Transfer::Item> intoFolder(const std::vector<std::string>& sources,
                                       const std::string& targetDir) {
    std::vector<Transfer::Item> items;
    for (const std::string& s : sources)
        items.push_back({s, remotepaths::join(targetDir, remotepaths::baseName(s))});
    return items;
}

// Runs one step (a GIO call filling error) until it succeeds, or the resolver skips it: true when it
// succeeded. taken: called instead of asking when the step failed with G_IO_ERROR_EXISTS.
template <typename Step>
bool attempt(RemoteCalls& calls, JobAction action, const std::string& path, Step step,
             const std::function<void()>& taken = {}) {
    for (;;) {
        GError* error = nullptr;
        {
            JobWatch::Call call(calls.watch());
            if (step(&error)) return true;
        }
        if (taken && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_EXISTS)) {
            g_error_free(error);
            taken();
            return false;
        }
        const JobReport report = calls.failure(action, path, error);
        if (!calls.retry(path, action, report)) return false;
    }
}

// The item as it is now; false (reported) when it is gone or the server could not say.
bool present(RemoteCalls& calls, JobAction action, const std::string& path, RemoteItem& item) {
    JobReport report;
    while (!calls.query(path, item, report)) {
        if (!calls.retry(path, action, report)) return false;
    }
    if (!item.exists) calls.ctx().noteSkipped({action, path, ENOENT, JobProblem::Gone});
    return item.exists;
}

void removeAll(RemoteCalls& calls, JobAction action, const std::string& path) {
    RemoteItem item;
    if (!present(calls, action, path, item)) return;
    JobReport report;
    while (!calls.removeTree(path, item, report)) {
        if (!calls.retry(path, action, report)) return;
    }
}

void remove(RemoteCalls& calls, const std::vector<std::string>& paths, bool trash) {
    JobContext& ctx = calls.ctx();
    ctx.setTotals(0, paths.size());
    for (const std::string& path : paths) {
        ctx.checkpoint();
        ctx.setCurrent(path);
        if (!trash) {
            removeAll(calls, JobAction::Delete, path);
        } else {
            const Ref<GFile> file = remotepaths::fileAt(path);
            attempt(calls, JobAction::Trash, path, [&](GError** error) {
                if (g_file_trash(file.get(), calls.cancellable(), error)) return true;
                if (!g_error_matches(*error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED)) return false;
                // No trash there: left as it is, for the caller to ask about deleting it for good.
                g_clear_error(error);
                ctx.noteSkipped({JobAction::Trash, path, ENOTSUP, JobProblem::NoTrash});
                return true;
            });
        }
        ctx.addItems(1);
    }
}

void rename(RemoteCalls& calls, const std::string& path, const std::string& newName) {
    JobContext& ctx = calls.ctx();
    ctx.undo().kind = UndoInfo::Kind::Rename;
    ctx.setTotals(0, 1);
    ctx.setCurrent(path);
    if (!paths::isValidName(newName)) {
        ctx.askError({path,
                      JobAction::Rename,
                      {JobAction::Rename, path, EINVAL, JobProblem::InvalidName, newName},
                      false});
        return;
    }
    if (newName == remotepaths::baseName(path)) return;
    const std::string dest = remotepaths::join(remotepaths::parentOf(path), newName);
    auto taken = [&] {
        ctx.askError(
            {path, JobAction::Rename, {JobAction::Rename, path, EEXIST, JobProblem::Errno, dest}, false});
    };
    // Asked first: not every back end refuses to rename over an item.
    RemoteItem there;
    JobReport report;
    while (!calls.query(dest, there, report)) {
        if (!calls.retry(path, JobAction::Rename, report)) return;
    }
    if (there.exists) {
        taken();
        return;
    }
    const Ref<GFile> from = remotepaths::fileAt(path), to = remotepaths::fileAt(dest);
    const auto flags =
        static_cast<GFileCopyFlags>(G_FILE_COPY_NOFOLLOW_SYMLINKS | G_FILE_COPY_NO_FALLBACK_FOR_MOVE);
    if (attempt(
            calls, JobAction::Rename, path,
            [&](GError** error) {
                return g_file_move(from.get(), to.get(), flags, calls.cancellable(), nullptr, nullptr, error);
            },
            taken)) {
        ctx.undo().moved.emplace_back(path, dest);
        ctx.addItems(1);
    }
}

void makeFolder(RemoteCalls& calls, const std::string& dir, const std::string& name) {
    JobContext& ctx = calls.ctx();
    ctx.undo().kind = UndoInfo::Kind::NewFolder;
    ctx.setTotals(0, 1);
    if (!paths::isValidName(name)) {
        const std::string path = remotepaths::join(dir, name);
        ctx.askError({path,
                      JobAction::CreateFolder,
                      {JobAction::CreateFolder, path, EINVAL, JobProblem::InvalidName, name},
                      false});
        return;
    }
    // A name taken gives the next free one ("New Folder (2)"), as on disk; a name taken meanwhile, the
    // one after.
    for (;;) {
        ctx.checkpoint();
        auto taken = [&](const std::string& n) {
            RemoteItem there;
            JobReport ignored;
            return !calls.query(remotepaths::join(dir, n), there, ignored) || there.exists;
        };
        const std::string path =
            remotepaths::join(dir, taken(name) ? paths::freeName(name, true, taken) : name);
        ctx.setCurrent(path);
        const Ref<GFile> file = remotepaths::fileAt(path);
        bool again = false;
        if (attempt(
                calls, JobAction::CreateFolder, path,
                [&](GError** error) { return g_file_make_directory(file.get(), calls.cancellable(), error); },
                [&] { again = true; })) {
            ctx.undo().created.push_back(path);
            ctx.addItems(1);
            return;
        }
        if (!again) return;
    }
}

void undo(RemoteCalls& calls, const UndoInfo& info) {
    JobContext& ctx = calls.ctx();
    switch (info.kind) {
        case UndoInfo::Kind::Rename:
        case UndoInfo::Kind::Move: {
            std::vector<Transfer::Item> back;
            for (auto it = info.moved.rbegin(); it != info.moved.rend(); ++it) {
                RemoteItem item;
                if (present(calls, JobAction::Undo, it->second, item))
                    back.push_back({it->second, it->first});
            }
            ctx.undo().kind = info.kind;
            RemoteTransfer(calls, TransferMode::Move).run(back);
            return;
        }
        case UndoInfo::Kind::NewFolder:
            for (const std::string& path : info.created) {
                const Ref<GFile> file = remotepaths::fileAt(path);
                GError* error = nullptr;
                JobWatch::Call call(calls.watch());
                if (g_file_delete(file.get(), calls.cancellable(), &error)) continue;
                const bool full = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_EMPTY);
                JobReport report = calls.failure(JobAction::Undo, path, error);
                if (full) report.problem = JobProblem::NotEmpty;
                ctx.noteSkipped(std::move(report));
            }
            return;
        case UndoInfo::Kind::None:
            return;
        default:  // a copy and what undoes as one: the items it made are deleted
            ctx.setTotals(0, info.created.size());
            for (const std::string& path : info.created) {
                ctx.checkpoint();
                removeAll(calls, JobAction::Undo, path);
                ctx.addItems(1);
            }
            return;
    }
}

}  // namespace

bool anyOnServer(const std::vector<std::string>& paths) {
    return std::any_of(paths.begin(), paths.end(),
                       [](const std::string& p) { return RemoteLocation::is(p); });
}

RemoteTransferJob::RemoteTransferJob(TransferMode mode, std::vector<std::string> sources,
                                     std::string targetDir)
    : RemoteTransferJob(mode, intoFolder(sources, targetDir)) {}

RemoteTransferJob::RemoteTransferJob(TransferMode mode, std::vector<Transfer::Item> items)
    : FileJob([mode, items = std::move(items)](JobContext& ctx) {
          RemoteCalls::run(ctx, [&](RemoteCalls& calls) { RemoteTransfer(calls, mode).run(items); });
      }) {}

RemoteDeleteJob::RemoteDeleteJob(std::vector<std::string> paths, bool trash)
    : FileJob([paths = std::move(paths), trash](JobContext& ctx) {
          RemoteCalls::run(ctx, [&](RemoteCalls& calls) { remove(calls, paths, trash); });
      }) {}

RemoteRenameJob::RemoteRenameJob(std::string path, std::string newName)
    : FileJob([path = std::move(path), newName = std::move(newName)](JobContext& ctx) {
          RemoteCalls::run(ctx, [&](RemoteCalls& calls) { rename(calls, path, newName); });
      }) {}

RemoteNewFolderJob::RemoteNewFolderJob(std::string dir, std::string name)
    : FileJob([dir = std::move(dir), name = std::move(name)](JobContext& ctx) {
          RemoteCalls::run(ctx, [&](RemoteCalls& calls) { makeFolder(calls, dir, name); });
      }) {}

RemoteUndoJob::RemoteUndoJob(UndoInfo info)
    : FileJob([info = std::move(info)](JobContext& ctx) {
          RemoteCalls::run(ctx, [&](RemoteCalls& calls) { undo(calls, info); });
      }) {}

}  // namespace kv
