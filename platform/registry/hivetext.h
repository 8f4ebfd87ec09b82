#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The text a hive is read from and written as: the registry's export format, whose lines Hive
// (hive.h) describes. This knows the lines; Hive keeps the keys they stand for.
namespace kv::hivetext {

// Names compare without regard to (ASCII) case.
bool sameName(std::string_view a, std::string_view b);
// Whether a key or value name can be written and read back as the same name: UTF-8 without control
// characters.
bool canHoldName(std::string_view name);

// A section's key path, its root spelled as the registry spells it; false when there is no key to
// hold the values that follow, which makes them an error.
using SectionRead = std::function<bool(const std::vector<std::string>& path)>;
// A value of the section read last.
using ValueRead = std::function<void(std::string_view name, std::uint32_t type, std::string data)>;

// Reads `text` line by line, handing out each section and each value in the order of the text. False
// as soon as a line is not one a hive holds, or a path has more than `maxDepth` levels; what was handed
// out until then is to be thrown away.
bool read(std::string_view text, std::size_t maxDepth, const SectionRead& onSection,
          const ValueRead& onValue);

// The first lines of the text: the format's header and a comment for the reader.
void appendHeader(std::string& out);
// A section's line, for a key of the full path `path`.
void appendSection(std::string& out, std::string_view path);
// A value's line (or lines, for long binary data).
void appendValue(std::string& out, std::string_view name, std::uint32_t type, std::string_view data);

}  // namespace kv::hivetext
