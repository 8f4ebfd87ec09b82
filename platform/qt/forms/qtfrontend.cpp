// The front end's window lifecycle: windows built, prepared ahead, shown, hidden and unloaded for their
// forms; the model's changes followed; the focus order, the browser views' navigation, and the ending.
#include "platform/qt/forms/qtfrontend.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QBackingStore>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QThread>
#include <QTimer>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "platform/forms/control.h"
#include "platform/forms/form.h"
#include "platform/forms/forms.h"
#include "platform/forms/twips.h"
#include "platform/fs/core/background.h"
#include "platform/fs/remote/remoteschemes.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/common/clickablelabel.h"
#include "platform/qt/folderview/ownedpaneservices.h"
#include "platform/qt/forms/drivelist.h"
#include "platform/qt/forms/formwindow.h"
#include "platform/qt/forms/taborder.h"
#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/tabs/browsertabs.h"

namespace kv {

QtFrontend::QtFrontend() : m_services(std::make_unique<OwnedPaneServices>()), m_factory(*this, *m_services) {
    // The servers' schemes GVfs offers here: asking starts GIO's virtual file systems, which takes a
    // while, so not on the UI thread; a location read before that knows the usual schemes.
    background::runDetached([] { remoteschemes::adopt(); });
    // What earlier runs left in the temporary folder (copies other programs were given).
    background::runDetached([copies = m_services->archives.tempCopies()] { copies->removeLeftovers(); });
#ifndef QT_NO_SESSIONMANAGER
    // Logging off or shutting down is a close request like any other.
    if (qGuiApp)
        connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
            const bool mayAsk = manager.allowsInteraction();
            const bool mayEnd = sessionEnding(mayAsk);
            if (mayAsk) manager.release();
            if (!mayEnd) manager.cancel();
        });
#endif
}

QtFrontend::~QtFrontend() {
    for (auto& [form, window] : m_windows) {
        window->detach();
        delete window;
    }
    for (auto& [name, shell] : m_shells) delete shell.window;
    // Their views hold the file operations: they go first.
    for (const QPointer<FormWindow>& window : m_unloaded) delete window.data();
}

FormWindow* QtFrontend::windowOf(const Form& form) const {
    auto it = m_windows.find(&form);
    return it == m_windows.end() ? nullptr : it->second;
}

QWidget* QtFrontend::widgetOf(const Control& control) const {
    auto it = m_widgets.find(&control);
    return it == m_widgets.end() ? nullptr : it->second;
}

BrowserView* QtFrontend::viewOf(const Control& control) const {
    auto* tabs = qobject_cast<BrowserTabs*>(widgetOf(control));
    return tabs ? tabs->current() : nullptr;
}

void QtFrontend::raise(Control* control, void (Control::*event)()) {
    if (m_ended || !m_widgets.count(control)) return;
    (control->*event)();
}

void QtFrontend::prepareWindow(const WindowRecord& record) {
    if (m_ended || m_shells.count(record.name)) return;
    m_toPrepare.push_back(&record);
    if (!m_prepareTimer) {
        m_prepareTimer = new QTimer(this);
        m_prepareTimer->setSingleShot(true);
        connect(m_prepareTimer, &QTimer::timeout, this, &QtFrontend::prepareNext);
    }
    // Well after the start, so the main window's first frame and listings go first; one window a
    // turn, so no turn holds the event loop long.
    if (!m_prepareTimer->isActive()) m_prepareTimer->start(500);
}

void QtFrontend::prepareNext() {
    if (m_ended || m_toPrepare.empty()) return;
    const WindowRecord* record = m_toPrepare.front();
    m_toPrepare.erase(m_toPrepare.begin());
    bool inUse = false;
    for (const auto& [form, window] : m_windows) inUse = inUse || form->name() == record->name;
    if (!inUse && !m_shells.count(record->name)) {
        WindowShell shell = m_factory.build(*record);
        // The native window and the widgets' style polish are made now, not on the first show.
        shell.window->winId();
        shell.window->ensurePolished();
        for (QWidget* w : shell.window->findChildren<QWidget*>()) w->ensurePolished();
        // Its frame's memory too: a new window's first frame otherwise pays for touching every page.
        if (QBackingStore* store = shell.window->backingStore()) {
            const QRect all(QPoint(0, 0), shell.window->size());
            store->resize(all.size());
            store->beginPaint(all);
            if (QPaintDevice* device = store->paintDevice()) {
                QPainter painter(device);
                painter.fillRect(all, shell.window->palette().window());
            }
            store->endPaint();
        }
        m_shells.emplace(record->name, std::move(shell));
    }
    if (!m_toPrepare.empty()) m_prepareTimer->start(50);
}

