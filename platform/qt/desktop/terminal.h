#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

namespace kv {

// Opens a terminal in a folder: the command in $TERMINAL when it is set, then x-terminal-emulator,
// then the usual terminals found on the PATH, until one runs. A terminal that cannot be started, or
// ends at once with a failure (one that needs a desktop session this one lacks), counts as not
// working and the next is tried; when none works, a message says so and lists what was tried.
class Terminal : public QObject {
    Q_OBJECT
  public:
    // The commands tried, in order: $TERMINAL's words, then each terminal found on the PATH.
    static QList<QStringList> candidates();
    // Starts the first working terminal; `parent`'s window holds the message when none works.
    static void open(const QString& folder, QWidget* parent);
    // How long a terminal that fails has to fail before it counts as working.
    static constexpr int kSettleMs = 4000;

  private:
    Terminal(const QString& folder, QWidget* parent);
    void tryNext();
    void failed(const QString& why);
    void settled();
    void giveUp();

    QString m_folder;
    QWidget* m_parent;
    QList<QStringList> m_left;
    QString m_trying;
    QStringList m_tried;       // each with what became of it
    bool m_noneKnown = false;  // no terminal of those looked for is on the PATH
};

}  // namespace kv
