#include "platform/qt/folderview/detailscolumns.h"

#include <QDateTime>
#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QHeaderView>
#include <QLocale>
#include <QStyle>
#include <QTreeView>
#include <algorithm>

#include "platform/qt/common/sizetext.h"
#include "platform/qt/folderview/widestname.h"

namespace kv {

namespace {

using Column = FolderModel::Column;

// The order in which the columns beside the names are given room.
constexpr Column kByNeed[] = {Column::OriginColumn, Column::FolderColumn, Column::SizeColumn,
                              Column::ModifiedColumn, Column::TypeColumn};

}  // namespace

DetailsColumns::DetailsColumns(QTreeView* view, WidestName* names)
    : QObject(view), m_view(view), m_names(names) {
    for (const Column c : {Column::SizeColumn, Column::TypeColumn, Column::ModifiedColumn})
        m_wanted[static_cast<size_t>(c)] = true;
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(Column::NameColumn, QHeaderView::Stretch);
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        // Only the user's own widening (a drag or a double click on the header) is kept; the fitting's
        // changes, hiding and showing are not.
        if (m_fitting || column == Column::NameColumn || size == 0 ||
            QGuiApplication::mouseButtons() == Qt::NoButton)
            return;
        m_userWidth[static_cast<size_t>(column)] = size;
    });
    m_viewport = view->viewport();
    m_viewport->installEventFilter(this);
    view->installEventFilter(this);
}

void DetailsColumns::setWanted(int column, bool wanted) {
    if (m_wanted[static_cast<size_t>(column)] == wanted) return;
    m_wanted[static_cast<size_t>(column)] = wanted;
    fit();
}

bool DetailsColumns::eventFilter(QObject* watched, QEvent* event) {
    // Only pointers are compared here: events come while the view is being destroyed too, when asking
    // it for its viewport is no longer allowed.
    const QEvent::Type type = event->type();
    if ((watched == m_viewport && type == QEvent::Resize) ||
        (watched == m_view && (type == QEvent::FontChange || type == QEvent::StyleChange)))
        fit();
    return QObject::eventFilter(watched, event);
}

int DetailsColumns::contentWidth(int column) const {
    const QFontMetrics fm = m_view->fontMetrics();
    // Every view measures the same samples for the sizes and the dates: once per font and locale.
    static QHash<QString, int> known;
    const QString key = QString::number(column) + QLocale().name() + m_view->font().key();
    if (const auto it = known.constFind(key); it != known.cend()) return *it;
    QStringList samples;
    bool keep = true;
    switch (column) {
        case Column::SizeColumn:
            // The widest sizes have four digits before the point.
            for (const quint64 unit : {1ull, 1ull << 10, 1ull << 20, 1ull << 30, 1ull << 40})
                samples << sizeText(unit * 1023 + (unit > 1 ? unit * 9 / 10 : 0));
            break;
        case Column::ModifiedColumn:
            // The model's own form; month names differ in width.
            for (int month = 1; month <= 12; ++month)
                samples << QLocale().toString(QDateTime(QDate(2028, month, 28), QTime(20, 58, 58)),
                                              QLocale::ShortFormat);
            samples << FolderModel::tr("Unknown");
            break;
        case Column::TypeColumn: {
            keep = false;
            // Types are looked up for the rows painted only: those in sight say what the column needs,
            // and it has room for a usual one besides.
            const QAbstractItemModel* model = m_view->model();
            const QModelIndex top = m_view->indexAt(QPoint(0, 0));
            const int height = m_view->viewport()->height();
            for (int row = top.isValid() ? top.row() : 0, seen = 0; row < model->rowCount() && seen < 200;
                 ++row, ++seen) {
                if (m_view->visualRect(model->index(row, 0)).top() > height) break;
                samples << model->index(row, Column::TypeColumn).data().toString();
            }
            samples << QString(14, QLatin1Char('x'));
            break;
        }
        default:
            return fm.averageCharWidth() * 24;
    }
    int widest = 0;
    for (const QString& s : samples) widest = std::max(widest, fm.horizontalAdvance(s));
    const int margin = m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_view) + 1;
    if (keep) known.insert(key, widest + 4 * margin);
    return widest + 4 * margin;
}

int DetailsColumns::widthOf(int column) const {
    const int user = m_userWidth[static_cast<size_t>(column)];
    if (user > 0) return user;
    QHeaderView* header = m_view->header();
    const QString title = m_view->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    QStyle* style = header->style();
    // The title with its margins and the sort arrow.
    const int titleWidth = header->fontMetrics().horizontalAdvance(title) +
                           3 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) +
                           style->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header);
    return std::max(contentWidth(column), titleWidth);
}

int DetailsColumns::nameWanted() const {
    const int margin = m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_view) + 1;
    const int icon = m_view->iconSize().isValid()
                         ? m_view->iconSize().width()
                         : m_view->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, m_view);
    const int whole = m_names->width(m_view->font()) + icon + 4 * margin;
    // In a narrow view the names come before the other columns; a wide one keeps some room beside
    // even the longest name (a third of what it has past 300 pixels).
    const int width = m_view->viewport()->width();
    const int floor = m_view->fontMetrics().averageCharWidth() * 12 + icon;
    return std::min(whole, std::max(floor, width - std::max(0, width - 300) / 3));
}

void DetailsColumns::fit() {
    const int width = m_view->viewport()->width();
    if (width <= 0 || !m_view->model()) return;
    m_fitting = true;
    QHeaderView* header = m_view->header();
    int room = width - nameWanted();
    bool dropping = false;  // a column that gives way takes those that give way before it along
    for (const Column c : kByNeed) {
        if (!isWanted(c)) {
            if (!header->isSectionHidden(c)) header->hideSection(c);
            continue;
        }
        const int w = widthOf(c);
        dropping = dropping || w > room;
        if (!dropping) {
            room -= w;
            if (header->isSectionHidden(c)) header->showSection(c);
            if (header->sectionSize(c) != w) header->resizeSection(c, w);
        } else if (!header->isSectionHidden(c)) {
            header->hideSection(c);
        }
    }
    m_fitting = false;
}

}  // namespace kv
