#include "platform/fs/compare/foldercompare.h"

#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/fs/core/paths.h"
#include "platform/fs/listing/folderlister.h"
#include "platform/fs/listing/namematcher.h"

namespace kv {

namespace {

// The wildcards of a mask ("*.jpg; *.png"), each a whole-name pattern; none: the mask is empty.
std::vector<NameMatcher> maskMatchers(const std::string& mask) {
    std::vector<NameMatcher> out;
    size_t start = 0;
    while (start <= mask.size()) {
        size_t end = mask.find(';', start);
        if (end == std::string::npos) end = mask.size();
        std::string_view part(mask.data() + start, end - start);
        while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
        if (!part.empty()) out.emplace_back(part, NameMatcher::Mode::Wildcard, false);
        start = end + 1;
    }
    return out;
}

bool anyMatches(const std::vector<NameMatcher>& matchers, const std::string& name) {
    return std::any_of(matchers.begin(), matchers.end(),
                       [&](const NameMatcher& m) { return m.matches(name); });
}

// Names as the merge orders them: the bytes, or their case-folded form.
std::string compareKey(const std::string& name, bool ignoreCase) {
    if (!ignoreCase) return name;
    if (NameMatcher::isAscii(name)) {
        std::string key = name;
        for (char& c : key) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return key;
    }
    const QString text = QString::fromUtf8(name);
    if (text.toUtf8() != QByteArray::fromStdString(name)) return name;  // not UTF-8: bytes as they are
    return text.toCaseFolded().toStdString();
}

struct Keyed {
    std::string key;
    DirEntry entry;
};

class Comparer {
  public:
    Comparer(const CompareOptions& o, const std::atomic<bool>* cancel,
             const FolderCompare::ProgressFn& progress)
        : m_o(o),
          m_cancel(cancel),
          m_progress(progress),
          m_include(maskMatchers(o.include)),
          m_exclude(maskMatchers(o.exclude)) {}

    CompareResult run() {
        std::vector<std::string> stack{""};
        while (!stack.empty() && !cancelled()) {
            const std::string dir = std::move(stack.back());
            stack.pop_back();
            std::vector<std::string> subs;
            compareFolder(dir, subs);
            stack.insert(stack.end(), subs.rbegin(), subs.rend());
        }
        m_result.cancelled = cancelled();
        report(true);
        return std::move(m_result);
    }

  private:
    bool cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

    void report(bool force) {
        if (!m_progress) return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - m_lastReport < std::chrono::milliseconds(100)) return;
        m_lastReport = now;
        m_state.items = m_result.rows.size();
        m_progress(m_state);
    }

