#include "platform/fs/remote/remotelistingsource.h"

#include <cerrno>
#include <mutex>
#include <utility>

#include "platform/fs/remote/giofiles.h"
#include "platform/fs/remote/giothread.h"
#include "platform/fs/remote/remotemount.h"

namespace kv {

using giofiles::Failure;
using giofiles::Ref;

// One listing: shared by the source and the GIO calls under way for it, which run on GIO's thread.
struct RemoteListingSource::Run : std::enable_shared_from_this<Run> {
    std::string location;
    MountAsker asker;
    std::shared_ptr<ListingSlot> slot;
    Ref<GCancellable> cancellable = Ref<GCancellable>::adopt(g_cancellable_new());
    Ref<GFile> dir;
    Ref<GFileEnumerator> enumerator;
    bool triedMount = false;
    int mounts = 0;
    bool firstBatch = true;
    std::mutex mutex;
    std::shared_ptr<MountCall> mount;
    GSource* watchdog = nullptr;  // waiting for the server's answer
    bool ended = false;

    void begin();
    void arm();
    void disarm();
    void mountThenRetry();
    void next();
    void finish(Failure failure);
    void stop();
};

namespace {

// A GIO callback's user data: the run it is for, kept alive until the callback.
using Holder = std::shared_ptr<RemoteListingSource::Run>;

Holder* hold(RemoteListingSource::Run& run) {
    return new Holder(run.shared_from_this());
}

void closeQuietly(GFileEnumerator* enumerator) {
    // Closing may talk to the server: never waited for.
    if (enumerator && !g_file_enumerator_is_closed(enumerator))
        g_file_enumerator_close_async(enumerator, G_PRIORITY_DEFAULT, nullptr, nullptr, nullptr);
}

}  // namespace

void RemoteListingSource::Run::begin() {
    if (!slot->attached()) return;
    dir = giofiles::fileOf(location);
    if (!dir.get()) {
        finish({EINVAL, "not the address of a server", false});
        return;
    }
    arm();
    g_file_enumerate_children_async(
        dir.get(), giofiles::kEntryAttributes, G_FILE_QUERY_INFO_NONE, G_PRIORITY_DEFAULT, cancellable.get(),
        [](GObject* file, GAsyncResult* result, gpointer data) {
            const std::unique_ptr<Holder> run(static_cast<Holder*>(data));
            (*run)->disarm();
            GError* error = nullptr;
            GFileEnumerator* e = g_file_enumerate_children_finish(G_FILE(file), result, &error);
            if (!e) {
                Failure failure = giofiles::take(error);
                if (failure.notMounted && !(*run)->triedMount) {
                    (*run)->mountThenRetry();
                } else {
                    (*run)->finish(std::move(failure));
                }
                return;
            }
            (*run)->enumerator = Ref<GFileEnumerator>::adopt(e);
            (*run)->next();
        },
        hold(*this));
}

void RemoteListingSource::Run::mountThenRetry() {
    triedMount = true;
    ++mounts;
    arm();
    // The person takes the time a question needs: the server is waited for again once answered.
    auto questionOpen = [weak = weak_from_this()](bool open) {
        if (const std::shared_ptr<Run> run = weak.lock()) open ? run->disarm() : run->arm();
    };
    auto call = MountCall::start(
        dir.get(), cancellable.get(), location, asker,
        [run = shared_from_this()](Failure failure) {
            run->disarm();
            {
                std::lock_guard lock(run->mutex);
                run->mount.reset();
            }
            // Joined to a mount of the same server that was given up on (the
            // place left and opened again): this one is made afresh.
            if (failure.notMounted && run->mounts < 3 && run->slot->attached())
                run->mountThenRetry();
            else if (failure.error)
                run->finish(std::move(failure));
            else
                run->begin();
        },
        questionOpen);
    std::lock_guard lock(mutex);
    // Cancelled while the mount was being started: its question, if any, is withdrawn at once.
    if (!slot->attached()) call->withdraw();
    mount = std::move(call);
}

void RemoteListingSource::Run::next() {
    const int count = firstBatch ? kFirstBatch : kBatch;
    firstBatch = false;
    arm();
    g_file_enumerator_next_files_async(
        enumerator.get(), count, G_PRIORITY_DEFAULT, cancellable.get(),
        [](GObject* source, GAsyncResult* result, gpointer data) {
            const std::unique_ptr<Holder> run(static_cast<Holder*>(data));
            (*run)->disarm();
            GError* error = nullptr;
            GList* infos = g_file_enumerator_next_files_finish(G_FILE_ENUMERATOR(source), result, &error);
            if (error) {
                closeQuietly((*run)->enumerator.get());
                (*run)->finish(giofiles::take(error));
                return;
            }
            if (!infos) {
                closeQuietly((*run)->enumerator.get());
                (*run)->finish({});
                return;
            }
            std::vector<DirEntry> batch;
            for (GList* i = infos; i; i = i->next) batch.push_back(giofiles::entryOf(G_FILE_INFO(i->data)));
            g_list_free_full(infos, g_object_unref);
            if (!(*run)->slot->call(&batch, 0, nullptr)) {
                closeQuietly((*run)->enumerator.get());
                return;
            }
            (*run)->next();
        },
        hold(*this));
}

void RemoteListingSource::Run::finish(Failure failure) {
    // Once: the calls a timeout cancelled still end afterwards. A listing stopped by its owner says
    // nothing more; one whose question was cancelled says so.
    if (ended) return;
    ended = true;
    disarm();
    if (!slot->attached()) return;
    slot->call(nullptr, failure.error, &failure.message);
}

void RemoteListingSource::Run::arm() {
    disarm();
    if (ended) return;
    watchdog = g_timeout_source_new(kAnswerLimitMs);
    g_source_set_callback(
        watchdog,
        [](gpointer data) -> gboolean {
            Run& run = **static_cast<Holder*>(data);
            g_source_unref(run.watchdog);
            run.watchdog = nullptr;
            if (!run.ended && run.slot->attached()) {
                g_cancellable_cancel(run.cancellable.get());
                run.finish(
                    {ETIMEDOUT,
                     "The server did not answer for " + std::to_string(kAnswerLimitMs / 1000) + " seconds.",
                     false});
            }
            return G_SOURCE_REMOVE;
        },
        hold(*this), [](gpointer data) { delete static_cast<Holder*>(data); });
    g_source_attach(watchdog, g_main_context_get_thread_default());
}

void RemoteListingSource::Run::disarm() {
    if (!watchdog) return;
    g_source_destroy(watchdog);
    g_source_unref(watchdog);
    watchdog = nullptr;
}

void RemoteListingSource::Run::stop() {
    slot->detach();
    std::shared_ptr<MountCall> open;
    {
        std::lock_guard lock(mutex);
        open = mount;
    }
    // An open question is answered first (posted, as the cancellation is after it): cancelled at once,
    // the mount would drop the reply the server's back end still waits for.
    if (open) open->withdraw();
    giothread::post([cancellable = cancellable] { g_cancellable_cancel(cancellable.get()); });
}

// One look at some names: the answers are gathered on GIO's thread and given together.
struct RemoteListingSource::Names {
    using Slot = CallbackSlot<int, std::vector<DirEntry>*, std::vector<std::string>*>;
    std::shared_ptr<Slot> slot;
    Ref<GCancellable> cancellable = Ref<GCancellable>::adopt(g_cancellable_new());
    size_t left = 0;
    int error = 0;
    std::vector<DirEntry> found;
    std::vector<std::string> gone;
};

RemoteListingSource::RemoteListingSource(std::string location, MountAsker asker)
    : m_location(std::move(location)), m_asker(std::move(asker)) {}

RemoteListingSource::~RemoteListingSource() {
    cancel();
}

void RemoteListingSource::stopListing() {
    if (m_run) m_run->stop();
    m_run.reset();
}

void RemoteListingSource::cancel() {
    stopListing();
    for (const std::shared_ptr<Names>& n : m_names) {
        n->slot->detach();
        g_cancellable_cancel(n->cancellable.get());
    }
    m_names.clear();
}

void RemoteListingSource::start(BatchFn onBatch, DoneFn onDone) {
    stopListing();
    m_run = std::make_shared<Run>();
    m_run->location = m_location;
    m_run->asker = m_asker;
    m_run->slot = makeListingSlot(std::move(onBatch), std::move(onDone));
    giothread::post([run = m_run] { run->begin(); });
}

void RemoteListingSource::refreshNames(std::vector<std::string> names, NamesFn onNames) {
    auto look = std::make_shared<Names>();
    look->slot = Names::Slot::make([onNames = std::move(onNames)](int error, std::vector<DirEntry>* found,
                                                                  std::vector<std::string>* gone) {
        onNames(error, std::move(*found), std::move(*gone));
    });
    look->left = names.size();
    std::erase_if(m_names, [](const std::shared_ptr<Names>& n) { return !n->slot->attached(); });
    m_names.push_back(look);
    giothread::post([look, names = std::move(names), location = m_location] {
        const Ref<GFile> dir = giofiles::fileOf(location);
        if (!dir.get() || names.empty()) {
            look->slot->call(dir.get() ? 0 : EINVAL, &look->found, &look->gone);
            look->slot->detach();
            return;
        }
        for (const std::string& name : names) {
            const Ref<GFile> child = Ref<GFile>::adopt(g_file_get_child(dir.get(), name.c_str()));
            g_file_query_info_async(
                child.get(), giofiles::kEntryAttributes, G_FILE_QUERY_INFO_NONE, G_PRIORITY_DEFAULT,
                look->cancellable.get(),
                [](GObject* file, GAsyncResult* result, gpointer data) {
                    const std::unique_ptr<std::shared_ptr<Names>> held(
                        static_cast<std::shared_ptr<Names>*>(data));
                    Names& n = **held;
                    GError* error = nullptr;
                    GFileInfo* info = g_file_query_info_finish(G_FILE(file), result, &error);
                    if (info) {
                        n.found.push_back(giofiles::entryOf(info));
                        g_object_unref(info);
                    } else if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND)) {
                        char* base = g_file_get_basename(G_FILE(file));
                        n.gone.emplace_back(base ? base : "");
                        g_free(base);
                        g_error_free(error);
                    } else {
                        n.error = giofiles::take(error).error;
                    }
                    if (--n.left > 0) return;
                    if (n.error) {
                        n.found.clear();
                        n.gone.clear();
                    }
                    n.slot->call(n.error, &n.found, &n.gone);
                    n.slot->detach();
                },
                new std::shared_ptr<Names>(look));
        }
    });
}

}  // namespace kv
