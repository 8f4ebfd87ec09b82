#include "platform/qt/location/targetdialog.h"

#include <sys/stat.h>

#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

#include "platform/fs/core/background.h"
#include "platform/fs/listing/subfolders.h"
#include "platform/qt/common/nametext.h"

namespace kv {

namespace {

QString expanded(const QString& typed) {
    if (typed == "~" || typed.startsWith("~/")) return QDir::homePath() + typed.mid(1);
    return typed;
}

}  // namespace

TargetDialog::TargetDialog(const QString& question, const QString& action, const QByteArray& target,
                           QWidget* parent)
    : QDialog(parent), m_completions(new QStringListModel(this)) {
    setObjectName("targetDialog");
    setWindowTitle(action);
    setMinimumWidth(520);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(question);
    label->setWordWrap(true);
    layout->addWidget(label);
    m_editor = new QLineEdit(NameText::shown(target.toStdString()));
    m_editor->setObjectName("target");
    label->setBuddy(m_editor);
    auto* completer = new QCompleter(m_completions, this);
    completer->setCaseSensitivity(Qt::CaseSensitive);
    m_editor->setCompleter(completer);
    connect(m_editor, &QLineEdit::textEdited, this, &TargetDialog::complete);
    layout->addWidget(m_editor);
    m_problem = new QLabel;
    m_problem->setObjectName("problem");
    m_problem->hide();
    layout->addWidget(m_problem);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    QPushButton* start = buttons->addButton(action, QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    start->setDefault(true);  // once in the dialog: a default set before would not hold
    m_editor->selectAll();
    m_editor->setFocus();
}

void TargetDialog::complete(const QString& typed) {
    const qsizetype slash = typed.lastIndexOf('/');
    if (slash < 0 || !expanded(typed).startsWith('/')) return;
    const QString dir = typed.left(slash + 1);
    const bool hidden = typed.mid(slash + 1).startsWith('.');
    const QString key = dir + (hidden ? QStringLiteral("\n.") : QString());
    if (key == m_completionDir) return;
    m_completionDir = key;
    m_completions->setStringList({});
    const QByteArray real = QFile::encodeName(expanded(dir));
    // Listing a folder may block on a dead mount: the names arrive when they are read.
    runInBackground(
        this, [real, hidden] { return SubFolders::list(real, hidden); },
        [this, key, dir](const SubFolders::Result& r) {
            if (key != m_completionDir) return;
            QStringList names;
            for (const QByteArray& name : r.names) names << dir + NameText::shown(name.toStdString()) + '/';
            m_completions->setStringList(names);
            QCompleter* completer = m_editor->completer();
            if (m_editor->hasFocus() && m_editor->text().startsWith(dir)) {
                completer->setCompletionPrefix(m_editor->text());
                if (completer->completionCount() > 0) completer->complete();
            }
        });
}

void TargetDialog::accept() {
    QString typed = expanded(m_editor->text().trimmed());
    while (typed.size() > 1 && typed.endsWith('/')) typed.chop(1);
    const QByteArray path = QFile::encodeName(typed);
    struct stat st {};
    if (!typed.startsWith('/') || ::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        m_problem->setText(tr("There is no folder at “%1”.").arg(m_editor->text()));
        m_problem->show();
        return;
    }
    m_target = path;
    QDialog::accept();
}

}  // namespace kv
