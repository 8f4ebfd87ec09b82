#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/nameindex.h"

namespace kv {

// A registry branch held in memory, read from and written as the registry's export text
// ("Windows Registry Editor Version 5.00", [ROOT\path] sections, "Name"=data lines).
//
// Our hive is UTF-8 text and means by its lines:
//   "Name"="text"   a string value (REG_SZ) holding exactly the UTF-8 bytes of text, with no
//                   terminating NUL. This is what the settings store writes, so a person reading the
//                   file sees every setting as plain text.
//   "Name"=dword:x  a 32-bit number, eight hex digits.
//   "Name"=hex:..   binary data; "Name"=hex(N):.. the exact stored bytes of a value of type N (given in
//                   hex). Used for every value that a plain line cannot carry exactly: a string with a
//                   terminator or an inner NUL, control characters or bytes that are not UTF-8, and
//                   every other type.
//   @=...           the key's unnamed value.
// Key paths and value names compare without regard to (ASCII) case and keep the case that created
// them.
//
// Any text may reach parse(), so reading and writing take time and space in step with the text: each
// key indexes its children by folded name, a key is written once under its full path (the keys above
// it are implied by that path), and nesting stops at the registry's own limit.
class Hive {
  public:
    // Levels a path may have, its root included, as the registry allows; deeper text does not parse
    // and deeper keys are not created, so that everything written reads back.
    static constexpr std::size_t kMaxDepth = 512;

    struct Value {
        std::string name;
        std::uint32_t type = 0;
        std::string data;
    };

    // Nothing when the text is not a hive this class can read exactly; such a file must not be
    // rewritten from a partial reading.
    static std::optional<Hive> parse(std::string_view text);
    std::string format() const;

    // A path starts with the root's name: {"HKEY_CURRENT_USER", "Software", "Kestrovan1.1"}.
    bool hasKey(const std::vector<std::string>& path) const;
    // True when a key was added (the file needs writing); false too for a path deeper than kMaxDepth.
    bool createKey(const std::vector<std::string>& path);
    const Value* findValue(const std::vector<std::string>& path, std::string_view name) const;
    // False when the key does not exist.
    bool setValue(const std::vector<std::string>& path, std::string_view name, std::uint32_t type,
                  std::string data);

    static bool sameName(std::string_view a, std::string_view b);
    // Whether a key or value name can be written to the file and read back as the same name: UTF-8
    // without control characters.
    static bool canHoldName(std::string_view name);

  private:
    struct Key {
        std::string name;
        std::vector<Value> values;
        std::vector<Key> subkeys;
        NameIndex valueIndex;   // positions in values
        NameIndex subkeyIndex;  // positions in subkeys
    };

    const Key* findKey(const std::vector<std::string>& path) const;
    Key* findKey(const std::vector<std::string>& path);
    // Nothing for an empty path or one deeper than kMaxDepth.
    Key* obtainKey(const std::vector<std::string>& path, bool* added);
    static const Key* findSubkey(const Key& key, std::string_view name);
    static void setValueOf(Key& key, std::string_view name, std::uint32_t type, std::string data);
    static void formatSection(const Key& key, const std::string& path, bool isRoot, std::string& out);

    // Holds the roots as its subkeys.
    Key m_top;
};

}  // namespace kv
