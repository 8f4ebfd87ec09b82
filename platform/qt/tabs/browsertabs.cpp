#include "platform/qt/tabs/browsertabs.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/fs/core/background.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/common/shownpart.h"
#include "platform/qt/dragdrop/dropdecision.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/pane/windowpanes.h"
#include "platform/qt/tabs/tabstrip.h"

namespace kv {

namespace {

// The tabs closed that can be reopened, the latest kept.
constexpr size_t kClosedKept = 25;

}  // namespace

BrowserTabs::BrowserTabs(const PaneServices& services, PaneRole role, QWidget* parent)
    : QWidget(parent),
      m_services(services),
      m_role(role),
      m_strip(new TabStrip(this)),
      m_stack(new QStackedWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_strip);
    layout->addWidget(m_stack, 1);
    m_strip->hide();
    // The window may place the pane partly outside itself: the tabs fit the part it shows.
    auto* shown = new ShownPart(this);
    layout->setContentsMargins(shown->hidden());
    connect(shown, &ShownPart::changed, this,
            [layout](QMargins hidden) { layout->setContentsMargins(hidden); });

    BrowserView* first = makeView();
    m_tabs.push_back({first, {}});
    m_strip->addTab(QString());
    m_stack->addWidget(first);

    connect(m_strip, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0 && index != m_current && index < count()) show(index);
    });
    connect(m_strip, &QTabBar::tabMoved, this, [this](int from, int to) {
        Tab moved = std::move(m_tabs[static_cast<size_t>(from)]);
        m_tabs.erase(m_tabs.begin() + from);
        m_tabs.insert(m_tabs.begin() + to, std::move(moved));
        m_current = m_strip->currentIndex();
        emit changed();
    });
    connect(m_strip, &TabStrip::closeRequested, this, &BrowserTabs::closeTab);
    connect(m_strip, &TabStrip::newTabRequested, this, [this] { openTab({}, false); });
    connect(m_strip, &TabStrip::menuRequested, this, &BrowserTabs::showMenu);
    connect(m_strip, &TabStrip::tabArrived, this, [this](TabStrip* from, int fromIndex, int at, bool copy) {
        BrowserTabs* source = around(from);
        if (!source || source == this || fromIndex >= source->count()) return;
        insertTab(source->stateAt(fromIndex), at, false);
        if (!copy) source->removeTab(fromIndex, false);
    });
    connect(m_strip, &TabStrip::filesDropped, this, &BrowserTabs::dropFiles);

    const std::pair<QKeySequence, std::function<void()>> keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_T), [this] { openTab({}, false); }},
        {QKeySequence(Qt::CTRL | Qt::Key_W), [this] { closeTab(m_current); }},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T), [this] { reopenClosed(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_Tab), [this] { step(1); }},
        {QKeySequence(Qt::CTRL | Qt::Key_PageDown), [this] { step(1); }},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), [this] { step(-1); }},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), [this] { step(-1); }},
        {QKeySequence(Qt::CTRL | Qt::Key_PageUp), [this] { step(-1); }},
    };
    for (const auto& [sequence, run] : keys) {
        auto* shortcut = new QShortcut(sequence, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, run);
    }
    // Alt+1…8 go to a tab by its place, Alt+9 to the last, as in web browsers.
    for (int n = 1; n <= 9; ++n) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_0 + n)), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this,
                [this, n] { setCurrent(n == 9 ? count() - 1 : n - 1); });
    }
}

BrowserTabs::~BrowserTabs() {
    emit aboutToGo();
}

BrowserTabs* BrowserTabs::around(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget())
        if (auto* tabs = qobject_cast<BrowserTabs*>(const_cast<QWidget*>(widget))) return tabs;
    return nullptr;
}

BrowserView* BrowserTabs::current() const {
    return m_tabs[static_cast<size_t>(m_current)].view;
}

QWidget* BrowserTabs::focusTarget() const {
    return current()->focusTarget();
}

BrowserView* BrowserTabs::makeView() {
    auto* view = new BrowserView(m_services, m_stack);
    WindowPanes::setRole(*view, m_role);
    connect(view, &BrowserView::locationChanged, this, [this, view] {
        for (int i = 0; i < count(); ++i)
            if (m_tabs[static_cast<size_t>(i)].view == view) updateTab(i);
        emit changed();
    });
    connect(view, &BrowserView::tabWanted, this,
            [this](const Location& where, bool background) { openTab(where, background); });
    return view;
}

