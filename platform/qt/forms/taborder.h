#pragma once

#include <utility>
#include <vector>

class QWidget;

namespace kv {

// The keyboard focus order of one window: its controls by tab index. Tab and Shift+Tab go from the
// control holding the focus to the next one that is shown and enabled, round the end; a browser view
// gives the focus to its list or page.
class TabOrder {
  public:
    // (tab index, widget) of each control that takes part.
    explicit TabOrder(std::vector<std::pair<int, QWidget*>> entries);

    // The widget that gets the focus after (or before) the one holding it in `window`; null when the
    // focus is in none of the entries or no other entry can take it.
    QWidget* next(const QWidget* window, bool forward) const;

  private:
    std::vector<std::pair<int, QWidget*>> m_entries;
};

}  // namespace kv
