#include "platform/qt/location/foldercompletion.h"

#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QStringListModel>

#include "platform/fs/core/background.h"
#include "platform/fs/listing/subfolders.h"
#include "platform/qt/common/nametext.h"

namespace kv {

FolderCompletion::FolderCompletion(QLineEdit* line)
    : QObject(line), m_line(line), m_names(new QStringListModel(this)) {
    m_completer = new QCompleter(m_names, this);
    m_completer->setCaseSensitivity(Qt::CaseSensitive);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    line->setCompleter(m_completer);
    connect(line, &QLineEdit::textEdited, this, &FolderCompletion::typed);
}

QString FolderCompletion::expandedHome(const QString& text) {
    if (text == QLatin1String("~")) return QDir::homePath();
    if (text.startsWith(QLatin1String("~/"))) return QDir::homePath() + text.mid(1);
    return text;
}

void FolderCompletion::reset() {
    m_dir.clear();
    // Asked only while a popup shows: asking a completer for its popup makes one.
    if (QWidget* popup = QApplication::activePopupWidget(); popup && popup == m_completer->popup())
        popup->hide();
}

void FolderCompletion::typed(const QString& text) {
    const qsizetype slash = text.lastIndexOf('/');
    if (slash < 0 || !expandedHome(text).startsWith('/')) return;
    const QString dir = text.left(slash + 1);
    // Hidden folders are offered once their name is begun.
    const bool hidden = text.mid(slash + 1).startsWith('.');
    const QString key = dir + (hidden ? QStringLiteral("\n.") : QString());
    if (key == m_dir) return;
    m_dir = key;
    m_names->setStringList({});
    QByteArray real = QFile::encodeName(expandedHome(dir));
    if (!real.endsWith('/')) real += '/';
    runInBackground(
        this, [real, hidden] { return SubFolders::list(real, hidden); },
        [this, key, dir, real](const SubFolders::Result& r) {
            if (key != m_dir) return;
            QStringList names;
            m_offered.clear();
            for (const QByteArray& name : r.names) {
                const QString shown = dir + NameText::shown(name.toStdString());
                names << shown + '/';
                m_offered.insert(shown, real + name);
            }
            m_names->setStringList(names);
            if (m_line->hasFocus() && m_line->text().startsWith(dir)) {
                m_completer->setCompletionPrefix(m_line->text());
                if (m_completer->completionCount() > 0) m_completer->complete();
            }
        });
}

}  // namespace kv
