#include "platform/qt/location/bookmarktext.h"

namespace kv::BookmarkText {

QString shortLabel(const QString& text) {
    if (text.size() <= kMaxLabel) return text;
    const qsizetype half = (kMaxLabel - 1) / 2;
    return text.left(half) + QChar(0x2026) + text.right(half);
}

}  // namespace kv::BookmarkText
