#pragma once

#include <QStaticText>
#include <QStyledItemDelegate>

namespace kv {

// Paints the cells of the details view as the style's own item delegate does (background,
// selection, icon, one line of elided text), but lays each text out once: a cell's text is kept
// shaped for its width, so painting a window of rows again only draws glyphs. Shaping and laying
// out every cell's text twice on every paint was most of the time a folder pane took to paint.
// The current cell, with its focus frame, and right-to-left layouts go to the style's delegate.
class FolderDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The text a cell of this width shows for `text`: itself, or elided to fit.
    static QString shownText(const QString& text, const QFont& font, int width, Qt::TextElideMode elide) {
        return laidOut(text, font, width, elide).text();
    }

  private:
    // Shared by every folder pane (all on the UI thread): a new pane's columns mostly show texts
    // that the other panes' columns of the same width already laid out.
    static const QStaticText& laidOut(const QString& text, const QFont& font, int width,
                                      Qt::TextElideMode elide);
};

}  // namespace kv
