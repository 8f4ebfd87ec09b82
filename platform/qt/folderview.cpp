#include "platform/qt/folderview.h"

#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace kv {

namespace {

QByteArray parentOf(const QByteArray& path) {
    if (path == "/" || path.isEmpty())
        return "/";
    QByteArray p = path;
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    const qsizetype slash = p.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : p.left(slash);
}

}  // namespace

FolderView::FolderView(QWidget* parent) : QWidget(parent), m_model(new FolderModel(this)) {
    m_stack = new QStackedWidget(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);

    m_details = new QTreeView;
    m_details->setModel(m_model);
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setUniformRowHeights(true);
    m_details->setSortingEnabled(true);
    m_details->sortByColumn(FolderModel::NameColumn, Qt::AscendingOrder);
    m_details->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_details->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_details->setAllColumnsShowFocus(true);
    m_details->header()->setStretchLastSection(false);
    m_details->header()->setSectionResizeMode(FolderModel::NameColumn, QHeaderView::Stretch);
    m_details->header()->resizeSection(FolderModel::SizeColumn, 80);
    m_details->header()->resizeSection(FolderModel::TypeColumn, 120);
    m_details->header()->resizeSection(FolderModel::ModifiedColumn, 130);

    m_icons = new QListView;
    m_icons->setModel(m_model);
    m_icons->setSelectionModel(m_details->selectionModel());
    m_icons->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_icons->setUniformItemSizes(true);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setMovement(QListView::Static);

    m_stack->addWidget(m_details);
    m_stack->addWidget(m_icons);
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(m_details), static_cast<QAbstractItemView*>(m_icons)}) {
        v->installEventFilter(this);
        connect(v, &QAbstractItemView::activated, this, &FolderView::activate);
    }

    m_message = new QLabel(this);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_message->setAutoFillBackground(true);
    m_message->hide();
    connect(m_model, &FolderModel::listed, this, &FolderView::listed);
}

QAbstractItemView* FolderView::currentView() const {
    return m_mode == Mode::Details ? static_cast<QAbstractItemView*>(m_details) : m_icons;
}

void FolderView::setMode(Mode mode) {
    m_mode = mode;
    if (mode == Mode::Details) {
        m_stack->setCurrentWidget(m_details);
        return;
    }
    m_icons->setViewMode(mode == Mode::Icons ? QListView::IconMode : QListView::ListMode);
    m_icons->setIconSize(mode == Mode::Icons ? QSize(48, 48) : QSize(16, 16));
    m_icons->setGridSize(mode == Mode::Icons ? QSize(96, 80) : QSize());
    m_icons->setWrapping(true);
    m_icons->setFlow(mode == Mode::Icons ? QListView::LeftToRight : QListView::TopToBottom);
    m_stack->setCurrentWidget(m_icons);
}

void FolderView::showFolder(const QByteArray& path) {
    m_message->hide();
    m_model->setFolder(path);
}

QList<QByteArray> FolderView::selectedPaths() const {
    QList<QByteArray> out;
    QModelIndexList rows = m_details->selectionModel()->selectedRows(FolderModel::NameColumn);
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& i : rows)
        out << m_model->pathAt(i.row());
    return out;
}

void FolderView::activate(const QModelIndex& index) {
    if (!index.isValid())
        return;
    const DirEntry& e = m_model->entryAt(index.row());
    const QByteArray path = m_model->pathAt(index.row());
    if (e.isDir) {
        emit folderRequested(path);
    } else {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(path)));
    }
}

void FolderView::goUp() {
    if (folder() != "/")
        emit folderRequested(parentOf(folder()));
}

void FolderView::listed(int error, const QString& message) {
    if (error == 0) {
        if (m_model->rowCount() == 0) {
            m_message->setText(m_model->showHidden() ? tr("This folder is empty.")
                                                     : tr("No items to show (hidden items are not shown)."));
            m_message->setAutoFillBackground(false);
            m_message->setAttribute(Qt::WA_TransparentForMouseEvents);
            m_message->setGeometry(rect());
            m_message->show();
        }
        return;
    }
    m_message->setAutoFillBackground(true);
    m_message->setText(tr("%1\n\ncannot be shown: %2")
                           .arg(FolderModel::displayName(m_model->folder().toStdString()), message));
    m_message->setGeometry(rect());
    m_message->show();
}

void FolderView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_message->setGeometry(rect());
}

bool FolderView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Backspace) {
            goUp();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            key->modifiers() == Qt::NoModifier) {
            activate(currentView()->currentIndex());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kv
