#pragma once

#include <QFont>
#include <QObject>
#include <QString>

namespace kv {

class FolderModel;

// The widest name among a model's rows in a font: what a column of names needs to show every name
// whole. Found again only after the rows changed (a new order changes nothing), and then by measuring
// the longest names first, until no shorter one could be wider.
class WidestName : public QObject {
    Q_OBJECT
  public:
    explicit WidestName(const FolderModel* model, QObject* parent = nullptr);

    // The widest name's text, and its width, in font.
    QString text(const QFont& font);
    int width(const QFont& font);

  private:
    void find(const QFont& font);

    const FolderModel* m_model;
    bool m_stale = true;
    int m_rowsBefore = -1;  // rows before a change of layout: a new order keeps them
    QFont m_font;
    QString m_text;
    int m_width = 0;
};

}  // namespace kv
