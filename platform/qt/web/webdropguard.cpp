#include "platform/qt/web/webdropguard.h"

#include <QChildEvent>
#include <QClipboard>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QWebEngineView>
#include <memory>

#include "platform/qt/common/wholetitle.h"
#include "platform/qt/web/webpage.h"

namespace kv {

namespace {

constexpr int kNamesShown = 10;

bool isPasteKey(const QKeyEvent* key) {
    if (key->matches(QKeySequence::Paste)) return true;
    // Paste as plain text: the files' paths would still reach the page.
    const Qt::KeyboardModifiers m = key->modifiers() & ~Qt::KeypadModifier;
    return key->key() == Qt::Key_V && m == (Qt::ControlModifier | Qt::ShiftModifier);
}

// A copy that outlives the drag: the question is answered after the drag has ended, and data from
// another program is gone by then.
QMimeData* copyOf(const QMimeData* data) {
    auto* copy = new QMimeData;
    for (const QString& format : data->formats()) copy->setData(format, data->data(format));
    return copy;
}

}  // namespace

WebDropGuard::WebDropGuard(QWebEngineView* view) : QObject(view), m_view(view) {
    watch(view);
}

void WebDropGuard::watch(QObject* object) {
    object->installEventFilter(this);
    for (QObject* child : object->children())
        if (child->isWidgetType()) watch(child);
}

QList<QUrl> WebDropGuard::localFiles(const QMimeData* data) {
    QList<QUrl> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url;
    return files;
}

QString WebDropGuard::question(int count, const QString& site) {
    return count == 1 ? tr("Give 1 file to %1?").arg(site) : tr("Give %1 files to %2?").arg(count).arg(site);
}

QString WebDropGuard::fileList(const QList<QUrl>& files) {
    QStringList names;
    for (qsizetype i = 0; i < files.size() && i < kNamesShown; ++i)
        names << QFileInfo(files[i].toLocalFile()).fileName();
    if (files.size() > kNamesShown) names << tr("and %1 more").arg(files.size() - kNamesShown);
    return names.join('\n');
}

void WebDropGuard::ask(const QList<QUrl>& files, std::function<void()> give) {
    const QUrl page = m_view->url();
    auto* box = new QMessageBox(QMessageBox::Question, tr("Give files to a web page"),
                                question(static_cast<int>(files.size()), WebPage::siteOf(page)),
                                QMessageBox::Yes | QMessageBox::No, m_view->window());
    box->setObjectName("giveFilesQuestion");
    // The names are the point of the question: shown, not behind a button.
    box->setInformativeText(tr("The page can read these files and send them anywhere:") + "\n\n" +
                            fileList(files));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    WholeTitle::fit(box);
    connect(box, &QMessageBox::finished, this, [this, box, page, give = std::move(give)] {
        // Given to the site that was asked about, not to a page that came after it.
        if (box->standardButton(box->clickedButton()) == QMessageBox::Yes && m_view->url() == page) give();
    });
    box->open();
}

void WebDropGuard::paste() {
    const QList<QUrl> files = localFiles(QGuiApplication::clipboard()->mimeData());
    if (files.isEmpty()) {
        m_view->page()->triggerAction(QWebEnginePage::Paste);
        return;
    }
    ask(files, [this] { m_view->page()->triggerAction(QWebEnginePage::Paste); });
}

void WebDropGuard::replayDrop(QWidget* target, const QMimeData* data, QPoint pos, Qt::DropActions actions,
                              Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    if (!target) return;
    m_replaying = true;
    QDragEnterEvent enter(pos, actions, data, buttons, modifiers);
    QCoreApplication::sendEvent(target, &enter);
    QDragMoveEvent move(pos, actions, data, buttons, modifiers);
    QCoreApplication::sendEvent(target, &move);
    QDropEvent drop(pos, actions, data, buttons, modifiers);
    QCoreApplication::sendEvent(target, &drop);
    m_replaying = false;
}

bool WebDropGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ChildAdded:
            if (QObject* child = static_cast<QChildEvent*>(event)->child(); child->isWidgetType())
                watch(child);
            return false;
        case QEvent::DragEnter: {
            auto* e = static_cast<QDragEnterEvent*>(event);
            if (m_replaying || localFiles(e->mimeData()).isEmpty()) return false;
            m_held = watched;
            e->acceptProposedAction();
            return true;
        }
        case QEvent::DragMove:
            if (m_replaying || !m_held) return false;
            static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
            return true;
        case QEvent::DragLeave:
            if (m_replaying || !m_held) return false;
            m_held = nullptr;
            return true;
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            if (m_replaying || !m_held) return false;
            m_held = nullptr;
            e->acceptProposedAction();
            const QList<QUrl> files = localFiles(e->mimeData());
            QPointer<QWidget> target = qobject_cast<QWidget*>(watched);
            auto data = std::shared_ptr<QMimeData>(copyOf(e->mimeData()));
            const QPoint pos = e->position().toPoint();
            const Qt::DropActions actions = e->possibleActions();
            const Qt::MouseButtons buttons = e->buttons();
            const Qt::KeyboardModifiers modifiers = e->modifiers();
            ask(files, [=, this] { replayDrop(target, data.get(), pos, actions, buttons, modifiers); });
            return true;
        }
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!isPasteKey(key) || localFiles(QGuiApplication::clipboard()->mimeData()).isEmpty())
                return false;
            if (event->type() == QEvent::ShortcutOverride) {
                event->accept();
                return true;
            }
            paste();
            return true;
        }
        default:
            return false;
    }
}

}  // namespace kv
