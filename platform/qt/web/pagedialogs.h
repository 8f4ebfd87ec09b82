#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWebEnginePage;
class QWidget;

namespace kv {

// The dialogs a page's script opens (alert, confirm, prompt). The engine waits for each answer, so
// the page is blocked while one shows; nothing else is: the dialog is a panel over the page's own
// view, not a window, and the rest of the window stays usable. From the second dialog of a page on,
// the panel offers to stop the page's dialogs; once stopped, the page's further dialogs are answered
// at once (an alert as read, a confirm or a prompt as cancelled) until it loads again.
class PageDialogs : public QObject {
    Q_OBJECT
  public:
    enum class Kind { Alert, Confirm, Prompt };
    struct Answer {
        bool accepted = false;
        QString text;  // a prompt's
    };

    explicit PageDialogs(QWebEnginePage* page);

    // Shows the dialog, as said by site, over the page's view and returns with the answer. Returns at once,
    // unaccepted, when the page has none or its dialogs were stopped, and when the page goes away or loads
    // another document meanwhile. The page may be gone when it returns: the caller checks.
    Answer ask(Kind kind, const QString& site, const QString& message, const QString& text = {});

    bool stopped() const { return m_stopped; }

  private:
    QWebEnginePage* m_page;
    int m_shown = 0;  // since the page last loaded
    bool m_stopped = false;
};

}  // namespace kv
