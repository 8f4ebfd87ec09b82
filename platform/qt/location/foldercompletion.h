#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

class QCompleter;
class QLineEdit;
class QStringListModel;

namespace kv {

// Completes a folder path in a line as it is typed, one folder at a time: the sub-folders of the
// folder typed so far ("~/" is the home folder), hidden ones once their name is begun, read off the UI
// thread (a folder may be on a dead mount).
class FolderCompletion : public QObject {
    Q_OBJECT
  public:
    explicit FolderCompletion(QLineEdit* line);

    // The line's text changed by the user.
    void typed(const QString& text);
    // Forgets the folder read last (the next keystroke reads again), and hides the list if it shows.
    void reset();
    // The raw bytes of an offered folder, by its text as shown (no trailing slash); empty when none.
    QByteArray offered(const QString& shown) const { return m_offered.value(shown); }

    // "~" and "~/…" as the home folder.
    static QString expandedHome(const QString& text);

  private:
    QLineEdit* m_line;
    QCompleter* m_completer;
    QStringListModel* m_names;
    QString m_dir;  // what was read last, and whether hidden ones
    QHash<QString, QByteArray> m_offered;
};

}  // namespace kv
