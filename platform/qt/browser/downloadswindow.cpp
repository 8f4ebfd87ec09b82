#include "platform/qt/browser/downloadswindow.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/qt/common/mimeiconcache.h"
#include "platform/qt/desktop/fileopener.h"
#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/pane/downloadnotice.h"
#include "platform/qt/pane/downloadspane.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/pane/windowpanes.h"
#include "platform/qt/web/downloadlist.h"

namespace kv {

namespace {

QPointer<DownloadsWindow>& theWindow() {
    static QPointer<DownloadsWindow> window;
    return window;
}

constexpr int kIdRole = Qt::UserRole + 1;

}  // namespace

DownloadsWindow* DownloadsWindow::instance() {
    return theWindow();
}

DownloadsWindow* DownloadsWindow::showFor(QWidget* from) {
    if (!theWindow()) theWindow() = new DownloadsWindow;
    DownloadsWindow* w = theWindow();
    if (from) w->m_from = from->window();
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

DownloadsWindow::DownloadsWindow()
    : QWidget(nullptr, Qt::Window),
      m_list(new QTreeWidget(this)),
      m_open(new QPushButton(tr("&Open"), this)),
      m_show(new QPushButton(tr("&Show in Folder"), this)),
      m_retry(new QPushButton(tr("&Retry"), this)),
      m_cancel(new QPushButton(tr("&Cancel"), this)),
      m_clear(new QPushButton(tr("C&lear Ended"), this)) {
    setObjectName("downloadsWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Downloads"));
    resize(640, 320);
    m_list->setObjectName("downloads");
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels({tr("Name"), tr("Status"), tr("Folder")});
    m_list->header()->setStretchLastSection(true);
    m_list->header()->resizeSection(0, 220);
    m_list->header()->resizeSection(1, 180);
    auto* buttons = new QDialogButtonBox(this);
    for (auto [button, name] :
         {std::pair{m_open, "open"}, std::pair{m_show, "showInFolder"}, std::pair{m_retry, "retry"},
          std::pair{m_cancel, "cancelDownload"}, std::pair{m_clear, "clearEnded"}}) {
        button->setObjectName(name);
        button->setAutoDefault(false);
        buttons->addButton(button, QDialogButtonBox::ActionRole);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);

    connect(m_open, &QPushButton::clicked, this, &DownloadsWindow::open);
    connect(m_show, &QPushButton::clicked, this, &DownloadsWindow::showInFolder);
    connect(m_retry, &QPushButton::clicked, this, &DownloadsWindow::retry);
    connect(m_cancel, &QPushButton::clicked, this, &DownloadsWindow::cancel);
    connect(m_clear, &QPushButton::clicked, this, [] { DownloadList::instance().clearEnded(); });
    connect(m_list, &QTreeWidget::itemActivated, this, &DownloadsWindow::open);
    connect(m_list, &QTreeWidget::currentItemChanged, this, &DownloadsWindow::updateButtons);
    DownloadList& downloads = DownloadList::instance();
    connect(&downloads, &DownloadList::added, this, &DownloadsWindow::added);
    connect(&downloads, &DownloadList::changed, this, &DownloadsWindow::changed);
    connect(&downloads, &DownloadList::cleared, this, &DownloadsWindow::refill);
    refill();
}

void DownloadsWindow::fill(QTreeWidgetItem* item, quint64 id) {
    const DownloadList::Entry* e = DownloadList::instance().find(id);
    if (!e) return;
    const QString name =
        e->path.isEmpty() ? e->name : QFile::decodeName(e->path.mid(e->path.lastIndexOf('/') + 1));
    item->setData(0, kIdRole, id);
    item->setText(0, name);
    DirEntry file;
    file.name = name.toStdString();
    item->setIcon(0, MimeIconCache::shared()->iconFor(file));
    item->setToolTip(0, e->url.toDisplayString());
    item->setText(1, DownloadList::stateText(*e));
    item->setToolTip(1, item->text(1));
    item->setText(2, QFile::decodeName(e->folder));
}

void DownloadsWindow::refill() {
    m_list->clear();
    for (const DownloadList::Entry& e : DownloadList::instance().entries()) added(e.id);
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(m_list->topLevelItemCount() - 1));
    updateButtons();
}

void DownloadsWindow::added(quint64 id) {
    auto* item = new QTreeWidgetItem(m_list);
    fill(item, id);
    m_list->setCurrentItem(item);
}

void DownloadsWindow::changed(quint64 id) {
    for (int k = 0; k < m_list->topLevelItemCount(); ++k)
        if (QTreeWidgetItem* item = m_list->topLevelItem(k); item->data(0, kIdRole).toULongLong() == id) {
            fill(item, id);
            if (item == m_list->currentItem()) updateButtons();
            return;
        }
}

quint64 DownloadsWindow::currentId() const {
    const QTreeWidgetItem* item = m_list->currentItem();
    return item ? item->data(0, kIdRole).toULongLong() : 0;
}

void DownloadsWindow::updateButtons() {
    using State = DownloadList::State;
    const DownloadList::Entry* e = DownloadList::instance().find(currentId());
    const bool saved = e && e->state == State::Saved;
    m_open->setEnabled(saved);
    m_show->setEnabled(saved);
    m_retry->setEnabled(e && e->retry && (e->state == State::Failed || e->state == State::Cancelled));
    m_cancel->setEnabled(e && e->state == State::Running && e->ops && e->job != 0);
    m_clear->setEnabled(m_list->topLevelItemCount() > 0);
}

void DownloadsWindow::open() {
    const DownloadList::Entry* e = DownloadList::instance().find(currentId());
    if (e && e->state == DownloadList::State::Saved) FileOpener::open({e->path}, this);
}

void DownloadsWindow::showInFolder() {
    const DownloadList::Entry* e = DownloadList::instance().find(currentId());
    if (!e || e->state != DownloadList::State::Saved) return;
    // A pane of that window showing the folder already, else the one downloads go to.
    FolderPane* pane = nullptr;
    for (FolderPane* p : WindowPanes::panes(m_from))
        if (!pane && p->folder() == e->folder) pane = p;
    if (!pane) pane = DownloadsPane::of(m_from);
    if (!pane) return;
    DownloadNotice::reveal(*pane, e->path);
    pane->paneWidget()->window()->raise();
    pane->paneWidget()->window()->activateWindow();
}

void DownloadsWindow::retry() {
    const DownloadList::Entry* e = DownloadList::instance().find(currentId());
    // A copy: starting it adds to the list, which may move the entry.
    if (e && e->retry) std::function<void()>(e->retry)();
}

void DownloadsWindow::cancel() {
    const DownloadList::Entry* e = DownloadList::instance().find(currentId());
    if (e && e->state == DownloadList::State::Running && e->ops) e->ops->cancel(e->job);
}

}  // namespace kv
