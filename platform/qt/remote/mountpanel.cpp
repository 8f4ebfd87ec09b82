#include "platform/qt/remote/mountpanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/fs/core/background.h"

namespace kv {

MountPanel::MountPanel(QWidget* parent) : QFrame(parent) {
    setObjectName("mountPanel");
    setFrameShape(QFrame::StyledPanel);
    // Drawn as a field is, apart from the pane's own colour.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    column->addWidget(m_message);
    m_retry = new QLabel(tr("The password was not accepted. Try again."), this);
    m_retry->setObjectName("retryNote");
    QFont bold = m_retry->font();
    bold.setBold(true);
    m_retry->setFont(bold);
    column->addWidget(m_retry);

    m_anonymous = new QCheckBox(tr("Connect &anonymously"), this);
    column->addWidget(m_anonymous);
    auto* form = new QFormLayout;
    m_user = new QLineEdit(this);
    m_userLabel = new QLabel(tr("&User:"), this);
    m_userLabel->setBuddy(m_user);
    form->addRow(m_userLabel, m_user);
    m_domain = new QLineEdit(this);
    m_domainLabel = new QLabel(tr("&Domain:"), this);
    m_domainLabel->setBuddy(m_domain);
    form->addRow(m_domainLabel, m_domain);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_passwordLabel = new QLabel(tr("&Password:"), this);
    m_passwordLabel->setBuddy(m_password);
    form->addRow(m_passwordLabel, m_password);
    m_remember = new QComboBox(this);
    m_remember->addItem(tr("Forget the password at once"));
    m_remember->addItem(tr("Remember it until I log out"));
    m_remember->addItem(tr("Remember it for ever"));
    form->addRow(m_remember);
    column->addLayout(form);
    connect(m_anonymous, &QCheckBox::toggled, this, [this](bool anonymous) {
        for (QWidget* w : {static_cast<QWidget*>(m_user), static_cast<QWidget*>(m_domain),
                           static_cast<QWidget*>(m_password), static_cast<QWidget*>(m_remember)})
            w->setEnabled(!anonymous);
    });

    m_buttons = new QHBoxLayout;
    m_buttons->addStretch(1);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_connect = new QPushButton(tr("C&onnect"), this);
    m_connect->setDefault(true);
    m_buttons->addWidget(m_cancel);
    m_buttons->addWidget(m_connect);
    column->addLayout(m_buttons);
    connect(m_cancel, &QPushButton::clicked, this, &MountPanel::cancel);
    connect(m_connect, &QPushButton::clicked, this, [this] { answer(0); });
    for (QLineEdit* field : {m_user, m_domain, m_password})
        connect(field, &QLineEdit::returnPressed, this, [this] { answer(0); });
    hide();
}

MountPanel::~MountPanel() {
    withdraw();
}

MountAsker MountPanel::asker() {
    return [receiver = Receiver(this), panel = QPointer<MountPanel>(this)](const MountQuestion& question,
                                                                           MountReply reply) {
        // Dropped (the panel or the program gone): the mount is not left waiting for an answer.
        receiver.post([panel, question, reply] { panel->ask(question, reply); },
                      [reply] { reply(MountAnswer{}); });
    };
}

void MountPanel::ask(const MountQuestion& question, MountReply reply) {
    if (m_reply) m_reply(MountAnswer{});  // one question at a time: an older one is given up on
    m_question = question;
    m_reply = std::move(reply);
    qDeleteAll(m_choices);
    m_choices.clear();
    const bool password = question.kind == MountQuestion::Kind::Password;
    m_message->setText(QString::fromStdString(question.message));
    m_retry->setVisible(password && question.retry);
    m_anonymous->setVisible(password && question.anonymousAllowed);
    m_anonymous->setChecked(false);
    m_userLabel->setVisible(password && question.askUser);
    m_user->setVisible(password && question.askUser);
    m_user->setText(QString::fromStdString(question.user));
    m_domainLabel->setVisible(password && question.askDomain);
    m_domain->setVisible(password && question.askDomain);
    m_domain->setText(QString::fromStdString(question.domain));
    m_passwordLabel->setVisible(password && question.askPassword);
    m_password->setVisible(password && question.askPassword);
    m_password->clear();
    m_remember->setVisible(password && question.canRemember);
    m_connect->setVisible(password);
    m_cancel->setVisible(true);
    if (!password) {
        // The back end's own answers, in its order; Cancel (Escape) stays for giving up.
        for (int i = 0; i < static_cast<int>(question.choices.size()); ++i) {
            auto* b = new QPushButton(QString::fromStdString(question.choices[static_cast<size_t>(i)]), this);
            b->setObjectName("mountChoice");
            connect(b, &QPushButton::clicked, this, [this, i] { answer(i); });
            m_buttons->insertWidget(m_buttons->count() - 2, b);
            m_choices << b;
        }
    }
    show();
    if (password && question.askUser && question.user.empty())
        m_user->setFocus(Qt::OtherFocusReason);
    else if (password && question.askPassword)
        m_password->setFocus(Qt::OtherFocusReason);
    else if (!m_choices.isEmpty())
        m_choices.front()->setFocus(Qt::OtherFocusReason);
}

void MountPanel::answer(int choice) {
    if (!m_reply) return;
    MountAnswer a;
    a.cancelled = false;
    a.choice = choice;
    if (m_question.kind == MountQuestion::Kind::Password) {
        a.anonymous = m_anonymous->isVisible() && m_anonymous->isChecked();
        a.user = m_user->text().toStdString();
        a.domain = m_domain->text().toStdString();
        a.password = m_password->text().toStdString();
        if (m_remember->isVisible())
            a.remember = static_cast<MountAnswer::Remember>(m_remember->currentIndex());
    }
    MountReply reply = std::move(m_reply);
    m_reply = nullptr;
    m_password->clear();
    hide();
    reply(a);
}

void MountPanel::cancel() {
    withdraw();
}

void MountPanel::withdraw() {
    m_password->clear();
    hide();
    if (!m_reply) return;
    MountReply reply = std::move(m_reply);
    m_reply = nullptr;
    reply(MountAnswer{});
}

void MountPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        cancel();
        return;
    }
    QFrame::keyPressEvent(event);
}

}  // namespace kv
