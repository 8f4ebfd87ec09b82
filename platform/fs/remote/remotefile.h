#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kv::remotefile {

// One file on a server, read whole by a worker thread (a preview's picture): these calls block until
// the server answers, never on the UI thread.
struct Info {
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // seconds
    bool regular = false;
};

// What the server says of the file at a location's text; nothing when it can't be asked.
std::optional<Info> info(const std::string& location);
// The file's bytes when it has at most limit of them; nothing when it is larger or can't be read.
std::optional<std::string> read(const std::string& location, std::uint64_t limit);

}  // namespace kv::remotefile
