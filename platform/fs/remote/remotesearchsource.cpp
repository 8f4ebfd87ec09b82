#include "platform/fs/remote/remotesearchsource.h"

#include <cerrno>
#include <thread>

#include "platform/fs/remote/giofiles.h"
#include "platform/fs/remote/remotepaths.h"
#include "platform/fs/search/searchwalk.h"

namespace kv {

namespace {

bool passes(const SearchQuery& q, const NameMatcher& name, const DirEntry& e) {
    if (!name.matches(e.name)) return false;
    if (q.kind == SearchQuery::Kind::FilesOnly && e.isDir) return false;
    if (q.kind == SearchQuery::Kind::FoldersOnly && !e.isDir) return false;
    if (q.sizeBounded() && (e.isDir || e.size < q.minSize || e.size > q.maxSize)) return false;
    return q.modifiedSinceNs == 0 || e.mtimeNs >= q.modifiedSinceNs;
}

std::string joined(const std::string& rel, const std::string& name) {
    return rel.empty() ? name : rel + "/" + name;
}

}  // namespace

struct RemoteSearchSource::Walk {
    std::shared_ptr<ListingSlot> slot;
    giofiles::Ref<GCancellable> cancellable = giofiles::Ref<GCancellable>::adopt(g_cancellable_new());

    // On the walk's own thread: folder after folder, deepest last, each listed whole.
    void run(const std::string& root, const SearchQuery& query, const std::shared_ptr<SearchStats>& stats) {
        const NameMatcher name = SearchWalk::nameMatcher(query);
        std::vector<std::string> todo{""};
        int rootError = 0;
        std::string rootMessage;
        while (!todo.empty() && !g_cancellable_is_cancelled(cancellable.get())) {
            const std::string rel = todo.back();
            todo.pop_back();
            const std::string where = rel.empty() ? root : remotepaths::join(root, rel);
            const giofiles::Ref<GFile> dir = giofiles::fileOf(where);
            GError* error = nullptr;
            const auto list = giofiles::Ref<GFileEnumerator>::adopt(
                dir.get() ? g_file_enumerate_children(dir.get(), giofiles::kEntryAttributes,
                                                      G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, cancellable.get(),
                                                      &error)
                          : nullptr);
            if (!list.get()) {
                const giofiles::Failure f = giofiles::take(error);
                if (f.error == ECANCELED) break;
                if (rel.empty()) {
                    rootError = f.error ? f.error : EIO;
                    rootMessage = f.message;
                    break;
                }
                if (stats) stats->addUnreadable(where);
                continue;
            }
            if (stats) ++stats->folders;
            std::vector<DirEntry> batch;
            while (GFileInfo* info = g_file_enumerator_next_file(list.get(), cancellable.get(), nullptr)) {
                DirEntry e = giofiles::entryOf(info);
                g_object_unref(info);
                if (e.hidden && !query.includeHidden) continue;
                if (e.isDir && !e.isSymlink) todo.push_back(joined(rel, e.name));
                if (!passes(query, name, e)) continue;
                e.name = joined(rel, e.name);  // the sort key stays the base name's
                batch.push_back(std::move(e));
            }
            if (!batch.empty()) {
                if (stats) stats->found += batch.size();
                slot->call(&batch, 0, nullptr);
            }
        }
        if (stats) stats->finished = true;
        if (g_cancellable_is_cancelled(cancellable.get())) return;
        slot->call(nullptr, rootError, &rootMessage);
    }
};

RemoteSearchSource::RemoteSearchSource(std::string root, SearchQuery query,
                                       std::shared_ptr<SearchStats> stats)
    : m_root(std::move(root)), m_query(std::move(query)), m_stats(std::move(stats)) {}

RemoteSearchSource::~RemoteSearchSource() {
    cancel();
}

std::string RemoteSearchSource::check(const SearchQuery& query) {
    if (!query.content.empty())
        return "Searching in the files' contents is not offered on servers: every file would be read over "
               "the network. Search by name, or copy the folder here first.";
    return {};
}

void RemoteSearchSource::start(BatchFn onBatch, DoneFn onDone) {
    cancel();
    auto walk = std::make_shared<Walk>();
    walk->slot = makeListingSlot(std::move(onBatch), std::move(onDone));
    m_walk = walk;
    // Detached: a server that does not answer holds up only this thread, which ends when it does.
    std::thread([walk, root = m_root, query = m_query, stats = m_stats] {
        walk->run(root, query, stats);
    }).detach();
}

void RemoteSearchSource::refreshNames(std::vector<std::string> names, NamesFn onNames) {
    // A result is looked at again on the server, off the caller's thread.
    auto slot = NamesSlot::make(
        [onNames = std::move(onNames)](std::vector<DirEntry>* found, std::vector<std::string>* gone) {
            onNames(0, std::move(*found), std::move(*gone));
        });
    std::erase_if(m_lookups, [](const std::shared_ptr<NamesSlot>& s) { return s.use_count() == 1; });
    m_lookups.push_back(slot);
    std::thread([root = m_root, names = std::move(names), slot] {
        std::vector<DirEntry> found;
        std::vector<std::string> gone;
        for (const std::string& rel : names) {
            const giofiles::Ref<GFile> file = giofiles::fileOf(remotepaths::join(root, rel));
            GError* error = nullptr;
            const auto info = giofiles::Ref<GFileInfo>::adopt(
                file.get() ? g_file_query_info(file.get(), giofiles::kEntryAttributes,
                                               G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, nullptr, &error)
                           : nullptr);
            if (!info.get()) {
                giofiles::take(error);
                gone.push_back(rel);
                continue;
            }
            DirEntry e = giofiles::entryOf(info.get());
            e.name = rel;
            found.push_back(std::move(e));
        }
        slot->call(&found, &gone);
    }).detach();
}

void RemoteSearchSource::cancel() {
    for (const std::shared_ptr<NamesSlot>& slot : m_lookups) slot->detach();
    m_lookups.clear();
    if (!m_walk) return;
    m_walk->slot->detach();
    g_cancellable_cancel(m_walk->cancellable.get());
    m_walk.reset();
}

}  // namespace kv
