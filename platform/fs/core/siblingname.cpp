#include "platform/fs/core/siblingname.h"

namespace kv::paths {

namespace {
constexpr std::size_t kSiblingNameMax = 255;
}

std::string siblingName(std::string_view name, bool isDir, std::string_view word,
                        const std::function<bool(const std::string&)>& taken) {
    const std::size_t stemEnd = stemLength(name, isDir);
    const std::string_view stem = name.substr(0, stemEnd);
    const std::string_view ext = name.substr(stemEnd);
    for (int n = 1;; ++n) {
        std::string suffix = " (";
        suffix += word;
        if (n > 1) suffix.append(" ").append(std::to_string(n));
        suffix += ")";
        std::string_view s = stem;
        if (s.size() + suffix.size() + ext.size() > kSiblingNameMax)
            s = s.substr(0, kSiblingNameMax > suffix.size() + ext.size()
                                ? kSiblingNameMax - suffix.size() - ext.size()
                                : 0);
        std::string candidate = std::string(s) + suffix + std::string(ext);
        if (!taken(candidate)) return candidate;
    }
}

}  // namespace kv::paths
