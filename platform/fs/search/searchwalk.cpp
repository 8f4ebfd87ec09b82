#include "platform/fs/search/searchwalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <optional>

#include "platform/fs/core/background.h"
#include "platform/fs/core/errortext.h"
#include "platform/fs/listing/folderlister.h"
#include "platform/fs/listing/namematcher.h"
#include "platform/fs/search/contentmatcher.h"

namespace kv {

namespace {

constexpr std::size_t kWalkBuffer = 128 * 1024;
constexpr std::size_t kBatch = 256;
constexpr auto kBatchDelay = std::chrono::milliseconds(30);
constexpr int kWalkerNice = 10;

NameMatcher::Mode nameMode(const SearchQuery& q) {
    switch (q.nameMode) {
        case SearchQuery::NameMode::Wildcard:
            return NameMatcher::Mode::Wildcard;
        case SearchQuery::NameMode::Regex:
            return NameMatcher::Mode::Regex;
        case SearchQuery::NameMode::Auto:
            break;
    }
    return NameMatcher::autoMode(q.name);
}

std::string joined(const std::string& folder, std::string_view name) {
    std::string out;
    out.reserve(folder.size() + 1 + name.size());
    out = folder;
    if (!out.empty() && out.back() != '/') out += '/';
    out += name;
    return out;
}

}  // namespace

// Each thread's own matchers (a regex keeps match state), and the tests a found name passes next.
struct SearchWalk::Private {
    explicit Private(const SearchQuery& q) : query(q), name(q.name, nameMode(q), q.caseSensitive) {
        if (!q.content.empty()) content.emplace(q.content, q.contentRegex, q.caseSensitive, q.maxContentSize);
    }

    // What the folder listing already knows (the name and whether it is a folder).
    bool nameFits(std::string_view base, bool isDir) const {
        if (!query.includeHidden && base.front() == '.') return false;
        if (isDir && (query.kind == SearchQuery::Kind::FilesOnly || content || query.sizeBounded()))
            return false;
        if (!isDir && query.kind == SearchQuery::Kind::FoldersOnly) return false;
        return name.matches(base);
    }

    // The rest, once the entry is stat'ed (dirFd/base name it for a content read).
    bool entryFits(const DirEntry& e, int dirFd, const char* base) {
        if (!e.isDir && (e.size < query.minSize || e.size > query.maxSize)) return false;
        if (e.mtimeNs < query.modifiedSinceNs) return false;
        // An empty file holds no text, a file over the limit is not read: neither is opened.
        if (content)
            return !e.isDir && !e.isSymlink && e.size > 0 && e.size <= query.maxContentSize &&
                   content->matchesFile(dirFd, base);
        return true;
    }

    const SearchQuery& query;
    NameMatcher name;
    std::optional<ContentMatcher> content;
};

NameMatcher SearchWalk::nameMatcher(const SearchQuery& query) {
    return NameMatcher(query.name, nameMode(query), query.caseSensitive);
}

std::string SearchWalk::check(const SearchQuery& query) {
    const NameMatcher name = nameMatcher(query);
    if (!name.isValid()) return "The name pattern is not valid: " + name.error();
    if (!query.content.empty()) {
        const ContentMatcher content(query.content, query.contentRegex, query.caseSensitive, 0);
        if (!content.isValid()) return "The content pattern is not valid: " + content.error();
    }
    return {};
}

SearchWalk::SearchWalk(std::string root, SearchQuery query, std::shared_ptr<SearchStats> stats,
                       EmitFn onBatch, DoneFn done)
    : m_root(std::move(root)),
      m_query(std::move(query)),
      m_stats(stats ? std::move(stats) : std::make_shared<SearchStats>()),
      m_emit(std::move(onBatch)),
      m_done(std::move(done)) {
    m_stack.push_back({});
}

SearchWalk::~SearchWalk() = default;

std::shared_ptr<SearchWalk> SearchWalk::start(std::string root, SearchQuery query,
                                              std::shared_ptr<SearchStats> stats, EmitFn onBatch, DoneFn done,
                                              int threads) {
    auto walk = std::make_shared<SearchWalk>(std::move(root), std::move(query), std::move(stats),
                                             std::move(onBatch), std::move(done));
    if (const std::string problem = check(walk->m_query); !problem.empty()) {
        walk->m_stats->finished = true;
        walk->m_done(EINVAL, problem);
        return walk;
    }
    const int count = std::max(1, threads);
    walk->m_live = count;  // before any walker runs: each counts itself out as it ends
    // Detached: a folder on a hung mount blocks its walker, and nobody waits for it.
    for (int i = 0; i < count; ++i) background::runDetached([walk] { walk->work(); });
    return walk;
}

int SearchWalk::runNow(const std::string& root, const SearchQuery& query, std::vector<DirEntry>& out,
                       std::shared_ptr<SearchStats> stats, int threads) {
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    int result = 0;
    start(
        root, query, std::move(stats),
        [&](std::vector<DirEntry>&& batch) {
            std::lock_guard lock(mutex);
            out.insert(out.end(), std::make_move_iterator(batch.begin()),
                       std::make_move_iterator(batch.end()));
            return true;
        },
        [&](int error, const std::string&) {
            std::lock_guard lock(mutex);
            result = error;
            finished = true;
            ended.notify_all();
        },
        threads);
    std::unique_lock lock(mutex);
    ended.wait(lock, [&] { return finished; });
    return result;
}

void SearchWalk::cancel() {
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        m_stop = true;
    }
    m_wake.notify_all();
}

