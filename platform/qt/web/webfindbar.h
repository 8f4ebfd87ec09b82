#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QTimer;
class QWebEngineFindTextResult;
class QWebEngineView;

namespace kv {

// Finding text in a page (Ctrl+F): a small bar at the bottom right of the web view, over the page.
// Typing finds as you type; Enter or F3 goes to the next match, Shift+Enter or Shift+F3 to the one
// before; Escape closes the bar and clears the highlights. It says where it is ("2 of 7") and when
// nothing matches.
class WebFindBar : public QWidget {
    Q_OBJECT
  public:
    explicit WebFindBar(QWebEngineView* view);

    // Shows the bar over the view's bottom right corner with the field focused and its text selected.
    void open();
    void close();
    void find(bool backward);
    QLineEdit* field() const { return m_field; }
    QString resultText() const;
    // Keeps the bar in its corner when the view changes size.
    void place();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void found(const QWebEngineFindTextResult& result, bool fresh, bool backward);

    QWebEngineView* m_view;
    QLineEdit* m_field;
    QLabel* m_result;
    QTimer* m_typing;
    QTimer* m_later;  // a search asked for before the one before has settled
    bool m_laterBackward = false;
    QElapsedTimer m_answered;  // since a new search was first answered
    QString m_searched;        // the text of the last search
    int m_request = 0;         // the search whose answer is shown
    int m_matches = 0;         // what the last answer said
    int m_active = 0;
};

}  // namespace kv
