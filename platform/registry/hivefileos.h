#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// The few file operations of the hive file that differ between POSIX (hivefileposix.cpp) and Windows
// (hivefilewindows.cpp); hivefile.cpp builds the rest of kv::hivefile on them. Paths are UTF-8.
namespace kv::hivefile::detail {

// The characters that end a folder's part of a path.
extern const char* const kPathSeparators;

// The folder part of `path`; empty when it has none. (In hivefile.cpp.)
std::string folderOf(const std::string& path);

// Waits for the lock in short steps, so that a program holding it for long cannot freeze the caller.
// `tryLock` answers 1 when it took the lock, 0 when another holds it, -1 when it cannot be taken.
template <typename TryLock>
bool lockWithin(std::chrono::milliseconds wait, TryLock&& tryLock) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        switch (tryLock()) {
            case 1:
                return true;
            case -1:
                return false;
            default:
                break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::filesystem::path fsPath(const std::string& s);

// The names in a folder.
std::vector<std::string> namesIn(const std::string& folder);

// Removes a temporary file of ours unless a writer still holds it.
void removeIfAbandoned(const std::string& path);

// Writes `text` to a flushed temporary file beside `target`, then, when `beforeRename` agrees,
// renames it over `target`. The temporary file is removed when any step fails.
bool writeAndRename(const std::string& target, std::string_view text,
                    const std::function<bool()>& beforeRename);

enum class KeepResult { Done, NameTaken, Failed };

// Keeps the file at `path` also (or, where links are not supported, only) as `target`.
KeepResult keepAs(const std::string& path, const std::string& target);

// Makes a rename in `folder` durable.
void syncFolder(const std::string& folder);

std::tm utcNow();

}  // namespace kv::hivefile::detail