BrowserView* BrowserTabs::viewAt(int index) {
    Tab& tab = m_tabs[static_cast<size_t>(index)];
    if (tab.view) return tab.view;
    tab.view = makeView();
    m_stack->addWidget(tab.view);
    tab.view->setLocked(tab.pending.locked);
    const BrowseHistory::Step* here = tab.pending.history.here();
    if (!tab.pending.fromSession || !here || !here->where.folder || !here->where.path.startsWith('/')) {
        TabState state = std::exchange(tab.pending, {});
        tab.view->restore(std::move(state.history));
        applyView(tab.view, state);
        return tab.view;
    }
    // A folder that is gone since the session was kept shows as its nearest parent, which the tab says.
    tab.waiting = true;
    const QByteArray path = here->where.path;
    QPointer<BrowserView> view(tab.view);
    runInBackground(
        this, [path] { return pathtext::nearestFolder(path); },
        [this, view, path](const QByteArray& found) {
            const auto it =
                std::find_if(m_tabs.begin(), m_tabs.end(), [&](const Tab& t) { return t.view == view; });
            if (!view || it == m_tabs.end()) return;
            TabState state = std::exchange(it->pending, {});
            it->waiting = false;
            if (found != path) {
                Location where;
                where.folder = true;
                where.path = found;
                state.history.push(where);
                state.selection.clear();
                state.scroll = 0;
            }
            view->restore(std::move(state.history));
            applyView(view, state);
            if (found != path)
                view->folderView()->showBanner(tr("“%1” no longer exists; showing the folder that held it.")
                                                   .arg(NameText::shown(path.toStdString())));
        });
    return tab.view;
}

const TabState* BrowserTabs::pendingOf(int index) const {
    const Tab& tab = m_tabs[static_cast<size_t>(index)];
    return !tab.view || tab.waiting ? &tab.pending : nullptr;
}

void BrowserTabs::applyView(BrowserView* view, const TabState& state) {
    FolderView* folder = view->folderView();
    if (state.mode >= 0) folder->setMode(static_cast<FolderView::Mode>(state.mode));
    if (state.sortColumn >= 0) folder->sortBy(state.sortColumn, state.sortOrder);
    if (state.selection.isEmpty() && state.scroll <= 0) return;
    // The selection and the scroll position once the folder is listed.
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(folder->model(), &FolderModel::listed, folder,
                    [folder, once, selection = state.selection, scroll = state.scroll](int error) {
                        QObject::disconnect(*once);
                        if (error != 0) return;
                        QItemSelection chosen;
                        for (const QByteArray& name : selection) {
                            const int row = folder->model()->rowOfName(name);
                            if (row < 0) continue;
                            chosen.select(folder->model()->index(row, 0),
                                          folder->model()->index(row, folder->model()->columnCount() - 1));
                        }
                        QItemSelectionModel* model = folder->currentView()->selectionModel();
                        if (!chosen.isEmpty()) model->select(chosen, QItemSelectionModel::ClearAndSelect);
                        folder->currentView()->verticalScrollBar()->setValue(scroll);
                    });
}

void BrowserTabs::show(int index) {
    index = std::clamp(index, 0, count() - 1);
    const QWidget* focus = QApplication::focusWidget();
    const bool hadFocus = focus && (focus == this || isAncestorOf(focus));
    BrowserView* view = viewAt(index);
    if (index != m_current) m_behind = 0;
    m_current = index;
    m_stack->setCurrentWidget(view);
    if (m_strip->currentIndex() != index) m_strip->setCurrentIndex(index);
    if (hadFocus)
        if (QWidget* target = view->focusTarget()) target->setFocus(Qt::TabFocusReason);
    emit changed();
}

void BrowserTabs::setCurrent(int index) {
    if (index < 0 || index >= count() || index == m_current) return;
    show(index);
}

void BrowserTabs::step(int by) {
    if (count() < 2) return;
    setCurrent(((m_current + by) % count() + count()) % count());
}

QString BrowserTabs::titleAt(int index) const {
    const Tab& tab = m_tabs[static_cast<size_t>(index)];
    if (const TabState* pending = pendingOf(index)) return pending->title();
    if (!tab.view->showsFolder()) return tab.view->locationName();  // the page's title
    TabState state;
    state.history = tab.view->history();
    return state.title();
}