void QtFrontend::formBuilt(Form& form) {
    const WindowRecord& r = form.record();
    WindowShell shell;
    if (auto it = m_shells.find(r.name); it != m_shells.end()) {
        shell = std::move(it->second);
        m_shells.erase(it);
    } else {
        shell = m_factory.build(r);
    }
    FormWindow* window = shell.window;
    window->attach(form);
    // Named only now: a window made ahead belongs to no form until here.
    window->setObjectName(QString::fromStdString(r.name));
    Form* f = &form;
    for (size_t i = 0; i < shell.menu.size() && i < r.menu.size(); ++i) {
        const std::string name = r.menu[i].name;
        connect(shell.menu[i], &QAction::triggered, this, [this, f, name] {
            if (!m_ended && m_windows.count(f)) f->menuChosen(name);
        });
    }
    const auto& controls = form.controls();
    for (size_t i = 0; i < controls.size() && i < shell.widgets.size(); ++i) {
        Control* c = controls[i].get();
        m_widgets[c] = shell.widgets[i];
        if (shell.bands[i]) m_bands.insert(c);
        connectControl(*c, shell.widgets[i]);
    }
    m_windows[&form] = window;
}

void QtFrontend::connectControl(Control& c, QWidget* w) {
    Control* control = &c;
    switch (c.kind()) {
        case ControlKind::BrowserView:
            break;
        case ControlKind::DriveList:
            connect(static_cast<DriveList*>(w), &DriveList::driveChanged, this,
                    [this, control] { raise(control, &Control::change); });
            break;
        case ControlKind::Label:
        case ControlKind::Image:
            connect(static_cast<ClickableLabel*>(w), &ClickableLabel::clicked, this,
                    [this, control] { raise(control, &Control::click); });
            break;
        case ControlKind::TextBox:
            if (auto* box = qobject_cast<QLineEdit*>(w))
                connect(box, &QLineEdit::textEdited, this, [this, control](const QString& t) {
                    if (m_widgets.count(control)) control->textTyped(t.toStdString());
                });
            break;
        case ControlKind::CommandButton:
        case ControlKind::OptionButton:
            connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, this,
                    [this, control] { raise(control, &Control::click); });
            break;
    }
}

void QtFrontend::place(const Control& c) {
    QWidget* w = widgetOf(c);
    if (!w) return;
    w->setGeometry(pixelRect(c.Left(), c.Top(), c.Width(), c.Height()));
}

