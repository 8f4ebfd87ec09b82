#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace kv {

class FolderModel;
class MountPanel;

// What a folder view does on a server beyond listing it: asks what the server wants while its place
// opens (a password, a host key) in a panel of the view, gives up on the place when the person cancels
// that, offers a server that listed among the recent ones, and says when the server of the folder shown
// is disconnected.
class ServerPlace : public QObject {
    Q_OBJECT
  public:
    ServerPlace(QWidget* view, FolderModel* model);

    // The panel, for the view's layout (above its items).
    QWidget* panel() const;
    // Another place is shown: an open question is withdrawn.
    void leaving();
    // The model ended a listing; true when that is taken care of here (a question cancelled).
    bool listed(int error, const QString& message);

  signals:
    // The person cancelled what the server of the place being opened asked.
    void cancelled();
    // The server of the folder shown was disconnected (root: its address).
    void disconnected(const QString& root);

  private:
    FolderModel* m_model;
    MountPanel* m_panel;
};

}  // namespace kv
