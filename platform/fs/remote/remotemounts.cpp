#include "platform/fs/remote/remotemounts.h"

#include <gio/gio.h>

#include <memory>

#include "platform/fs/remote/giofiles.h"
#include "platform/fs/remote/giothread.h"
#include "platform/fs/remote/remotelocation.h"

namespace kv::remotemounts {

namespace {

using giofiles::Ref;

std::string take(char* text) {
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

std::string rootUri(GMount* mount) {
    const Ref<GFile> root = Ref<GFile>::adopt(g_mount_get_root(mount));
    return take(g_file_get_uri(root.get()));
}

// GIO's thread: the monitor is made there, so its signals and answers come there.
template <typename Fn>
void forEachRemote(Fn fn) {
    const Ref<GVolumeMonitor> monitor = Ref<GVolumeMonitor>::adopt(g_volume_monitor_get());
    GList* mounts = g_volume_monitor_get_mounts(monitor.get());
    for (GList* m = mounts; m; m = m->next) {
        auto* mount = static_cast<GMount*>(m->data);
        if (g_mount_is_shadowed(mount)) continue;
        const std::string uri = rootUri(mount);
        if (RemoteLocation::is(uri)) fn(mount, uri);
    }
    g_list_free_full(mounts, g_object_unref);
}

struct Unmounting {
    std::function<void(std::string)> done;
};

void unmounted(GObject* mount, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Unmounting> call(static_cast<Unmounting*>(data));
    GError* error = nullptr;
    if (g_mount_unmount_with_operation_finish(G_MOUNT(mount), result, &error)) {
        call->done({});
        return;
    }
    std::string why = error->message;
    g_error_free(error);
    call->done(why.empty() ? std::string("it is busy") : why);
}

}  // namespace

void list(std::function<void(std::vector<Mounted>)> done) {
    giothread::post([done = std::move(done)] {
        std::vector<Mounted> found;
        forEachRemote([&](GMount* mount, const std::string& uri) {
            found.push_back({take(g_mount_get_name(mount)), uri});
        });
        done(std::move(found));
    });
}

void unmount(const std::string& uri, std::function<void(std::string error)> done) {
    giothread::post([uri, done = std::move(done)] {
        Ref<GMount> target;
        forEachRemote([&](GMount* mount, const std::string& root) {
            if (root == uri && !target.get()) target = Ref<GMount>::share(mount);
        });
        if (!target.get()) {
            done("it is no longer mounted");
            return;
        }
        const Ref<GMountOperation> op = Ref<GMountOperation>::adopt(g_mount_operation_new());
        g_mount_unmount_with_operation(target.get(), G_MOUNT_UNMOUNT_NONE, op.get(), nullptr, unmounted,
                                       new Unmounting{std::move(done)});
    });
}

}  // namespace kv::remotemounts
