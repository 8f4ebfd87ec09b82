#include "platform/fs/remote/remotecalls.h"

#include <cerrno>

#include "platform/fs/jobs/jobcancelled.h"
#include "platform/fs/jobs/jobcontext.h"
#include "platform/fs/remote/gioerrors.h"
#include "platform/fs/remote/remotepaths.h"

namespace kv {

using giofiles::Ref;

namespace {

const char* const kAttributes =
    G_FILE_ATTRIBUTE_STANDARD_NAME "," G_FILE_ATTRIBUTE_STANDARD_TYPE "," G_FILE_ATTRIBUTE_STANDARD_SIZE
                                   "," G_FILE_ATTRIBUTE_STANDARD_IS_SYMLINK "," G_FILE_ATTRIBUTE_TIME_MODIFIED
                                   "," G_FILE_ATTRIBUTE_TIME_MODIFIED_USEC;

RemoteItem itemOf(GFileInfo* info) {
    RemoteItem item;
    item.exists = true;
    item.name = g_file_info_get_name(info);
    item.isSymlink = g_file_info_get_is_symlink(info);
    item.isDir = !item.isSymlink && g_file_info_get_file_type(info) == G_FILE_TYPE_DIRECTORY;
    item.size = static_cast<std::uint64_t>(g_file_info_get_size(info));
    if (g_file_info_has_attribute(info, G_FILE_ATTRIBUTE_TIME_MODIFIED)) {
        item.mtimeNs = static_cast<std::int64_t>(
                           g_file_info_get_attribute_uint64(info, G_FILE_ATTRIBUTE_TIME_MODIFIED)) *
                           1'000'000'000 +
                       static_cast<std::int64_t>(
                           g_file_info_get_attribute_uint32(info, G_FILE_ATTRIBUTE_TIME_MODIFIED_USEC)) *
                           1'000;
    }
    return item;
}

}  // namespace

RemoteCalls::RemoteCalls(JobContext& ctx) : m_ctx(ctx), m_watch(ctx) {}

JobReport RemoteCalls::failure(JobAction action, const std::string& path, GError* error,
                               const std::string& other) {
    JobReport report = gioerrors::reportOf(action, path, error);
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    // A back end says its connection closed in words only (G_IO_ERROR_FAILED): whether the server is
    // still there is asked of it.
    const bool vague = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_FAILED) ||
                       g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_MOUNTED);
    const bool lost = gioerrors::connectionLost(error) ||
                      (vague && !m_watch.timedOut() && !(serverAnswers(path) && serverAnswers(other)));
    g_error_free(error);
    if (m_watch.timedOut()) {
        m_watch.cleaningUp();
        throw ServerLost{{action, path, ETIMEDOUT, JobProblem::NotAnswering,
                          "The server did not answer for " + std::to_string(JobWatch::kLimit.count() / 1000) +
                              " seconds."}};
    }
    if (cancelled) throw JobCancelled{};
    if (lost) {
        m_watch.cleaningUp();
        throw ServerLost{std::move(report)};
    }
    return report;
}

bool RemoteCalls::serverAnswers(const std::string& path) {
    if (remotepaths::isLocal(path)) return true;
    const Ref<GFile> file = remotepaths::fileAt(path);
    if (!file.get()) return true;
    // The root of the mount the path is on (a share's, not the server's, for smb); none is left when
    // the back end ended its mount.
    GError* error = nullptr;
    JobWatch::Call call(m_watch);
    const auto mount = Ref<GMount>::adopt(g_file_find_enclosing_mount(file.get(), cancellable(), &error));
    if (!mount.get()) {
        g_error_free(error);
        return false;
    }
    const auto root = Ref<GFile>::adopt(g_mount_get_root(mount.get()));
    const auto info = Ref<GFileInfo>::adopt(g_file_query_info(root.get(), G_FILE_ATTRIBUTE_STANDARD_TYPE,
                                                              G_FILE_QUERY_INFO_NONE, cancellable(), &error));
    if (error) g_error_free(error);
    return info.get() != nullptr;
}

bool RemoteCalls::query(const std::string& path, RemoteItem& item, JobReport& report) {
    const Ref<GFile> file = remotepaths::fileAt(path);
    GError* error = nullptr;
    JobWatch::Call call(m_watch);
    const auto info = Ref<GFileInfo>::adopt(g_file_query_info(
        file.get(), kAttributes, G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, cancellable(), &error));
    if (info.get()) {
        item = itemOf(info.get());
        return true;
    }
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND)) {
        g_error_free(error);
        item = RemoteItem{};
        return true;
    }
    report = failure(JobAction::Read, path, error);
    return false;
}

bool RemoteCalls::list(const std::string& dir, std::vector<RemoteItem>& children, JobReport& report) {
    const Ref<GFile> file = remotepaths::fileAt(dir);
    GError* error = nullptr;
    JobWatch::Call call(m_watch);
    const auto e = Ref<GFileEnumerator>::adopt(g_file_enumerate_children(
        file.get(), kAttributes, G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, cancellable(), &error));
    if (!e.get()) {
        report = failure(JobAction::ReadFolder, dir, error);
        return false;
    }
    children.clear();
    for (;;) {
        const auto info = Ref<GFileInfo>::adopt(g_file_enumerator_next_file(e.get(), cancellable(), &error));
        if (!info.get()) break;
        children.push_back(itemOf(info.get()));
        m_watch.sign();
    }
    g_file_enumerator_close(e.get(), nullptr, nullptr);
    if (error) {
        report = failure(JobAction::ReadFolder, dir, error);
        return false;
    }
    return true;
}

bool RemoteCalls::removeTree(const std::string& path, const RemoteItem& item, JobReport& report) {
    if (item.isDir) {
        std::vector<RemoteItem> children;
        if (!list(path, children, report)) return false;
        for (const RemoteItem& child : children) {
            m_ctx.checkpoint();
            if (!removeTree(remotepaths::join(path, child.name), child, report)) return false;
        }
    }
    const Ref<GFile> file = remotepaths::fileAt(path);
    GError* error = nullptr;
    JobWatch::Call call(m_watch);
    if (g_file_delete(file.get(), cancellable(), &error)) return true;
    report = failure(JobAction::Delete, path, error);
    return false;
}

bool RemoteCalls::retry(const std::string& path, JobAction action, const JobReport& report) {
    return m_ctx.askError({path, action, report, true}) == ErrorChoice::Retry;
}

void RemoteCalls::run(JobContext& ctx, const std::function<void(RemoteCalls&)>& body) {
    try {
        RemoteCalls calls(ctx);
        body(calls);
    } catch (ServerLost& lost) {
        ctx.noteSkipped(std::move(lost.report));
    }
}

}  // namespace kv
