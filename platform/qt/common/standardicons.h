#pragma once

#include <QIcon>
#include <QStyle>

namespace kv {

// The style's and the theme's icons, made once per process: every browser view puts the same few on
// its bars and menus, and the style renders a standard icon anew on each call (a few milliseconds
// for a window of panes). Call on the UI thread only.
class StandardIcons {
  public:
    static QIcon standard(QStyle::StandardPixmap which);
    // The theme's icon of that name, or the style's standard icon when the theme has none.
    static QIcon themed(const QString& name, QStyle::StandardPixmap fallback);
};

}  // namespace kv
