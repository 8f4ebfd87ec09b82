#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv {

// How two items of the same name (or an item without a partner) stand.
enum class CompareKind { OnlyLeft, OnlyRight, NewerLeft, NewerRight, Same, Differs };
// What a synchronization does with a row.
enum class SyncAction { Nothing, CopyRight, CopyLeft, DeleteLeft, DeleteRight };

struct CompareOptions {
    std::string left, right;  // the two folders
    bool byContent = false;   // files of equal size are read and compared byte by byte
    bool recursive = true;    // into the folders both sides have
    bool ignoreCase = false;  // "A.txt" and "a.txt" are the same item
    // Wildcards separated by ';' (letter case ignored): include matches files only (empty: all),
    // exclude files and folders.
    std::string include, exclude;
    // One way, left to right: the right is made like the left (what only the right has is deleted).
    bool mirror = false;
    // Times closer than this count as equal (FAT keeps them to 2 seconds).
    std::int64_t toleranceNs = 2'000'000'000;
};

// One side of a row.
struct CompareItem {
    std::string name;  // empty: the side has no such item
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    bool isDir = false;
    bool present() const { return !name.empty(); }
};

// A row "left item · action · right item". A folder only one side has is one row (copied or deleted
// whole); folders both sides have give no row of their own.
struct CompareRow {
    std::string dir;  // the folder of the row, relative to both sides ("" or "a/b")
    CompareItem left, right;
    CompareKind kind = CompareKind::Same;
    SyncAction action = SyncAction::Nothing;

    // The item's path on each side; for the side without it, where a copy would go.
    std::string leftPath(const CompareOptions& o) const;
    std::string rightPath(const CompareOptions& o) const;
};

struct CompareProgress {
    std::uint64_t folders = 0;        // folder pairs read
    std::uint64_t items = 0;          // rows made
    std::uint64_t bytesCompared = 0;  // by content
    std::string current;              // the folder or file being read (relative)
};

struct CompareResult {
    std::vector<CompareRow> rows;  // folder by folder, names in byte order
    // Folders that could not be read: the relative path and the errno.
    std::vector<std::pair<std::string, int>> errors;
    bool cancelled = false;
};

// Compares two folder trees: each pair of folders is read with FolderLister, its entries sorted by
// name (folded when case is ignored) and merged. Runs on the caller's thread (a thread of its own
// in the UI); progress is called now and then on that thread, and cancel is looked at between files.
class FolderCompare {
  public:
    using ProgressFn = std::function<void(const CompareProgress&)>;

    static CompareResult run(const CompareOptions& options, const std::atomic<bool>* cancel = nullptr,
                             const ProgressFn& progress = {});

    // How two present items stand by name, size and time (no content read).
    static CompareKind byNameSizeTime(const CompareItem& left, const CompareItem& right,
                                      std::int64_t toleranceNs);
    // The default action of a kind: the newer file is copied over the older, a one-sided item copied
    // to the other side; mirror makes the right like the left.
    static SyncAction defaultAction(CompareKind kind, bool mirror);
    // Whether two files have the same bytes: 1 when they have, 0 when not, or a negative errno.
    static int sameContent(const std::string& a, const std::string& b, const std::atomic<bool>* cancel,
                           std::uint64_t& bytesRead);
};

}  // namespace kv
