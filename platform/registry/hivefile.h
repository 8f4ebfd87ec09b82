#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The hive file's operations on the filesystem, for POSIX and for Windows. Paths are UTF-8.
namespace kv::hivefile {

// Device, file number, size and times: what changes when the file is replaced or edited. A file
// number of 0 means the filesystem gave none that can be trusted (some network and FAT volumes on
// Windows); such a file is never taken for one read before.
using FileIdentity = std::array<std::uint64_t, 8>;

// Whether a file of identity `now` is the file read before as `last`, unchanged since.
bool sameFile(const FileIdentity& last, const FileIdentity& now);

enum class ReadResult { Ok, Unchanged, Missing, Failed, NotRegular, TooLarge };

// Reads the file at `path` when it is a regular file of at most `maxSize` bytes, unless `unchanged`
// recognises its identity. Anything else (a pipe, a device, a folder) is never opened for reading, so
// that nothing at the path can block the caller or feed it without end.
ReadResult read(const std::string& path, std::uint64_t maxSize,
                const std::function<bool(const FileIdentity&)>& unchanged, FileIdentity& identity,
                std::string& text);

// Runs `body` holding the advisory lock on `lockPath`, waiting for another holder at most `wait`;
// false, without running `body`, when the lock was not taken.
bool underLock(const std::string& lockPath, std::chrono::milliseconds wait,
               const std::function<void()>& body);

// Where a change of `path` is written: the path itself, or the regular file a link there leads to,
// so that a link the user made stays a link. Nothing when the path holds something a write must not
// replace: a pipe, a device, a folder, a link to one of them, or a link that leads nowhere.
std::optional<std::string> targetOf(const std::string& path);

bool createFolderOf(const std::string& path);

// Replaces the file at `target` (from targetOf) by `text` atomically: a flushed temporary file
// renamed over it, after the old file is kept as "<target>.corrupt-<UTC time>" when `keepOldAside`.
// Removes the temporary files of writers killed before their rename first; call it under the lock.
bool replace(const std::string& target, std::string_view text, bool keepOldAside);

}  // namespace kv::hivefile
