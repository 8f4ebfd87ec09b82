#pragma once

#include <QStaticText>
#include <QStyledItemDelegate>

class QListView;

namespace kv {

class FolderThumbnails;
class WidestName;

// Paints the cells of the details view as the style's own item delegate does (background,
// selection, icon, one line of elided text), but lays each text out once: a cell's text is kept
// shaped for its width, so painting a window of rows again only draws glyphs. Shaping and laying
// out every cell's text twice on every paint was most of the time a folder pane took to paint.
// The current cell, with its focus frame, right-to-left layouts and the icon views go to the style's
// delegate. On top of either: links get an emblem, cut items are dimmed, F2 selects the name's stem.
class FolderDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // The icon and list views take one item's size for all (uniform item sizes): in the icon view
    // every cell is as wide as the grid, in the list view as wide as the widest name (up to the
    // view's width), never as one row's name.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The rows' widest name, for the cells of list, which lays its cells out again when a name changes.
    void setWidestName(WidestName* widest, QListView* list);
    // An icon view's previews, drawn in place of the type's icon where one is ready.
    void setThumbnails(const FolderThumbnails* thumbnails) { m_thumbnails = thumbnails; }
    // The rename editor starts with the name's stem selected (FolderDelegate::selectedStemLength).
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;

    // How much of a name F2 selects: all of a folder's, else up to its extension (".tar.gz" counts as
    // one; a leading dot does not start one).
    static qsizetype selectedStemLength(const QString& name, bool isDir);
    // The small arrow badge that marks a symbolic link, over the icon's corner.
    static void paintLinkEmblem(QPainter* painter, const QRect& iconRect);

    // The text a cell of this width shows for `text`: itself, or elided to fit.
    static QString shownText(const QString& text, const QFont& font, int width, Qt::TextElideMode elide) {
        return laidOut(text, font, width, elide).text();
    }

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

  private:
    void paintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // Shared by every folder pane (all on the UI thread): a new pane's columns mostly show texts
    // that the other panes' columns of the same width already laid out.
    static const QStaticText& laidOut(const QString& text, const QFont& font, int width,
                                      Qt::TextElideMode elide);

    const FolderThumbnails* m_thumbnails = nullptr;
    WidestName* m_widest = nullptr;
};

}  // namespace kv
