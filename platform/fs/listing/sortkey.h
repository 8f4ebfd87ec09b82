#pragma once

#include <string>
#include <string_view>

namespace kv {

// Turns a file name into a byte string whose plain bytewise order is the order people expect in a
// folder: case and accents folded ("Émile" next to "emile"), runs of digits compared as numbers
// ("file2" before "file10"). Computing it once per entry, on the lister thread, keeps sorting 100,000
// rows a matter of memcmp. Equal keys ("a01" and "a1", "A" and "a") are told apart by the raw name.
class SortKey {
  public:
    static std::string make(std::string_view name);

    // The folded, accent-free form without the digit encoding; also used for case-only clash checks.
    static std::string fold(std::string_view name);

    // The extension used by the "type" column: the part after the last dot, folded; empty for
    // "README" and for hidden files without a further dot (".bashrc").
    static std::string extension(std::string_view name);
};

}  // namespace kv
