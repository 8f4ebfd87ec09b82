#include "platform/qt/folderview/folderdelegate.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <string_view>

#include "platform/fs/core/siblingname.h"
#include "platform/qt/folderview/widestname.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/thumbnails/folderthumbnails.h"

namespace kv {

namespace {

// Enough for every visible cell of several panes; past it the cache starts over.
constexpr qsizetype kMaxTexts = 8192;

struct TextKey {
    QString text;
    int width;
    int elide;
    bool operator==(const TextKey& o) const { return width == o.width && elide == o.elide && text == o.text; }
};
size_t qHash(const TextKey& k, size_t seed) {
    return qHashMulti(seed, k.text, k.width, k.elide);
}

struct TextCache {
    QHash<TextKey, QStaticText> texts;
    QFont font;  // what the texts were laid out with
};

TextCache& textCache() {
    static TextCache cache;
    static const bool cleared = (qAddPostRoutine([] { textCache().texts.clear(); }), true);
    (void)cleared;
    return cache;
}

QStaticText plain(const QString& text, const QFont& font) {
    QStaticText laid(text);
    laid.setTextFormat(Qt::PlainText);
    laid.prepare(QTransform(), font);
    return laid;
}

}  // namespace

void FolderDelegate::paintLinkEmblem(QPainter* painter, const QRect& iconRect) {
    if (!iconRect.isValid()) return;
    // A small badge with an arrow pointing out of it in the icon's lower left corner, as desktops mark
    // links; drawn, so it shows whatever the icon theme.
    const int side = std::max(9, iconRect.height() * 9 / 16);
    const QRectF badge(iconRect.left(), iconRect.bottom() + 1 - side, side, side);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(QColor(60, 60, 60), 1));
    painter->setBrush(QColor(255, 255, 255));
    painter->drawRect(badge.adjusted(0.5, 0.5, -0.5, -0.5));
    const qreal u = side / 9.0;
    const QPointF tip(badge.right() - 1.8 * u, badge.top() + 1.8 * u);
    QPen stroke(QColor(0, 0, 0), std::max(1.2, 1.3 * u), Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter->setPen(stroke);
    painter->drawLine(QPointF(badge.left() + 2.2 * u, badge.bottom() - 2.2 * u), tip);
    painter->drawPolyline(
        QPolygonF{QPointF(tip.x() - 3.6 * u, tip.y()), tip, QPointF(tip.x(), tip.y() + 3.6 * u)});
    painter->restore();
}

qsizetype FolderDelegate::selectedStemLength(const QString& name, bool isDir) {
    return static_cast<qsizetype>(
        paths::stemLength(std::u16string_view(reinterpret_cast<const char16_t*>(name.utf16()),
                                              static_cast<size_t>(name.size())),
                          isDir));
}

void FolderDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!m_thumbnails || !(option->features & QStyleOptionViewItem::HasDecoration)) return;
    if (const QIcon preview = m_thumbnails->iconFor(index.row()); !preview.isNull()) option->icon = preview;
}

void FolderDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    QStyledItemDelegate::setEditorData(editor, index);
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line) return;
    // The view selects the whole text once this returns; the name without its extension is what a
    // rename usually changes, so that is the selection the user gets.
    const qsizetype stem = selectedStemLength(line->text(), index.data(FolderModel::IsDirRole).toBool());
    QTimer::singleShot(0, line, [line, stem] { line->setSelection(0, static_cast<int>(stem)); });
}

const QStaticText& FolderDelegate::laidOut(const QString& text, const QFont& font, int width,
                                           Qt::TextElideMode elide) {
    TextCache& c = textCache();
    if (!(font == c.font)) {
        c.texts.clear();
        c.font = font;
    }
    TextKey key{text, width, static_cast<int>(elide)};
    if (auto it = c.texts.constFind(key); it != c.texts.constEnd()) return *it;
    if (c.texts.size() >= kMaxTexts) c.texts.clear();
    QStaticText laid = plain(text, font);
    // Most texts fit: laid out once, they need no second pass for eliding.
    if (laid.size().width() > width) laid = plain(QFontMetrics(font).elidedText(text, elide, width), font);
    return *c.texts.insert(std::move(key), std::move(laid));
}

void FolderDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    // Cut items stay in their place, faded, until they are pasted: the user sees what will move.
    const bool cut = index.data(FolderModel::IsCutRole).toBool();
    if (cut) {
        painter->save();
        painter->setOpacity(0.45);
    }
    paintCell(painter, option, index);
    if (cut) painter->restore();
}

void FolderDelegate::setWidestName(WidestName* widest, QListView* list) {
    m_widest = widest;
    // The list view lays its cells out again as rows come and go, not when a name changes (a rename).
    connect(list->model(), &QAbstractItemModel::dataChanged, list,
            [list, queued = std::make_shared<bool>(false)](const QModelIndex&, const QModelIndex&,
                                                           const QList<int>& roles) {
                if (*queued || list->viewMode() != QListView::ListMode) return;
                if (!roles.isEmpty() && !roles.contains(Qt::DisplayRole)) return;
                *queued = true;
                QTimer::singleShot(0, list, [list, queued] {
                    *queued = false;
                    list->doItemsLayout();
                });
            });
}

QSize FolderDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QSize hint = QStyledItemDelegate::sizeHint(option, index);
    const auto* list = qobject_cast<const QListView*>(option.widget);
    if (!list) return hint;
    if (list->viewMode() == QListView::ListMode && m_widest) {
        QStyleOptionViewItem widest = option;
        initStyleOption(&widest, index);
        widest.text = m_widest->text(widest.font);
        const QWidget* widget = option.widget;
        const int w =
            widget->style()->sizeFromContents(QStyle::CT_ItemViewItem, &widest, QSize(), widget).width();
        const int room = list->viewport()->width() - 2 * list->spacing();
        return {std::max(1, std::min(std::max(w, hint.width()), room)), hint.height()};
    }
    if (list->viewMode() != QListView::IconMode || !list->gridSize().isValid()) return hint;
    // A little narrower than the grid, so selections next to each other stay apart.
    return {std::max(1, list->gridSize().width() - 6), hint.height()};
}

void FolderDelegate::paintCell(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const bool link =
        (opt.features & QStyleOptionViewItem::HasDecoration) && index.data(FolderModel::IsLinkRole).toBool();
    if ((opt.state & QStyle::State_HasFocus) || opt.direction == Qt::RightToLeft ||
        opt.decorationPosition != QStyleOptionViewItem::Left) {
        QStyledItemDelegate::paint(painter, option, index);
        if (link)
            paintLinkEmblem(painter, style->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, widget));
        return;
    }
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

    // The same margins as the style's item layout: the icon in a cell of its own, the text inset.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    QRect textRect = opt.rect;
    if (opt.features & QStyleOptionViewItem::HasDecoration) {
        const QSize size = opt.decorationSize;
        const QRect iconCell(opt.rect.left(), opt.rect.top(), size.width() + 2 * margin, opt.rect.height());
        const QRect iconRect(iconCell.left() + margin,
                             iconCell.top() + (iconCell.height() - size.height()) / 2, size.width(),
                             size.height());
        QIcon::Mode mode = QIcon::Normal;
        if (!(opt.state & QStyle::State_Enabled))
            mode = QIcon::Disabled;
        else if (opt.state & QStyle::State_Selected)
            mode = QIcon::Selected;
        opt.icon.paint(painter, iconRect, opt.decorationAlignment, mode, QIcon::Off);
        if (link) paintLinkEmblem(painter, iconRect);
        textRect.setLeft(iconCell.right() + 1);
    }
    textRect.adjust(margin, 0, -margin, 0);
    if (opt.text.isEmpty() || textRect.width() <= 0) return;

    QPalette::ColorGroup group = QPalette::Normal;
    if (!(opt.state & QStyle::State_Enabled))
        group = QPalette::Disabled;
    else if (!(opt.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QStaticText& text = laidOut(opt.text, opt.font, textRect.width(), opt.textElideMode);
    const QSizeF size = text.size();
    qreal x = textRect.left();
    if (opt.displayAlignment & Qt::AlignRight) x = textRect.right() + 1 - size.width();
    const qreal y = textRect.top() + (textRect.height() - size.height()) / 2;
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(
        group, (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
    painter->setClipRect(textRect, Qt::IntersectClip);
    painter->drawStaticText(QPointF(x, y), text);
    painter->restore();
}

}  // namespace kv
