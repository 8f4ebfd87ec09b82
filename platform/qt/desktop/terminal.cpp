#include "platform/qt/desktop/terminal.h"

#include <unistd.h>

#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <iterator>

#include "platform/qt/common/wholetitle.h"

namespace kv {

namespace {

// Debian's choice of the user's terminal first, then the terminals of the common desktops.
const char* const kKnown[] = {"x-terminal-emulator",
                              "gnome-terminal",
                              "konsole",
                              "xfce4-terminal",
                              "mate-terminal",
                              "lxterminal",
                              "qterminal",
                              "terminator",
                              "tilix",
                              "alacritty",
                              "kitty",
                              "foot",
                              "urxvt",
                              "xterm"};

}  // namespace

QList<QStringList> Terminal::candidates() {
    QList<QStringList> out;
    const QString chosen =
        QProcessEnvironment::systemEnvironment().value(QStringLiteral("TERMINAL")).trimmed();
    if (const QStringList words = QProcess::splitCommand(chosen); !words.isEmpty()) out << words;
    for (const char* name : kKnown)
        if (!QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty()) out << QStringList{name};
    // With nothing found, the message still says what was looked for.
    if (out.isEmpty()) out << QStringList{QStringLiteral("x-terminal-emulator")};
    return out;
}

void Terminal::open(const QString& folder, QWidget* parent) {
    // Lives while it tries, and goes once a terminal runs or none does.
    (new Terminal(folder, parent))->tryNext();
}

Terminal::Terminal(const QString& folder, QWidget* parent)
    : m_folder(folder), m_parent(parent), m_left(candidates()) {
    m_noneKnown = std::none_of(std::begin(kKnown), std::end(kKnown), [](const char* name) {
        return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty();
    });
    // Made by a view that may go meanwhile: the message then has no window.
    connect(parent, &QObject::destroyed, this, [this] { m_parent = nullptr; });
}

void Terminal::tryNext() {
    if (m_left.isEmpty()) {
        giveUp();
        return;
    }
    QStringList words = m_left.takeFirst();
    m_trying = words.join(' ');
    // Not a child of anything here: a terminal still open when this program ends stays open.
    m_process = new QProcess;
    m_process->setProgram(words.takeFirst());
    m_process->setArguments(words);
    m_process->setWorkingDirectory(m_folder);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(QProcess::nullDevice());
    // A session of its own: a Ctrl+C meant for this program does not reach it.
    m_process->setChildProcessModifier([] { ::setsid(); });
    QProcess* process = m_process;
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || process != m_process) return;
        process->deleteLater();
        const bool missing = QStandardPaths::findExecutable(process->program()).isEmpty() &&
                             !QFileInfo(process->program()).isExecutable();
        failed(missing ? tr("not installed") : tr("could not be started"));
    });
    connect(process, &QProcess::finished, this, [this, process](int code, QProcess::ExitStatus status) {
        if (process != m_process) return;
        if (status == QProcess::NormalExit && code == 0) {
            settled();  // a launcher that handed the window to a server
            return;
        }
        failed(status == QProcess::CrashExit ? tr("ended at once")
                                             : tr("ended at once with status %1").arg(code));
    });
    QTimer::singleShot(kSettleMs, this, [this, process] {
        if (process == m_process) settled();
    });
    m_process->start();
}

void Terminal::failed(const QString& why) {
    m_tried << tr("%1: %2").arg(m_trying, why);
    m_process = nullptr;
    tryNext();
}

void Terminal::settled() {
    m_process = nullptr;
    deleteLater();
}

void Terminal::giveUp() {
    deleteLater();
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Open Terminal"),
                                tr("No terminal could be started in “%1”.").arg(m_folder), QMessageBox::Close,
                                m_parent ? m_parent->window() : nullptr);
    box->setObjectName("noTerminal");
    QStringList known;
    for (const char* name : kKnown) known << QString::fromLatin1(name);
    // When none of them is there, the message names them all, so the user knows what would do.
    const QString lookedFor =
        m_noneKnown ? tr("None of these is installed: %1.").arg(known.join(", ")) + "\n\n" : QString();
    box->setInformativeText(tr("Tried:") + '\n' + m_tried.join('\n') + "\n\n" + lookedFor +
                            tr("Install a terminal that provides x-terminal-emulator, or name yours in the "
                               "TERMINAL environment variable."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    WholeTitle::fit(box);
    box->open();
}

}  // namespace kv
