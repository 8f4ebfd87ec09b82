#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/fs/listing/rowstore.h"

namespace kv {

// The filter typed over a folder's rows: a row stays when its base name holds the text (case and
// accents ignored), or matches it as a whole-name pattern when the text has * or ?. Each keystroke
// makes a new test; the folded forms of names that are not ASCII are kept between them, so typing in
// a 100,000-row folder folds each such name once, and ASCII names are compared in place.
class NameFilter {
  public:
    NameFilter();

    // The store's filter for the text; null (show everything) for an empty text.
    RowStore::Filter predicate(const std::string& text);
    // A new folder: its names are others.
    void forgetNames();
    // The folded forms of the names that need one (not ASCII), worked out on any thread ahead of the
    // first keystroke, and kept (UI thread).
    using Folded = std::vector<std::pair<std::string, std::string>>;
    static Folded foldNames(const std::vector<DirEntry>& entries);
    void keep(Folded&& folded);

    static std::string_view baseName(std::string_view name) {
        const std::size_t slash = name.rfind('/');
        return slash == std::string_view::npos ? name : name.substr(slash + 1);
    }

    // Looked up by a name's view: a keystroke tests every accented name, and a key made for each would
    // cost an allocation apiece.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using FoldedMap = std::unordered_map<std::string, std::string, NameHash, std::equal_to<>>;

  private:
    // Shared with the predicates made, which may outlive a forgetNames(); UI thread only.
    std::shared_ptr<FoldedMap> m_folded;
};

}  // namespace kv