bool SearchWalk::flush(std::vector<DirEntry>& batch) {
    if (batch.empty()) return !m_stop;
    std::lock_guard lock(m_emitMutex);
    const bool more = !m_stop && m_emit(std::move(batch));
    batch = {};
    if (!more) cancel();
    return more;
}

void SearchWalk::work() {
    // Below the window's own thread: on a busy machine a search's walkers (as many as there are cores)
    // would otherwise take turns with it and leave it waiting a whole time slice at a time. Linux gives
    // each thread its own nice value.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWalkerNice);
    Private p(m_query);
    std::vector<DirEntry> batch;
    std::vector<std::string> subfolders;
    auto lastEmit = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    for (;;) {
        std::string rel;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_cancelled || !m_stack.empty() || m_busy == 0; });
            if (m_cancelled || m_stack.empty()) break;
            rel = std::move(m_stack.back());
            m_stack.pop_back();
            ++m_busy;
        }
        listFolder(rel, p, batch, subfolders);
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            --m_busy;
            wake = !subfolders.empty() || m_busy == 0;
            for (auto& s : subfolders) m_stack.push_back(std::move(s));
        }
        subfolders.clear();
        if (wake) m_wake.notify_all();
        // The first results show at once, later ones in batches.
        const auto now = std::chrono::steady_clock::now();
        if (batch.size() >= kBatch || (!batch.empty() && now - lastEmit >= kBatchDelay)) {
            if (!flush(batch)) break;
            lastEmit = now;
        }
    }
    flush(batch);
    bool last = false;
    int error = 0;
    {
        std::lock_guard lock(m_mutex);
        last = --m_live == 0;
        error = m_rootError;
    }
    m_wake.notify_all();
    if (!last) return;
    m_stats->finished = true;
    if (m_stop) return;
    std::lock_guard lock(m_emitMutex);
    m_done(error, error ? errorText(error) : std::string());
}

void SearchWalk::listFolder(const std::string& rel, Private& p, std::vector<DirEntry>& batch,
                            std::vector<std::string>& subfolders) {
    const bool isRoot = rel.empty();
    const std::string path = isRoot ? m_root : joined(m_root, rel);
    // Below the start nothing is followed: a folder replaced by a link since it was listed is skipped.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isRoot ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        if (isRoot) {
            std::lock_guard lock(m_mutex);
            m_rootError = errno;
        } else if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR) {
            m_stats->addUnreadable(rel);
        }
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        if (isRoot) m_rootDev = st.st_dev;
        const bool otherFs = !isRoot && st.st_dev != m_rootDev && !m_query.crossFilesystems;
        if (otherFs || !m_visited.insert({st.st_dev, st.st_ino}).second) {
            ::close(fd);
            return;
        }
    }
    ++m_stats->folders;
    std::unique_ptr<char[]> buf(new char[kWalkBuffer]);
    std::size_t seen = 0;
    for (;;) {
        const ssize_t n = ::getdents64(fd, buf.get(), kWalkBuffer);
        if (n < 0 && !isRoot) m_stats->addUnreadable(rel);
        if (n <= 0) break;
        for (ssize_t off = 0; off < n;) {
            auto* d = reinterpret_cast<struct dirent64*>(buf.get() + off);
            off += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            if ((++seen & 1023) == 0 && m_stop) {
                ::close(fd);
                return;
            }
            if (!m_query.includeHidden && name[0] == '.') continue;
            unsigned char type = d->d_type;
            if (type == DT_UNKNOWN) {
                struct stat est {};
                if (::fstatat(fd, name, &est, AT_SYMLINK_NOFOLLOW) != 0) continue;
                type = S_ISDIR(est.st_mode) ? DT_DIR : S_ISLNK(est.st_mode) ? DT_LNK : DT_REG;
            }
            if (type == DT_DIR) subfolders.push_back(joined(rel, name));
            // A link to a folder counts as a folder for the kind, as it shows as one: known once stat'ed.
            const bool link = type == DT_LNK;
            if (link ? !p.name.matches(name) : !p.nameFits(name, type == DT_DIR)) continue;
            DirEntry e;
            if (!FolderLister::statEntry(fd, name, type, e)) continue;
            if (link && !p.nameFits(name, e.isDir)) continue;
            if (!p.entryFits(e, fd, name)) continue;
            e.name = joined(rel, name);
            batch.push_back(std::move(e));
            ++m_stats->found;
        }
    }
    ::close(fd);
}

bool SearchWalk::test(const std::string& root, const SearchQuery& query, const std::string& relPath,
                      DirEntry& e) {
    // Only paths below the root, as the walk names them: no empty, "." or ".." part.
    if (relPath.empty() || relPath.front() == '/' || relPath.back() == '/' || relPath == "." ||
        relPath == ".." || relPath.starts_with("./") || relPath.starts_with("../") ||
        relPath.find("//") != std::string::npos || relPath.find("/./") != std::string::npos ||
        relPath.find("/../") != std::string::npos || relPath.ends_with("/.") || relPath.ends_with("/.."))
        return false;
    const std::size_t slash = relPath.rfind('/');
    const std::string folder = slash == std::string::npos ? root : joined(root, relPath.substr(0, slash));
    const std::string base = slash == std::string::npos ? relPath : relPath.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") return false;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    Private p(query);
    bool ok = FolderLister::statEntry(fd, base.c_str(), DT_UNKNOWN, e) && p.nameFits(base, e.isDir) &&
              p.entryFits(e, fd, base.c_str());
    ::close(fd);
    if (ok) e.name = relPath;
    return ok;
}

}  // namespace kv