QString BrowserTabs::locationAt(int index) const {
    const Tab& tab = m_tabs[static_cast<size_t>(index)];
    if (const TabState* pending = pendingOf(index)) return pending->locationText();
    TabState state;
    state.history = tab.view->history();
    return state.locationText();
}

void BrowserTabs::updateTab(int index) {
    const QString title = titleAt(index);
    m_strip->setTabText(index, QString(title).replace('&', QLatin1String("&&")));
    m_strip->setTabToolTip(index, locationAt(index));
    static const QIcon lock = QIcon::fromTheme("object-locked", QIcon::fromTheme("system-lock-screen"));
    m_strip->setTabIcon(index, isLocked(index) ? lock : QIcon());
}

void BrowserTabs::updateStrip() {
    m_strip->setVisible(count() > 1);
    for (int i = 0; i < count(); ++i) updateTab(i);
}

int BrowserTabs::openTab(const Location& where, bool background) {
    TabState state;
    const BrowserView* from = current();
    Location to = where;
    if (!to.folder && to.address.isEmpty()) {
        const BrowseHistory history = from->history();
        if (history.empty()) return m_current;
        to = history.here()->where;
    }
    state.history.push(to);
    // A new tab shows its folder as the tab it came from does.
    state.mode = static_cast<int>(from->folderView()->mode());
    state.sortColumn = static_cast<int>(from->folderView()->model()->sortColumn());
    state.sortOrder = from->folderView()->model()->sortOrder();
    return insertTab(std::move(state), -1, background);
}

int BrowserTabs::insertTab(TabState state, int index, bool background) {
    // Tabs opened behind the current one follow each other in the order they were opened.
    if (index < 0 || index > count()) {
        index = std::min(m_current + 1 + (background ? m_behind : 0), count());
        if (background) ++m_behind;
    }
    Tab tab;
    tab.pending = std::move(state);
    m_tabs.insert(m_tabs.begin() + index, std::move(tab));
    if (index <= m_current) ++m_current;
    {
        const QSignalBlocker block(m_strip);
        m_strip->insertTab(index, QString());
        m_strip->setCurrentIndex(m_current);
    }
    if (!background) {
        show(index);
    } else {
        viewAt(index);  // a tab opened behind starts listing now, to be ready when shown
    }
    updateStrip();
    emit changed();
    return index;
}

void BrowserTabs::closeTab(int index) {
    removeTab(index, true);
}

void BrowserTabs::removeTab(int index, bool keep) {
    if (count() < 2 || index < 0 || index >= count()) return;
    if (keep) {
        m_closed.push_back(stateAt(index));
        if (m_closed.size() > kClosedKept) m_closed.erase(m_closed.begin());
    }
    BrowserView* view = m_tabs[static_cast<size_t>(index)].view;
    const bool wasCurrent = index == m_current;
    m_tabs.erase(m_tabs.begin() + index);
    {
        const QSignalBlocker block(m_strip);
        m_strip->removeTab(index);
    }
    if (index < m_current || (wasCurrent && m_current >= count())) --m_current;
    if (wasCurrent)
        show(m_current);
    else
        m_strip->setCurrentIndex(m_current);
    if (view) {
        m_stack->removeWidget(view);
        view->hide();
        view->deleteLater();
    }
    updateStrip();
    emit changed();
}

void BrowserTabs::closeOthers(int index) {
    for (int i = count() - 1; i >= 0; --i)
        if (i != index) closeTab(i);
}

void BrowserTabs::closeToTheRight(int index) {
    for (int i = count() - 1; i > index; --i) closeTab(i);
}

int BrowserTabs::duplicate(int index) {
    TabState state = stateAt(index);
    return insertTab(std::move(state), index + 1, false);
}

void BrowserTabs::reopenClosed() {
    if (m_closed.empty()) return;
    TabState state = std::move(m_closed.back());
    m_closed.pop_back();
    insertTab(std::move(state), -1, false);
}

void BrowserTabs::setLocked(int index, bool locked) {
    Tab& tab = m_tabs[static_cast<size_t>(index)];
    if (tab.view) tab.view->setLocked(locked);
    tab.pending.locked = locked;
    updateTab(index);
    emit changed();
}

bool BrowserTabs::isLocked(int index) const {
    const Tab& tab = m_tabs[static_cast<size_t>(index)];
    return tab.view ? tab.view->locked() : tab.pending.locked;
}

void BrowserTabs::moveTab(int from, int to) {
    m_strip->moveTab(from, to);  // tabMoved keeps the tabs in step
}

