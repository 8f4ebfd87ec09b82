#include "platform/qt/desktop/terminal.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
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

#include "platform/fs/core/background.h"
#include "platform/fs/core/spawn.h"
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
    const QStringList words = m_left.takeFirst();
    m_trying = words.join(' ');
    std::vector<std::string> argv;
    for (const QString& w : words) argv.push_back(QFile::encodeName(w).toStdString());
    // In a session of its own: a Ctrl+C meant for this program does not reach it.
    pid_t pid = -1;
    const int rc = spawnDetachedQuiet(argv, pid, QFile::encodeName(m_folder).toStdString());
    if (rc != 0) {
        failed(rc == ENOENT ? tr("not installed") : tr("could not be started"));
        return;
    }
    // One that ends at once failed (or was a launcher that handed the window on: status 0); one that
    // still runs after a while works.
    auto* watch = new QTimer(this);
    auto* clock = new QElapsedTimer;
    clock->start();
    connect(watch, &QTimer::timeout, this, [this, watch, clock, pid] {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done != pid && clock->elapsed() < kSettleMs) return;
        watch->stop();
        watch->deleteLater();
        delete clock;
        if (done != pid) {
            // Running: reaped when it ends, by a thread that waits for it.
            background::runDetached([pid] { ::waitpid(pid, nullptr, 0); });
            settled();
        } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            settled();
        } else {
            failed(WIFSIGNALED(status) ? tr("ended at once")
                                       : tr("ended at once with status %1").arg(WEXITSTATUS(status)));
        }
    });
    watch->start(50);
}

void Terminal::failed(const QString& why) {
    m_tried << tr("%1: %2").arg(m_trying, why);
    tryNext();
}

void Terminal::settled() {
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
