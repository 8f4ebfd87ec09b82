#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;

namespace kv {

// Connect to Server…: a server's address put together from its parts (the kind of server, the server,
// the port, the folder, the user). Not modal; Connect gives the address and closes, unless a part is
// wrong, which a note in the dialog says. The password is for the pane to ask, when the server wants one.
class ConnectDialog : public QDialog {
    Q_OBJECT
  public:
    // recent: server addresses offered to fill the parts in (RecentServers).
    explicit ConnectDialog(const QStringList& recent, QWidget* parent = nullptr);

    // The address the parts make, percent-encoded as typed addresses are; empty with *why set when a
    // part is wrong.
    QString address(QString* why) const;

  signals:
    void connectTo(const QString& address);

  private:
    void fillFrom(const QString& address);
    void tryConnect();

    QComboBox* m_recent = nullptr;
    QComboBox* m_scheme;
    QLineEdit* m_server;
    QLineEdit* m_port;
    QLineEdit* m_folder;
    QLineEdit* m_user;
    QLabel* m_note;
};

}  // namespace kv
