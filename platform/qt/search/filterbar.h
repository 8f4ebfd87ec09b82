#pragma once

#include <QWidget>

class QLineEdit;

namespace kv {

// The one-line field over a folder's rows that narrows them to the names holding its text. Hidden until
// asked for; Escape in it clears it and hides it, Enter or Down hands the keyboard back to the rows.
class FilterBar : public QWidget {
    Q_OBJECT
  public:
    explicit FilterBar(QWidget* parent = nullptr);

    // Shows the field with its text selected, for typing over.
    void open();
    // Clears and hides it (textChanged("") when it held text).
    void dismiss();
    QString text() const;
    QLineEdit* field() const { return m_field; }

  signals:
    void textChanged(const QString& text);
    // Escape: the filter is gone.
    void dismissed();
    // Enter or Down: back to the rows, the filter staying.
    void leave();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLineEdit* m_field;
};

}  // namespace kv
