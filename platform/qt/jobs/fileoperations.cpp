#include "platform/qt/jobs/fileoperations.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QVariant>
#include <algorithm>

#include "platform/fs/core/background.h"
#include "platform/fs/operations/deletejob.h"
#include "platform/fs/operations/newitemjob.h"
#include "platform/fs/operations/renamejob.h"
#include "platform/fs/operations/transferjob.h"
#include "platform/fs/operations/undojob.h"
#include "platform/fs/remote/remotejobs.h"
#include "platform/fs/trash/trashjob.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/jobs/clashdialog.h"
#include "platform/qt/jobs/errordialog.h"
#include "platform/qt/jobs/jobtexts.h"
#include "platform/qt/jobs/progresswindow.h"
#include "platform/qt/jobs/undostack.h"

namespace kv {

struct FileOperations::Job {
    std::unique_ptr<FileJob> job;
    QString title;
    QPointer<QWidget> origin;
    QPointer<ProgressWindow> window;
    QPointer<QDialog> question;
    bool undoable = false;
    bool quick = false;
    bool progressDue = false;  // the progress window's time came while a question was open
    // Reports of this problem are not told: the done callback asks what to do about them.
    std::optional<JobProblem> asksAfter;
    Done done;
    JobProgress last;
};

namespace {

using pathtext::countText;
using pathtext::nameOf;
using pathtext::toStd;

}  // namespace

FileOperations::FileOperations(QObject* parent) : QObject(parent), m_undo(new UndoStack(this)) {}

FileOperations::~FileOperations() {
    // Dropping the handles cancels the jobs; each thread cleans up its partial file and ends alone.
    m_jobs.clear();
}

quint64 FileOperations::transfer(bool move, const QList<QByteArray>& sources, const QByteArray& targetDir,
                                 QWidget* origin, Done done) {
    const QString title = (move ? tr("Moving %1 to “%2”") : tr("Copying %1 to “%2”"))
                              .arg(countText(sources), nameOf(targetDir));
    const TransferMode mode = move ? TransferMode::Move : TransferMode::Copy;
    std::vector<std::string> items = toStd(sources);
    std::vector<std::string> all = items;
    all.push_back(targetDir.toStdString());
    if (anyOnServer(all))
        return run(std::make_unique<RemoteTransferJob>(mode, std::move(items), targetDir.toStdString()),
                   title, origin, true, std::move(done));
    return run(std::make_unique<TransferJob>(mode, std::move(items), targetDir.toStdString(), m_homeTrash),
               title, origin, true, std::move(done));
}

quint64 FileOperations::copy(const QList<QByteArray>& sources, const QByteArray& targetDir, QWidget* origin,
                             Done done) {
    return transfer(false, sources, targetDir, origin, std::move(done));
}

quint64 FileOperations::move(const QList<QByteArray>& sources, const QByteArray& targetDir, QWidget* origin,
                             Done done) {
    return transfer(true, sources, targetDir, origin, std::move(done));
}

quint64 FileOperations::trash(const QList<QByteArray>& paths, QWidget* origin, Done done) {
    if (anyOnServer(toStd(paths))) return trashOnServer(paths, origin, std::move(done));
    return run(std::make_unique<TrashJob>(toStd(paths), m_homeTrash),
               tr("Moving %1 to the Trash").arg(countText(paths)), origin, true, std::move(done));
}

quint64 FileOperations::trashOnServer(const QList<QByteArray>& paths, QWidget* origin, Done done) {
    // Most servers have no trash: what can't go there is offered for deleting for good, in one question
    // for all, rather than reported as failed.
    auto asked = [this, origin = QPointer<QWidget>(origin), done = std::move(done)](const JobResult& r) {
        QList<QByteArray> kept;
        for (const JobReport& report : r.reports)
            if (report.problem == JobProblem::NoTrash) kept << QByteArray::fromStdString(report.path);
        if (kept.isEmpty() || r.cancelled) {
            if (done) done(r);
            return;
        }
        const QString what =
            kept.size() == 1 ? tr("“%1”").arg(nameOf(kept.front())) : tr("these %1 items").arg(kept.size());
        const QString text =
            tr("The server has no trash for %1. Delete permanently? This cannot be undone.").arg(what);
        if (!m_showReports) {  // tests and tools: said, and nothing deleted unasked
            emit reported(text);
            if (done) done(r);
            return;
        }
        auto* box =
            new QMessageBox(QMessageBox::Warning, tr("Delete permanently"), text,
                            QMessageBox::Yes | QMessageBox::Cancel, origin ? origin->window() : nullptr);
        box->setObjectName("confirmDelete");
        box->setDefaultButton(QMessageBox::Cancel);
        box->setAttribute(Qt::WA_DeleteOnClose);
        connect(box, &QMessageBox::finished, this, [this, box, kept, origin, done, r](int) {
            if (box->clickedButton() == box->button(QMessageBox::Yes))
                deletePermanently(kept, origin, done);
            else if (done)
                done(r);
        });
        box->open();
    };
    return run(std::make_unique<RemoteDeleteJob>(toStd(paths), true),
               tr("Moving %1 to the Trash").arg(countText(paths)), origin, true, std::move(asked), false,
               JobProblem::NoTrash);
}

quint64 FileOperations::deletePermanently(const QList<QByteArray>& paths, QWidget* origin, Done done) {
    if (anyOnServer(toStd(paths)))
        return run(std::make_unique<RemoteDeleteJob>(toStd(paths), false),
                   tr("Deleting %1").arg(countText(paths)), origin, false, std::move(done));
    return run(std::make_unique<DeleteJob>(toStd(paths)), tr("Deleting %1").arg(countText(paths)), origin,
               false, std::move(done));
}

quint64 FileOperations::rename(const QByteArray& path, const QByteArray& newName, QWidget* origin,
                               Done done) {
    std::unique_ptr<FileJob> job;
    if (anyOnServer({path.toStdString()}))
        job = std::make_unique<RemoteRenameJob>(path.toStdString(), newName.toStdString());
    else
        job = std::make_unique<RenameJob>(path.toStdString(), newName.toStdString());
    return run(std::move(job), tr("Renaming “%1”").arg(nameOf(path)), origin, true, std::move(done), true);
}

quint64 FileOperations::newFolder(const QByteArray& dir, const QByteArray& name, QWidget* origin, Done done) {
    std::unique_ptr<FileJob> job;
    if (anyOnServer({dir.toStdString()}))
        job = std::make_unique<RemoteNewFolderJob>(dir.toStdString(), name.toStdString());
    else
        job = std::make_unique<NewFolderJob>(dir.toStdString(), name.toStdString());
    return run(std::move(job), tr("Creating a folder in “%1”").arg(nameOf(dir)), origin, true,
               std::move(done), true);
}

void FileOperations::undo(QWidget* origin, Done done) {
    std::optional<UndoStack::Entry> entry = m_undo->pop();
    if (!entry) {
        report(origin, tr("There is nothing to undo."));
        if (done) done(JobResult{});
        return;
    }
    if (entry->info.unrestorable.empty()) {
        runUndo(std::move(entry->info), entry->description, origin, std::move(done));
        return;
    }
    // What a Replace answer destroyed for good (its volume has no trash) can't come back: the user
    // hears it before anything moves, and may keep things as they are.
    QStringList names;
    for (const std::string& p : entry->info.unrestorable) names << nameOf(QByteArray::fromStdString(p));
    const QString text = tr("Undo can't bring back what was replaced and could not be put in the trash: %1. "
                            "Undo the rest?")
                             .arg(names.join(QStringLiteral(", ")));
    if (!m_showReports) {
        emit reported(text);
        runUndo(std::move(entry->info), entry->description, origin, std::move(done));
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Question, tr("Undo %1").arg(entry->description), text,
                                QMessageBox::Yes | QMessageBox::No, origin ? origin->window() : nullptr);
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    auto kept = std::make_shared<UndoStack::Entry>(std::move(*entry));
    connect(box, &QMessageBox::finished, this,
            [this, box, kept, origin, done = std::move(done)](int) mutable {
                if (box->clickedButton() == box->button(QMessageBox::Yes)) {
                    runUndo(std::move(kept->info), kept->description, origin, std::move(done));
                    return;
                }
                m_undo->push(std::move(kept->info));  // not undone: still the newest thing to undo
                if (done) done(JobResult{});
            });
    box->open();
}

void FileOperations::runUndo(UndoInfo info, const QString& description, QWidget* origin, Done done) {
    std::vector<std::string> touched = info.created;
    for (const auto& [from, to] : info.moved) touched.insert(touched.end(), {from, to});
    std::unique_ptr<FileJob> job;
    if (anyOnServer(touched))
        job = std::make_unique<RemoteUndoJob>(std::move(info));
    else
        job = std::make_unique<UndoJob>(std::move(info), m_homeTrash);
    run(std::move(job), tr("Undo %1").arg(description), origin, false, std::move(done));
}

quint64 FileOperations::run(std::unique_ptr<FileJob> fileJob, const QString& title, QWidget* origin,
                            bool undoable, Done done, bool quick, std::optional<JobProblem> asksAfter) {
    const quint64 id = m_nextId++;
    auto job = std::make_unique<Job>();
    job->job = std::move(fileJob);
    job->title = title;
    job->origin = origin;
    job->undoable = undoable;
    job->quick = quick;
    job->done = std::move(done);
    job->asksAfter = asksAfter;
    job->job->setResolver(m_resolverFactory ? m_resolverFactory()
                                            : std::make_shared<DialogResolver>(this, *this, id));
    // The callbacks run on the job's thread and only post.
    const Receiver receiver(this);
    job->job->onProgress(
        [this, id, receiver](const JobProgress& p) { receiver.post([this, id, p] { progressed(id, p); }); });
    job->job->onFinished(
        [this, id, receiver](const JobResult& r) { receiver.post([this, id, r] { finished(id, r); }); });
    FileJob* raw = job->job.get();
    m_jobs.emplace(id, std::move(job));
    raw->start();
    QTimer::singleShot(m_progressDelayMs, this, [this, id] { showProgress(id); });
    return id;
}

QStringList FileOperations::runningJobTexts() const {
    QStringList texts;
    for (const auto& [id, job] : m_jobs) {
        const JobProgress& p = job->last;
        if (p.totalsKnown && p.bytesTotal > 0)
            texts << tr("%1 (%2%)")
                         .arg(job->title)
                         .arg(100 * std::min(p.bytesDone, p.bytesTotal) / p.bytesTotal);
        else
            texts << job->title;
    }
    return texts;
}

void FileOperations::stopAll(std::chrono::milliseconds limit) {
    for (auto& [id, job] : m_jobs) {
        if (job->question) job->question->close();
        job->job->cancel();
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (auto& [id, job] : m_jobs) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !job->job->waitFor(left)) break;
    }
}

