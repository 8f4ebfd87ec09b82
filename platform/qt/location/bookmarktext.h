#pragma once

#include <QString>

namespace kv::BookmarkText {

// A bookmarks file is another program's and may hold thousands of lines or a label of a megabyte: the
// menu and the editor show the first ones, each label cut to a length a menu can show.
constexpr int kMaxShown = 200;
constexpr qsizetype kMaxLabel = 80;

// The text cut in its middle to kMaxLabel characters.
QString shortLabel(const QString& text);

}  // namespace kv::BookmarkText
