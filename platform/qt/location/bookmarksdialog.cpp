#include "platform/qt/location/bookmarksdialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/qt/common/nametext.h"
#include "platform/qt/common/standardicons.h"
#include "platform/qt/location/bookmarktext.h"

namespace kv {

namespace {

constexpr int kFromRole = Qt::UserRole;           // which of the bookmarks shown the row is
constexpr int kShownNameRole = Qt::UserRole + 1;  // its name as first shown

}  // namespace

BookmarksDialog::BookmarksDialog(const std::vector<Bookmark>& shown, size_t more, QWidget* parent)
    : QDialog(parent),
      m_list(new QTreeWidget(this)),
      m_rename(new QPushButton(tr("&Rename"), this)),
      m_remove(new QPushButton(tr("Re&move"), this)),
      m_up(new QPushButton(tr("Move &Up"), this)),
      m_down(new QPushButton(tr("Move &Down"), this)) {
    setObjectName("bookmarksDialog");
    setWindowTitle(tr("Edit Bookmarks"));
    m_list->setObjectName("bookmarkList");
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({tr("Name"), tr("Location")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::SelectedClicked);
    m_list->header()->setStretchLastSection(true);
    const QIcon folder = StandardIcons::standard(QStyle::SP_DirLinkIcon);
    const QIcon remote = StandardIcons::standard(QStyle::SP_DriveNetIcon);
    for (size_t i = 0; i < shown.size(); ++i) {
        const Bookmark& b = shown[i];
        const QString name = BookmarkText::shortLabel(b.title());
        const QString location = BookmarkText::shortLabel(b.isLocal() ? NameText::shown(b.path.toStdString())
                                                                      : QString::fromUtf8(b.uri));
        auto* item = new QTreeWidgetItem(m_list, {name, location});
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        item->setData(0, kFromRole, static_cast<qulonglong>(i));
        item->setData(0, kShownNameRole, name);
        item->setToolTip(1, location);
        item->setIcon(0, b.isLocal() ? folder : remote);
    }
    m_list->resizeColumnToContents(0);
    m_list->setColumnWidth(0, std::min(m_list->columnWidth(0) + 16, 320));

    m_rename->setObjectName("renameBookmark");
    m_remove->setObjectName("removeBookmark");
    m_up->setObjectName("moveBookmarkUp");
    m_down->setObjectName("moveBookmarkDown");
    auto* side = new QVBoxLayout;
    for (QPushButton* b : {m_rename, m_remove, m_up, m_down}) {
        b->setAutoDefault(false);
        side->addWidget(b);
    }
    side->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(m_list, 1);
    row->addLayout(side);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* column = new QVBoxLayout(this);
    column->addLayout(row, 1);
    if (more > 0) {
        auto* note = new QLabel(
            tr("%n more bookmarks after these are kept as they are.", nullptr, static_cast<int>(more)), this);
        note->setObjectName("moreBookmarks");
        column->addWidget(note);
    }
    column->addWidget(buttons);

    connect(m_rename, &QPushButton::clicked, this, &BookmarksDialog::renameCurrent);
    connect(m_remove, &QPushButton::clicked, this, &BookmarksDialog::removeCurrent);
    connect(m_up, &QPushButton::clicked, this, [this] { moveCurrent(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveCurrent(1); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::currentItemChanged, this, &BookmarksDialog::updateButtons);
    if (m_list->topLevelItemCount() > 0) m_list->setCurrentItem(m_list->topLevelItem(0));
    updateButtons();
    resize(640, 420);
}

std::vector<BookmarkChange> BookmarksDialog::changes() const {
    std::vector<BookmarkChange> out;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = m_list->topLevelItem(row);
        BookmarkChange c;
        c.from = item->data(0, kFromRole).toULongLong();
        // A name left as shown keeps the line as it was written, a long label included.
        if (item->text(0) != item->data(0, kShownNameRole).toString()) c.label = item->text(0).trimmed();
        out.push_back(std::move(c));
    }
    return out;
}

void BookmarksDialog::renameCurrent() {
    if (QTreeWidgetItem* item = m_list->currentItem()) {
        m_list->setFocus();
        m_list->editItem(item, 0);
    }
}

void BookmarksDialog::removeCurrent() {
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (row < 0) return;
    delete m_list->takeTopLevelItem(row);
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(std::min(row, m_list->topLevelItemCount() - 1)));
    updateButtons();
}

void BookmarksDialog::moveCurrent(int by) {
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    const int to = row + by;
    if (row < 0 || to < 0 || to >= m_list->topLevelItemCount()) return;
    QTreeWidgetItem* item = m_list->takeTopLevelItem(row);
    m_list->insertTopLevelItem(to, item);
    m_list->setCurrentItem(item);
    updateButtons();
}

void BookmarksDialog::updateButtons() {
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    m_rename->setEnabled(row >= 0);
    m_remove->setEnabled(row >= 0);
    m_up->setEnabled(row > 0);
    m_down->setEnabled(row >= 0 && row + 1 < m_list->topLevelItemCount());
}

}  // namespace kv