ProgressWindow* FileOperations::progressWindow(quint64 id) const {
    auto it = m_jobs.find(id);
    return it == m_jobs.end() ? nullptr : it->second->window.data();
}

void FileOperations::cancel(quint64 id) {
    auto it = m_jobs.find(id);
    if (it == m_jobs.end()) return;
    it->second->job->cancel();
    // A job blocked in a call that never returns (a dead network or FUSE mount) can't see the request:
    // it is let go after a while, its thread left to end whenever the call does.
    QTimer::singleShot(m_abandonAfter, this, [this, id] { abandon(id); });
}

void FileOperations::abandon(quint64 id) {
    auto it = m_jobs.find(id);
    if (it == m_jobs.end() || it->second->job->isFinished()) return;  // its own result is on its way
    JobResult result;
    result.cancelled = true;
    result.reports.push_back({JobAction::Run, it->second->last.current, 0, JobProblem::NotAnswering});
    finished(id, result);  // the handle goes, which detaches the job: its late result goes nowhere
}

void FileOperations::progressed(quint64 id, const JobProgress& p) {
    auto it = m_jobs.find(id);
    if (it == m_jobs.end()) return;
    it->second->last = p;
    if (it->second->window) it->second->window->update(p);
}

void FileOperations::showProgress(quint64 id) {
    auto it = m_jobs.find(id);
    if (it == m_jobs.end() || it->second->window || it->second->quick) return;
    Job& job = *it->second;
    // A window opening now would cover the question; it opens once the question is answered.
    if (job.question) {
        job.progressDue = true;
        return;
    }
    QWidget* parent = job.origin ? job.origin->window() : nullptr;
    auto* window = new ProgressWindow(job.title, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(window, &ProgressWindow::pauseRequested, this, [this, id](bool paused) {
        auto j = m_jobs.find(id);
        if (j != m_jobs.end()) paused ? j->second->job->pause() : j->second->job->resume();
    });
    connect(window, &ProgressWindow::cancelRequested, this, [this, id] { cancel(id); });
    job.window = window;
    window->update(job.last);
    window->show();
}

QWidget* FileOperations::dialogParent(const Job& job) const {
    if (job.window && job.window->isVisible()) return job.window;
    return job.origin ? job.origin->window() : nullptr;
}

void FileOperations::askClash(quint64 id, const ClashRequest& request, JobResolver::ClashReply reply) {
    auto it = m_jobs.find(id);
    if (it == m_jobs.end()) {
        reply({ClashChoice::Cancel, false});
        return;
    }
    auto* dialog = new ClashDialog(request, dialogParent(*it->second));
    connect(dialog, &ClashDialog::answered, this, [this, id, reply](ClashDecision d) {
        reply(d);
        answered(id);
    });
    ask(*it->second, dialog);
}

void FileOperations::askError(quint64 id, const ErrorRequest& request, JobResolver::ErrorReply reply) {
    auto it = m_jobs.find(id);
    if (it == m_jobs.end()) {
        reply({ErrorChoice::Cancel, false});
        return;
    }
    auto* dialog = new ErrorDialog(request, dialogParent(*it->second));
    connect(dialog, &ErrorDialog::answered, this, [this, id, reply](ErrorDecision d) {
        reply(d);
        answered(id);
    });
    ask(*it->second, dialog);
}

void FileOperations::ask(Job& job, QDialog* question) {
    job.question = question;
    if (job.window) job.window->setWaiting(true);
    question->show();
    question->raise();
    question->activateWindow();
}

void FileOperations::answered(quint64 id) {
    auto it = m_jobs.find(id);
    if (it == m_jobs.end()) return;
    Job& job = *it->second;
    job.question = nullptr;
    if (job.window) job.window->setWaiting(false);
    if (job.progressDue) {
        job.progressDue = false;
        showProgress(id);
    }
}

void FileOperations::finished(quint64 id, const JobResult& result) {
    auto it = m_jobs.find(id);
    if (it == m_jobs.end()) return;
    std::unique_ptr<Job> job = std::move(it->second);
    m_jobs.erase(it);
    if (job->window) job->window->deleteLater();
    if (job->question) job->question->close();  // its late answer goes nowhere: the job has ended
    if (job->undoable) m_undo->push(result.undo);
    // What the user answered a question about was told once, in the question.
    std::vector<const JobReport*> untold;
    for (size_t k = 0; k < result.reports.size(); ++k)
        if (!std::binary_search(result.answered.begin(), result.answered.end(), k) &&
            result.reports[k].problem != job->asksAfter)
            untold.push_back(&result.reports[k]);
    if (!untold.empty()) {
        QString text = job->title + ":";
        const size_t shown = std::min<size_t>(untold.size(), 10);
        for (size_t k = 0; k < shown; ++k) text += "\n" + JobTexts::sentence(*untold[k]);
        if (untold.size() > shown) text += "\n" + tr("… and %1 more.").arg(untold.size() - shown);
        report(job->origin, text);
    }
    if (job->done) job->done(result);
    emit jobFinished(id, result);
}

void FileOperations::report(QWidget* origin, const QString& text) {
    emit reported(text);
    if (!m_showReports) return;
    auto* box = new QMessageBox(QMessageBox::Information, tr("Files"), text, QMessageBox::Ok,
                                origin ? origin->window() : nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

}  // namespace kv