    std::vector<Keyed> read(const std::string& root, const std::string& dir) {
        std::vector<DirEntry> entries;
        const int r = FolderLister::listNow(dir.empty() ? root : paths::join(root, dir), entries);
        if (r != 0) m_result.errors.emplace_back(paths::join(root, dir), r);
        std::vector<Keyed> out;
        out.reserve(entries.size());
        for (DirEntry& e : entries) {
            const bool folder = e.isDir && !e.isSymlink;
            if (!m_exclude.empty() && anyMatches(m_exclude, e.name)) continue;
            if (!folder && !m_include.empty() && !anyMatches(m_include, e.name)) continue;
            out.push_back({compareKey(e.name, m_o.ignoreCase), std::move(e)});
        }
        std::sort(out.begin(), out.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
        return out;
    }

    static CompareItem itemOf(const DirEntry& e) {
        return {e.name, e.isDir && !e.isSymlink ? 0 : e.size, e.mtimeNs, e.isDir && !e.isSymlink};
    }

    void compareFolder(const std::string& dir, std::vector<std::string>& subs) {
        m_state.current = dir;
        const std::vector<Keyed> left = read(m_o.left, dir);
        const std::vector<Keyed> right = read(m_o.right, dir);
        ++m_state.folders;
        size_t i = 0, j = 0;
        while (i < left.size() || j < right.size()) {
            CompareRow row;
            row.dir = dir;
            const int order = i == left.size()    ? 1
                              : j == right.size() ? -1
                                                  : left[i].key.compare(right[j].key);
            if (order < 0) {
                row.left = itemOf(left[i++].entry);
                row.kind = CompareKind::OnlyLeft;
            } else if (order > 0) {
                row.right = itemOf(right[j++].entry);
                row.kind = CompareKind::OnlyRight;
            } else {
                row.left = itemOf(left[i++].entry);
                row.right = itemOf(right[j++].entry);
                if (row.left.isDir && row.right.isDir) {
                    if (m_o.recursive)
                        subs.push_back(dir.empty() ? row.left.name : paths::join(dir, row.left.name));
                    continue;
                }
                row.kind = kindOf(row);
                if (cancelled()) return;
            }
            row.action = FolderCompare::defaultAction(row.kind, m_o.mirror);
            m_result.rows.push_back(std::move(row));
        }
        report(false);
    }

    CompareKind kindOf(const CompareRow& row) {
        const CompareKind kind = FolderCompare::byNameSizeTime(row.left, row.right, m_o.toleranceNs);
        if (!m_o.byContent || row.left.isDir || row.right.isDir || row.left.size != row.right.size)
            return kind;
        m_state.current = paths::join(row.dir, row.left.name);
        report(false);
        const int same = FolderCompare::sameContent(row.leftPath(m_o), row.rightPath(m_o), m_cancel,
                                                    m_state.bytesCompared);
        if (same == 1) return CompareKind::Same;
        if (same < 0 && same != -ECANCELED) m_result.errors.emplace_back(row.leftPath(m_o), -same);
        return kind == CompareKind::Same ? CompareKind::Differs : kind;
    }

    const CompareOptions& m_o;
    const std::atomic<bool>* m_cancel;
    const FolderCompare::ProgressFn& m_progress;
    std::vector<NameMatcher> m_include, m_exclude;
    CompareResult m_result;
    CompareProgress m_state;
    std::chrono::steady_clock::time_point m_lastReport{};
};

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// Reads as much as fits, up to size; 0 at the end of the file, or a negative errno.
ssize_t readUpTo(int fd, char* buf, size_t size) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buf + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -errno;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

}  // namespace

std::string CompareRow::leftPath(const CompareOptions& o) const {
    const std::string folder = dir.empty() ? o.left : paths::join(o.left, dir);
    return paths::join(folder, left.present() ? left.name : right.name);
}

std::string CompareRow::rightPath(const CompareOptions& o) const {
    const std::string folder = dir.empty() ? o.right : paths::join(o.right, dir);
    return paths::join(folder, right.present() ? right.name : left.name);
}

CompareResult FolderCompare::run(const CompareOptions& options, const std::atomic<bool>* cancel,
                                 const ProgressFn& progress) {
    return Comparer(options, cancel, progress).run();
}

CompareKind FolderCompare::byNameSizeTime(const CompareItem& left, const CompareItem& right,
                                          std::int64_t toleranceNs) {
    if (left.isDir != right.isDir) return CompareKind::Differs;
    if (left.isDir) return CompareKind::Same;
    const std::int64_t skew = left.mtimeNs - right.mtimeNs;
    if (skew > toleranceNs) return CompareKind::NewerLeft;
    if (skew < -toleranceNs) return CompareKind::NewerRight;
    return left.size == right.size ? CompareKind::Same : CompareKind::Differs;
}

SyncAction FolderCompare::defaultAction(CompareKind kind, bool mirror) {
    switch (kind) {
        case CompareKind::OnlyLeft:
            return SyncAction::CopyRight;
        case CompareKind::OnlyRight:
            return mirror ? SyncAction::DeleteRight : SyncAction::CopyLeft;
        case CompareKind::NewerLeft:
            return SyncAction::CopyRight;
        case CompareKind::NewerRight:
            return mirror ? SyncAction::CopyRight : SyncAction::CopyLeft;
        case CompareKind::Differs:
            return mirror ? SyncAction::CopyRight : SyncAction::Nothing;
        case CompareKind::Same:
            break;
    }
    return SyncAction::Nothing;
}

int FolderCompare::sameContent(const std::string& a, const std::string& b, const std::atomic<bool>* cancel,
                               std::uint64_t& bytesRead) {
    const Fd fa{::open(a.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)};
    if (fa.fd < 0) return -errno;
    const Fd fb{::open(b.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)};
    if (fb.fd < 0) return -errno;
    constexpr size_t kChunk = 256 * 1024;
    const auto buf = std::make_unique<char[]>(2 * kChunk);
    char* ba = buf.get();
    char* bb = buf.get() + kChunk;
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return -ECANCELED;
        const ssize_t na = readUpTo(fa.fd, ba, kChunk);
        if (na < 0) return static_cast<int>(na);
        const ssize_t nb = readUpTo(fb.fd, bb, kChunk);
        if (nb < 0) return static_cast<int>(nb);
        bytesRead += static_cast<std::uint64_t>(na + nb);
        if (na != nb || std::memcmp(ba, bb, static_cast<size_t>(na)) != 0) return 0;
        if (na == 0) return 1;
    }
}

}  // namespace kv