TabState BrowserTabs::stateAt(int index) const {
    const Tab& tab = m_tabs[static_cast<size_t>(index)];
    if (const TabState* pending = pendingOf(index)) return *pending;
    TabState state;
    state.history = tab.view->history();
    state.locked = tab.view->locked();
    const FolderView* folder = tab.view->folderView();
    state.mode = static_cast<int>(folder->mode());
    state.sortColumn = static_cast<int>(folder->model()->sortColumn());
    state.sortOrder = folder->model()->sortOrder();
    if (tab.view->showsFolder() && !folder->isSearching()) {
        state.scroll = folder->currentView()->verticalScrollBar()->value();
        for (int row : folder->selectedRows())
            state.selection << QByteArray::fromStdString(folder->model()->entryAt(row).name);
    }
    return state;
}

QList<TabState> BrowserTabs::states() const {
    QList<TabState> all;
    for (int i = 0; i < count(); ++i) all << stateAt(i);
    return all;
}

void BrowserTabs::restore(const QList<TabState>& tabs, int currentIndex) {
    if (tabs.isEmpty()) return;
    currentIndex = std::clamp(currentIndex, 0, static_cast<int>(tabs.size()) - 1);
    // Every tab but the one shown goes; the one shown takes the current tab's place.
    while (count() > 1) removeTab(m_current == 0 ? 1 : 0, false);
    BrowserView* kept = m_tabs.front().view;
    m_stack->removeWidget(kept);
    kept->deleteLater();
    m_tabs.clear();
    {
        const QSignalBlocker block(m_strip);
        while (m_strip->count() > 0) m_strip->removeTab(0);
        for (TabState state : tabs) {
            state.fromSession = true;
            m_tabs.push_back({nullptr, std::move(state)});
            m_strip->addTab(QString());
        }
        m_strip->setCurrentIndex(currentIndex);
    }
    m_current = -1;
    show(currentIndex);
    updateStrip();
}

void BrowserTabs::showMenu(int index, const QPoint& global) {
    if (index < 0 || index >= count()) return;
    auto* menu = new QMenu(this);
    menu->setObjectName("tabMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto add = [menu](const char* id, const QString& text, QKeySequence key, std::function<void()> run) {
        QAction* a = menu->addAction(text);
        a->setObjectName(id);
        a->setShortcut(key);
        connect(a, &QAction::triggered, menu, std::move(run));
        return a;
    };
    add("newTab", tr("New Tab"), QKeySequence(Qt::CTRL | Qt::Key_T), [this] { openTab({}, false); });
    add("duplicateTab", tr("Duplicate Tab"), {}, [this, index] { duplicate(index); });
    QAction* lock = add("lockTab", tr("Lock Tab"), {}, [this, index] { setLocked(index, !isLocked(index)); });
    lock->setCheckable(true);
    lock->setChecked(isLocked(index));
    lock->setToolTip(tr("Folders opened in a locked tab open in a new tab"));
    menu->addSeparator();
    add("closeTab", tr("Close Tab"), QKeySequence(Qt::CTRL | Qt::Key_W), [this, index] {
        closeTab(index);
    })->setEnabled(count() > 1);
    add("closeOtherTabs", tr("Close Other Tabs"), {}, [this, index] {
        closeOthers(index);
    })->setEnabled(count() > 1);
    add("closeTabsToTheRight", tr("Close Tabs to the Right"), {}, [this, index] {
        closeToTheRight(index);
    })->setEnabled(index + 1 < count());
    menu->addSeparator();
    add("reopenClosedTab", tr("Reopen Closed Tab"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T), [this] {
        reopenClosed();
    })->setEnabled(canReopen());
    menu->popup(global);
}

void BrowserTabs::dropFiles(int index, const QMimeData* data, Qt::KeyboardModifiers modifiers) {
    BrowserView* view = viewAt(index);
    if (!view->showsFolder()) return;
    const QByteArray folder = view->folderView()->folder();
    if (!folder.startsWith('/')) return;
    QList<QByteArray> sources;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) sources << QFile::encodeName(url.toLocalFile());
    if (sources.isEmpty()) return;
    const DropDecision::Plan plan = DropDecision::plan(sources, folder, modifiers);
    if (plan.sources.isEmpty() || plan.action == Qt::IgnoreAction) return;
    view->folderPane().transfer(plan.sources, folder, plan.action == Qt::MoveAction);
}

}  // namespace kv