void QtFrontend::restack(const Form& form) {
    // Where columns overlap, the one further right lies on top, so that every pane keeps its left edge
    // (names, the drive's text) in sight.
    std::vector<QWidget*> columns;
    for (const auto& c : form.controls())
        if (c->kind() == ControlKind::BrowserView || c->kind() == ControlKind::DriveList)
            if (QWidget* w = widgetOf(*c)) columns.push_back(w);
    std::stable_sort(columns.begin(), columns.end(), [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
    for (QWidget* w : columns) w->raise();
    // Everything else but the background bands stays above the columns: the top row's box and button
    // reach a few pixels into the web pane below them.
    for (const auto& c : form.controls()) {
        const bool column = c->kind() == ControlKind::BrowserView || c->kind() == ControlKind::DriveList;
        if (!column && !m_bands.count(c.get()))
            if (QWidget* w = widgetOf(*c)) w->raise();
    }
}

void QtFrontend::formShown(Form& form) {
    FormWindow* w = windowOf(form);
    if (!w) return;
    restack(form);
    // Shown again, a window comes back as the user left it (restored to a normal size, say).
    if (form.record().state == WindowState::Maximized && !w->shownBefore()) {
        w->showMaximized();
    } else {
        w->show();
    }
    w->setShownBefore();
    w->raise();
    w->activateWindow();
    if (form.record().state == WindowState::Maximized) raiseSmallWindows();
}

bool QtFrontend::moveFocus(const Form& form, bool forward) {
    FormWindow* window = windowOf(form);
    if (!window) return false;
    std::vector<std::pair<int, QWidget*>> entries;
    for (const auto& c : form.controls()) {
        const ControlKind kind = c->kind();
        if (!c->record().tabIndex || kind == ControlKind::Label || kind == ControlKind::Image) continue;
        if (QWidget* w = widgetOf(*c)) entries.emplace_back(*c->record().tabIndex, w);
    }
    QWidget* target = TabOrder(std::move(entries)).next(window, forward);
    if (!target) return false;
    target->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

bool QtFrontend::sessionEnding(bool mayAsk) {
    if (m_ended) return true;
    Form* asking = nullptr;
    for (const auto& [form, window] : m_windows)
        if (window->form() && window->form()->asksBeforeClosing()) asking = window->form();
    if (!asking) return true;
    if (mayAsk) {
        asking->closeRequested();
    } else {
        Forms& forms = asking->forms();
        forms.dispatch([&forms] { forms.End(); });
    }
    return m_ended;
}

bool QtFrontend::mayStopJobs(QWidget* parent) {
    const QStringList running = m_services->ops.runningJobTexts();
    if (running.isEmpty()) return true;
    QMessageBox box(
        QMessageBox::Warning, QObject::tr("Files are still being worked on"),
        QObject::tr("These are not finished yet:\n\n%1\n\nStopped now, each leaves what it has done "
                    "whole and nothing half-made; a move keeps the items it has not moved yet.")
            .arg(running.join('\n')),
        QMessageBox::NoButton, parent);
    QPushButton* stop = box.addButton(QObject::tr("Stop Them"), QMessageBox::DestructiveRole);
    QPushButton* wait = box.addButton(QObject::tr("Let Them Finish"), QMessageBox::RejectRole);
    box.setDefaultButton(wait);
    box.exec();
    return box.clickedButton() == stop;
}

void QtFrontend::raiseSmallWindows() {
    // The small modeless windows (agreement, What's This, Help) stay in sight beside the view windows.
    for (auto& [form, window] : m_windows)
        if (form->record().state == WindowState::Normal && window->isVisible()) window->raise();
}

void QtFrontend::formHidden(Form& form) {
    if (FormWindow* w = windowOf(form)) w->hide();
}

void QtFrontend::formUnloaded(Form& form) {
    FormWindow* w = windowOf(form);
    for (const auto& c : form.controls()) {
        m_widgets.erase(c.get());
        m_bands.erase(c.get());
    }
    m_windows.erase(&form);
    if (w) {
        w->detach();
        w->hide();
        w->deleteLater();
        std::erase_if(m_unloaded, [](const QPointer<FormWindow>& gone) { return gone.isNull(); });
        m_unloaded.emplace_back(w);
    }
    // A view window unloaded is as likely to come back as before.
    if (form.record().state == WindowState::Maximized) prepareWindow(form.record());
}

void QtFrontend::formChanged(Form& form, FormProperty what) {
    FormWindow* w = windowOf(form);
    // A maximized window keeps the screen's frame; the model keeps the values it was given.
    if (!w || form.record().state == WindowState::Maximized) return;
    if (what == FormProperty::Left) w->move(pixels(form.Left()), w->y());
    if (what == FormProperty::Width) w->resize(pixels(form.Width()), w->height());
}

void QtFrontend::controlChanged(Control& c, ControlProperty what) {
    QWidget* w = widgetOf(c);
    if (!w) return;
    switch (what) {
        case ControlProperty::Left:
        case ControlProperty::Top:
        case ControlProperty::Width:
        case ControlProperty::Height:
            place(c);
            break;
        case ControlProperty::Visible:
            w->setVisible(c.Visible());
            break;
        case ControlProperty::Enabled:
            w->setEnabled(c.Enabled());
            break;
        case ControlProperty::Caption:
        case ControlProperty::Text:
            if (auto* l = qobject_cast<QLabel*>(w)) l->setText(QString::fromStdString(c.Caption()));
            if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(QString::fromStdString(c.Text()));
            if (auto* t = qobject_cast<QPlainTextEdit*>(w)) t->setPlainText(displayText(c.Text()));
            if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(QString::fromStdString(c.Caption()));
            break;
    }
}

float QtFrontend::scaleWidth(const Form& form) {
    FormWindow* w = windowOf(form);
    return w ? static_cast<float>(w->width() * kTwipsPerPixel) : 0.0f;
}

void QtFrontend::navigate(Control& view, const std::string& location) {
    BrowserView* v = viewOf(view);
    if (!v) throw std::runtime_error(view.name() + " is not a browser view");
    const bool hadWeb = v->webView() != nullptr;
    v->navigate(QString::fromStdString(location));
    // The first page makes its window a GL surface, which maps it afresh above everything else.
    if (!hadWeb && v->webView()) QTimer::singleShot(300, this, &QtFrontend::raiseSmallWindows);
}

void QtFrontend::goBack(Control& view) {
    if (BrowserView* v = viewOf(view)) v->goBack();
}

void QtFrontend::stop(Control& view) {
    if (BrowserView* v = viewOf(view)) v->stop();
}

std::string QtFrontend::locationName(const Control& view) {
    BrowserView* v = viewOf(view);
    return v ? v->locationName().toStdString() : std::string();
}

std::string QtFrontend::drive(const Control& driveList) {
    auto* list = qobject_cast<DriveList*>(widgetOf(driveList));
    if (!list) throw std::runtime_error(driveList.name() + " is not a drive list");
    return list->drive().toStdString();
}

bool QtFrontend::askYesNo(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

float QtFrontend::screenHeightTwips() {
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? static_cast<float>(s->geometry().height() * kTwipsPerPixel) : 0.0f;
}

void QtFrontend::doEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtFrontend::end() {
    m_ended = true;
    for (auto& [form, window] : m_windows) window->hide();
    // Jobs still running are stopped cleanly before the process goes: their partial files removed,
    // a move's sources kept.
    m_services->ops.stopAll(std::chrono::seconds(5));
    // Only a running event loop has anything to leave: an exit with none would make every later loop
    // (a question's, another program's in the same process) return at once.
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

void QtFrontend::handlerFailed(const std::string& what) {
    std::fprintf(stderr, "kestrovan: a step failed and its handler stopped: %s\n", what.c_str());
}

}  // namespace kv
