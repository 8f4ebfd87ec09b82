#include "platform/qt/location/targetdialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/fs/core/background.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/location/foldercompletion.h"

namespace kv {

TargetDialog::TargetDialog(const QString& question, const QString& action, const QByteArray& target,
                           QWidget* parent)
    : QDialog(parent) {
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
    new FolderCompletion(m_editor);
    layout->addWidget(m_editor);
    m_problem = new QLabel;
    m_problem->setObjectName("problem");
    m_problem->hide();
    layout->addWidget(m_problem);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    m_start = buttons->addButton(action, QDialogButtonBox::AcceptRole);
    QPushButton* start = m_start;
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    start->setDefault(true);  // once in the dialog: a default set before would not hold
    m_editor->selectAll();
    m_editor->setFocus();
}

void TargetDialog::accept() {
    QString typed = FolderCompletion::expandedHome(m_editor->text().trimmed());
    while (typed.size() > 1 && typed.endsWith('/')) typed.chop(1);
    const QByteArray path = QFile::encodeName(typed);
    const QString shown = m_editor->text();
    if (!typed.startsWith('/')) {
        m_problem->setText(tr("There is no folder at “%1”.").arg(shown));
        m_problem->show();
        return;
    }
    // Looked at off the UI thread: the folder may be on a mount that does not answer. Meanwhile the
    // dialog waits, its start button off.
    m_start->setEnabled(false);
    runInBackground(
        this, [path] { return pathtext::isDirectory(path); },
        [this, path, shown](bool isFolder) {
            m_start->setEnabled(true);
            if (!isFolder) {
                m_problem->setText(tr("There is no folder at “%1”.").arg(shown));
                m_problem->show();
                return;
            }
            m_target = path;
            QDialog::accept();
        });
}

}  // namespace kv
