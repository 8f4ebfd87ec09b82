#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

#include "platform/qt/tabs/sessionfile.h"

namespace kv {

class BrowserTabs;

// Keeps the panes' tabs in the session file while the user wants them restored (Preferences::
// restoreTabs), and gives each pane its tabs back the first time it is shown after the start, once its
// window has put it where the window starts. Written a moment after a change and when a pane or the
// program goes; panes of windows not opened in this run keep what the file had for them.
class SessionKeeper : public QObject {
    Q_OBJECT
  public:
    static SessionKeeper& shared();
    explicit SessionKeeper(QString path, QObject* parent = nullptr);

    // A pane to keep and to restore.
    void add(BrowserTabs& pane);
    // Writes the session now (when the user wants it kept).
    void save();
    const QString& path() const { return m_path; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    static QString keyOf(const BrowserTabs& pane);
    void restore(BrowserTabs& pane);
    void keep(const BrowserTabs& pane);
    void readOnce();
    bool wanted() const;

    QString m_path;
    bool m_read = false;
    SessionFile::Panes m_panes;  // as read, then as the panes left them
    QSet<QString> m_restored;
    QList<QPointer<BrowserTabs>> m_live;
    QTimer m_later;
};

}  // namespace kv
