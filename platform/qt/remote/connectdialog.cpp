#include "platform/qt/remote/connectdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "platform/fs/remote/remotelocation.h"

namespace kv {

namespace {

struct Kind {
    const char* title;
    const char* scheme;
};

// The kinds of server offered, each with the scheme of its addresses.
const Kind kKinds[] = {
    {QT_TRANSLATE_NOOP("kv::ConnectDialog", "SSH (sftp)"), "sftp"},
    {QT_TRANSLATE_NOOP("kv::ConnectDialog", "FTP"), "ftp"},
    {QT_TRANSLATE_NOOP("kv::ConnectDialog", "Windows share (smb)"), "smb"},
    {QT_TRANSLATE_NOOP("kv::ConnectDialog", "WebDAV (dav)"), "dav"},
    {QT_TRANSLATE_NOOP("kv::ConnectDialog", "Secure WebDAV (davs)"), "davs"},
};

QLineEdit* field(QWidget* parent, const char* name, const QString& placeholder = {}) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setPlaceholderText(placeholder);
    return edit;
}

}  // namespace

ConnectDialog::ConnectDialog(const QStringList& recent, QWidget* parent) : QDialog(parent) {
    setObjectName("connectDialog");
    setWindowTitle(tr("Connect to Server"));
    auto* column = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    column->addLayout(form);
    if (!recent.isEmpty()) {
        m_recent = new QComboBox(this);
        m_recent->setObjectName("recentServers");
        m_recent->addItem(tr("(choose one to fill in the parts below)"));
        m_recent->addItems(recent);
        form->addRow(tr("&Recent servers:"), m_recent);
        connect(m_recent, &QComboBox::activated, this, [this](int index) {
            if (index > 0) fillFrom(m_recent->itemText(index));
        });
    }
    m_scheme = new QComboBox(this);
    m_scheme->setObjectName("scheme");
    for (const Kind& k : kKinds) m_scheme->addItem(tr(k.title), QString::fromLatin1(k.scheme));
    form->addRow(tr("&Type:"), m_scheme);
    m_server = field(this, "server", tr("name or address"));
    form->addRow(tr("&Server:"), m_server);
    m_port = field(this, "port", tr("the usual one"));
    form->addRow(tr("P&ort:"), m_port);
    m_folder = field(this, "folder", QStringLiteral("/"));
    form->addRow(tr("&Folder:"), m_folder);
    m_user = field(this, "user", tr("none given"));
    form->addRow(tr("&User:"), m_user);
    m_note = new QLabel(this);
    m_note->setObjectName("note");
    m_note->setWordWrap(true);
    m_note->setTextFormat(Qt::PlainText);
    m_note->hide();
    column->addWidget(m_note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* go = buttons->addButton(tr("C&onnect"), QDialogButtonBox::AcceptRole);
    go->setObjectName("connect");
    go->setDefault(true);
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ConnectDialog::tryConnect);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_server->setFocus();
    // Room for a long server name and folder.
    setMinimumWidth(fontMetrics().averageCharWidth() * 56);
}

QString ConnectDialog::address(QString* why) const {
    const QString host = m_server->text().trimmed();
    if (host.isEmpty()) {
        *why = tr("Name the server to connect to.");
        return {};
    }
    const QString port = m_port->text().trimmed();
    bool number = false;
    const int portNumber = port.toInt(&number);
    if (!port.isEmpty() && (!number || portNumber < 1 || portNumber > 65535 || port.startsWith('+'))) {
        *why = tr("The port is a number from 1 to 65535, or empty for the usual one.");
        return {};
    }
    QString text = m_scheme->currentData().toString() + "://";
    const QString user = m_user->text().trimmed();
    if (!user.isEmpty()) text += QString::fromLatin1(user.toUtf8().toPercentEncoding("", "@:/")) + '@';
    // An IPv6 address goes in brackets, as an address writes it.
    text += host.contains(':') && !host.startsWith('[') ? '[' + host + ']' : host;
    if (!port.isEmpty()) text += ':' + QString::number(portNumber);
    const QString folder = m_folder->text().trimmed();
    text +=
        QString::fromLatin1((folder.startsWith('/') ? folder : '/' + folder).toUtf8().toPercentEncoding("/"));
    const std::optional<RemoteLocation> where = RemoteLocation::parse(text.toStdString(), true);
    static const QRegularExpression notInHost(QStringLiteral("[/@?#%\\s]"));
    if (!where || host.contains(notInHost)) {
        *why = tr("“%1” is not the name or address of a server.").arg(host);
        return {};
    }
    return QString::fromStdString(where->uri());
}

void ConnectDialog::fillFrom(const QString& address) {
    const std::optional<RemoteLocation> where = RemoteLocation::parse(address.toStdString(), true);
    if (!where) return;
    const int kind = m_scheme->findData(QString::fromStdString(where->scheme));
    if (kind >= 0) m_scheme->setCurrentIndex(kind);
    m_server->setText(QString::fromStdString(where->host));
    m_port->setText(QString::fromStdString(where->port));
    m_folder->setText(QString::fromStdString(where->path));
    m_user->setText(QString::fromStdString(where->user));
    m_note->hide();
}

void ConnectDialog::tryConnect() {
    QString why;
    const QString text = address(&why);
    if (text.isEmpty()) {
        m_note->setText(why);
        m_note->show();
        return;
    }
    emit connectTo(text);
    accept();
}

}  // namespace kv
