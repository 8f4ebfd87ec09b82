#include "platform/qt/tabs/sessionkeeper.h"

#include <QCoreApplication>
#include <QEvent>

#include "platform/qt/preferences/preferences.h"
#include "platform/qt/tabs/browsertabs.h"

namespace kv {

namespace {

constexpr int kSaveDelayMs = 1000;

}  // namespace

SessionKeeper& SessionKeeper::shared() {
    static auto* keeper = new SessionKeeper(SessionFile::defaultPath(), qApp);
    return *keeper;
}

SessionKeeper::SessionKeeper(QString path, QObject* parent) : QObject(parent), m_path(std::move(path)) {
    m_later.setSingleShot(true);
    m_later.setInterval(kSaveDelayMs);
    connect(&m_later, &QTimer::timeout, this, &SessionKeeper::save);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &SessionKeeper::save);
    // Turned on, the session is kept from now on.
    connect(&Preferences::shared(), &Preferences::changed, this, [this] {
        if (wanted()) m_later.start();
    });
}

bool SessionKeeper::wanted() const {
    return Preferences::shared().restoreTabs();
}

QString SessionKeeper::keyOf(const BrowserTabs& pane) {
    const QWidget* window = pane.window();
    return (window ? window->objectName() : QString()) + QLatin1Char('/') + pane.objectName();
}

void SessionKeeper::add(BrowserTabs& pane) {
    m_live << &pane;
    pane.installEventFilter(this);
    connect(&pane, &BrowserTabs::changed, this, [this] {
        if (wanted()) m_later.start();
    });
    connect(&pane, &BrowserTabs::aboutToGo, this, [this, &pane] {
        keep(pane);
        m_live.removeAll(&pane);
        if (wanted()) save();
    });
}

bool SessionKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        auto* pane = static_cast<BrowserTabs*>(watched);
        pane->removeEventFilter(this);
        // After the window's own start has put the pane where it starts.
        QTimer::singleShot(0, pane, [this, pane] { restore(*pane); });
    }
    return false;
}

void SessionKeeper::readOnce() {
    if (m_read) return;
    m_read = true;
    for (auto& [key, saved] : SessionFile::read(m_path)) m_panes.try_emplace(key, std::move(saved));
}

void SessionKeeper::restore(BrowserTabs& pane) {
    // Shown once, a pane is what it shows from then on, whether restored or not.
    const QString key = keyOf(pane);
    if (m_restored.contains(key)) return;
    m_restored.insert(key);
    if (!wanted()) return;
    readOnce();
    const auto it = m_panes.find(key);
    if (it != m_panes.end()) pane.restore(it->second.tabs, it->second.current);
}

void SessionKeeper::keep(const BrowserTabs& pane) {
    const QString key = keyOf(pane);
    // A pane never shown (its window made ahead, or not opened in this run) leaves the file's as they were.
    if (!m_restored.contains(key)) return;
    m_panes[key] = {pane.states(), pane.currentIndex()};
}

void SessionKeeper::save() {
    m_later.stop();
    if (!wanted()) return;
    readOnce();
    for (const QPointer<BrowserTabs>& pane : m_live)
        if (pane) keep(*pane);
    SessionFile::write(m_path, m_panes);
}

}  // namespace kv
