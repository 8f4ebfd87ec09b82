#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/fs/jobs/filejob.h"
#include "platform/fs/jobs/jobresolver.h"
#include "platform/fs/trash/trashdirs.h"
#include "platform/qt/jobs/dialogresolver.h"

class QDialog;
class QWidget;

namespace kv {

class UndoStack;
class ProgressWindow;

// The file operations of the whole program, shared by every folder view of every window: it runs
// the file jobs off the UI thread, shows a progress window for a job that takes longer than a moment,
// puts the jobs' questions (name clash, error) to the user in dialogs that never block the UI thread,
// and keeps the one undo stack. The front end owns one and hands it to its views (PaneServices); it
// outlives them.
class FileOperations : public QObject, public JobQuestions {
    Q_OBJECT
  public:
    using Done = std::function<void(const JobResult&)>;
    using ResolverFactory = std::function<std::shared_ptr<JobResolver>()>;

    explicit FileOperations(QObject* parent = nullptr);
    ~FileOperations() override;

    UndoStack* undoStack() const { return m_undo; }

    // Each returns the job's id. origin is the widget the user acted in: dialogs open over its window.
    quint64 copy(const QList<QByteArray>& sources, const QByteArray& targetDir, QWidget* origin,
                 Done done = {});
    quint64 move(const QList<QByteArray>& sources, const QByteArray& targetDir, QWidget* origin,
                 Done done = {});
    quint64 trash(const QList<QByteArray>& paths, QWidget* origin, Done done = {});
    // No confirmation here: the caller has asked.
    quint64 deletePermanently(const QList<QByteArray>& paths, QWidget* origin, Done done = {});
    quint64 rename(const QByteArray& path, const QByteArray& newName, QWidget* origin, Done done = {});
    quint64 newFolder(const QByteArray& dir, const QByteArray& name, QWidget* origin, Done done = {});
    // Undoes the newest entry of the undo stack, and says so when there is none or it cannot.
    void undo(QWidget* origin, Done done = {});
    // A quick job (a rename, a new folder) takes no time of its own: it shows no progress window, only
    // its questions.
    // asksAfter: reports of that problem are not told, done asks about them.
    quint64 run(std::unique_ptr<FileJob> job, const QString& title, QWidget* origin, bool undoable, Done done,
                bool quick = false, std::optional<JobProblem> asksAfter = std::nullopt);

    int runningJobs() const { return static_cast<int>(m_jobs.size()); }
    // What each running job does, as the user knows it: "Copying 3 items to “x” (34%)".
    QStringList runningJobTexts() const;
    // Before the program ends: cancels every job and waits, at most limit in all, for them to leave
    // their items whole (no partial file, a move's sources in place). A job blocked in a call that
    // does not return is left to end with the process.
    void stopAll(std::chrono::milliseconds limit);
    ProgressWindow* progressWindow(quint64 job) const;
    // Stops a job; one that has not stopped a second later (blocked in a call on a dead mount) is let
    // go and reported as stopped, with the item it was stuck on.
    void cancel(quint64 job);

    // For tests and tools: a trash folder of their own, the delay before a progress window shows, a
    // resolver that answers instead of the dialogs, and whether reports pop up or are only signalled.
    void setHomeTrash(const QByteArray& dir) { m_homeTrash = dir.toStdString(); }
    // Where jobs put what a Replace answer replaces (empty: the desktop's home trash).
    const std::string& homeTrash() const { return m_homeTrash; }
    // The volumes whose trash folders the trash shows and empties (default: every mounted one).
    void setTrashVolumes(TrashDirs::TopDirsFn topDirs) { m_trashVolumes = std::move(topDirs); }
    // Where trashed items are: the home trash above, and the volumes' trash folders.
    TrashDirs trashDirs() const { return TrashDirs(m_homeTrash, m_trashVolumes); }
    void setProgressDelay(int ms) { m_progressDelayMs = ms; }
    // How long a cancelled job may take to stop before it is let go (see cancel()).
    void setAbandonDelay(int ms) { m_abandonAfter = ms; }
    void setResolverFactory(ResolverFactory factory) { m_resolverFactory = std::move(factory); }
    void setReportsShown(bool shown) { m_showReports = shown; }

    // Called on the UI thread for a job's question; reply may be called later, from any thread.
    void askClash(quint64 job, const ClashRequest& request, JobResolver::ClashReply reply) override;
    void askError(quint64 job, const ErrorRequest& request, JobResolver::ErrorReply reply) override;

  signals:
    void jobFinished(quint64 job, const kv::JobResult& result);
    // A sentence for the user: what failed, what could not be undone.
    void reported(const QString& text);

  private:
    struct Job;

    quint64 transfer(bool move, const QList<QByteArray>& sources, const QByteArray& targetDir,
                     QWidget* origin, Done done);
    quint64 trashOnServer(const QList<QByteArray>& paths, QWidget* origin, Done done);
    void progressed(quint64 id, const JobProgress& progress);
    void finished(quint64 id, const JobResult& result);
    void abandon(quint64 id);
    void runUndo(UndoInfo info, const QString& description, QWidget* origin, Done done);
    void showProgress(quint64 id);
    QWidget* dialogParent(const Job& job) const;
    // Puts a question in front (over the progress window when it shows) and marks the job as waiting.
    void ask(Job& job, QDialog* question);
    void answered(quint64 id);
    void report(QWidget* origin, const QString& text);

    UndoStack* m_undo;
    std::map<quint64, std::unique_ptr<Job>> m_jobs;
    quint64 m_nextId = 1;
    std::string m_homeTrash;
    TrashDirs::TopDirsFn m_trashVolumes;
    int m_progressDelayMs = 500;
    int m_abandonAfter = 1000;
    ResolverFactory m_resolverFactory;
    bool m_showReports = true;
};

}  // namespace kv
