#include "platform/qt/folderdelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace kv {

namespace {

// Enough for every visible cell of several panes; past it the cache starts over.
constexpr qsizetype kMaxTexts = 8192;

struct Key {
    QString text;
    int width;
    int elide;
    bool operator==(const Key& o) const { return width == o.width && elide == o.elide && text == o.text; }
};
size_t qHash(const Key& k, size_t seed) {
    return qHashMulti(seed, k.text, k.width, k.elide);
}

struct TextCache {
    QHash<Key, QStaticText> texts;
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

const QStaticText& FolderDelegate::laidOut(const QString& text, const QFont& font, int width,
                                           Qt::TextElideMode elide) {
    TextCache& c = textCache();
    if (!(font == c.font)) {
        c.texts.clear();
        c.font = font;
    }
    Key key{text, width, static_cast<int>(elide)};
    if (auto it = c.texts.constFind(key); it != c.texts.constEnd()) return *it;
    if (c.texts.size() >= kMaxTexts) c.texts.clear();
    QStaticText laid = plain(text, font);
    // Most texts fit: laid out once, they need no second pass for eliding.
    if (laid.size().width() > width) laid = plain(QFontMetrics(font).elidedText(text, elide, width), font);
    return *c.texts.insert(std::move(key), std::move(laid));
}

void FolderDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if ((opt.state & QStyle::State_HasFocus) || opt.direction == Qt::RightToLeft) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
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
