#pragma once

#include <QFrame>

#include "platform/fs/remote/mountquestion.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kv {

// What a server asks while its place is being opened (a password, whether to trust a host key), asked
// in a panel of the folder view that is opening it: nothing else in the window waits for the answer.
// Connect (Enter) answers; Cancel (Escape) gives up on the place. Asked again after a wrong password,
// it says so above the fields.
class MountPanel : public QFrame {
    Q_OBJECT
  public:
    explicit MountPanel(QWidget* parent = nullptr);
    ~MountPanel() override;

    // The asker to give the listing: it brings each question to this panel on the UI thread (once the
    // panel is gone, every question is answered as cancelled).
    MountAsker asker();

    void ask(const MountQuestion& question, MountReply reply);
    // The place was left: the open question, if any, is answered as cancelled and the panel hides.
    void withdraw();
    bool asking() const { return static_cast<bool>(m_reply); }

    QLineEdit* userField() const { return m_user; }
    QLineEdit* passwordField() const { return m_password; }
    QLabel* retryNote() const { return m_retry; }
    QComboBox* rememberChoice() const { return m_remember; }
    QPushButton* connectButton() const { return m_connect; }
    QPushButton* cancelButton() const { return m_cancel; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void answer(int choice);
    void cancel();

    QLabel* m_message;
    QLabel* m_retry;
    QCheckBox* m_anonymous;
    QLabel* m_userLabel;
    QLineEdit* m_user;
    QLabel* m_domainLabel;
    QLineEdit* m_domain;
    QLabel* m_passwordLabel;
    QLineEdit* m_password;
    QComboBox* m_remember;
    QHBoxLayout* m_buttons;
    QPushButton* m_connect;
    QPushButton* m_cancel;
    QList<QPushButton*> m_choices;
    MountQuestion m_question;
    MountReply m_reply;
};

}  // namespace kv
