#include "platform/qt/web/webview.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QShortcut>

#include "platform/qt/pane/windowpanes.h"
#include "platform/qt/web/webdropguard.h"
#include "platform/qt/web/webfindbar.h"
#include "platform/qt/web/webmenu.h"
#include "platform/qt/web/webpage.h"

namespace kv {

WebView::WebView(QWidget* parent) : QWebEngineView(parent), m_guard(new WebDropGuard(this)) {
    setObjectName("webView");
    const std::pair<QKeySequence, std::function<void()>> keys[] = {
        {QKeySequence(Qt::Key_F5), [this] { reload(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_R), [this] { reload(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_F), [this] { showFind(); }},
        {QKeySequence(Qt::Key_F3),
         [this] {
             showFind();
             m_find->find(false);
         }},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Y),
         [this] {
             if (m_showDownloads) m_showDownloads();
         }},
        {QKeySequence(Qt::SHIFT | Qt::Key_F3),
         [this] {
             showFind();
             m_find->find(true);
         }},
    };
    for (const auto& [sequence, run] : keys) {
        auto* shortcut = new QShortcut(sequence, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, run);
    }
}

WebPage* WebView::webPage() const {
    return qobject_cast<WebPage*>(page());
}

BrowserPane* WebView::browserPane() const {
    return WindowPanes::browserAround(this);
}

void WebView::showFind() {
    if (!m_find) m_find = new WebFindBar(this);
    m_find->open();
}

void WebView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = WebMenu::create(
        *this, m_guard, [this] { showFind(); }, m_showDownloads);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void WebView::resizeEvent(QResizeEvent* event) {
    QWebEngineView::resizeEvent(event);
    if (m_find && m_find->isVisible()) m_find->place();
}

}  // namespace kv
