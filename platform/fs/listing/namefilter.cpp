#include "platform/fs/listing/namefilter.h"

#include "platform/fs/listing/namematcher.h"

namespace kv {

NameFilter::NameFilter() : m_folded(std::make_shared<FoldedMap>()) {}

void NameFilter::forgetNames() {
    m_folded = std::make_shared<FoldedMap>();
}

NameFilter::Folded NameFilter::foldNames(const std::vector<DirEntry>& entries) {
    Folded out;
    for (const DirEntry& e : entries) {
        const std::string_view base = baseName(e.name);
        // The form a case-insensitive matcher prepares, which is what the filter is.
        if (!NameMatcher::isAscii(base)) out.emplace_back(std::string(base), NameMatcher::fold(base));
    }
    return out;
}

void NameFilter::keep(Folded&& folded) {
    for (auto& [name, form] : folded) m_folded->try_emplace(std::move(name), std::move(form));
}

RowStore::Filter NameFilter::predicate(const std::string& text) {
    if (text.empty()) return {};
    auto matcher = std::make_shared<NameMatcher>(text, NameMatcher::autoMode(text), false);
    return [matcher, folded = m_folded](const DirEntry& e) {
        const std::string_view base = baseName(e.name);
        if (!matcher->needsPrepared(base)) return matcher->matches(base);
        auto it = folded->find(base);
        if (it == folded->end()) it = folded->emplace(std::string(base), matcher->prepared(base)).first;
        return matcher->matchesPrepared(it->second);
    };
}

}  // namespace kv
