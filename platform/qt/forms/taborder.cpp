#include "platform/qt/forms/taborder.h"

#include <QWidget>
#include <algorithm>

#include "platform/qt/tabs/browsertabs.h"

namespace kv {

TabOrder::TabOrder(std::vector<std::pair<int, QWidget*>> entries) : m_entries(std::move(entries)) {
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

QWidget* TabOrder::next(const QWidget* window, bool forward) const {
    const QWidget* focus = window->focusWidget();
    const auto holder = std::find_if(m_entries.begin(), m_entries.end(), [focus](const auto& entry) {
        return focus && (focus == entry.second || entry.second->isAncestorOf(focus));
    });
    if (holder == m_entries.end()) return nullptr;
    const auto n = static_cast<std::ptrdiff_t>(m_entries.size());
    const std::ptrdiff_t at = holder - m_entries.begin();
    for (std::ptrdiff_t step = 1; step < n; ++step) {
        QWidget* candidate =
            m_entries[static_cast<size_t>(((forward ? at + step : at - step) % n + n) % n)].second;
        if (!candidate->isVisibleTo(window) || !candidate->isEnabled()) continue;
        QWidget* target = candidate;
        if (auto* tabs = qobject_cast<BrowserTabs*>(candidate)) target = tabs->focusTarget();
        if (target && target->isVisibleTo(window)) return target;
    }
    return nullptr;
}

}  // namespace kv
