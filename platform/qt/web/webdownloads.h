#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;
class QWidget;

namespace kv {

class FileOperations;
class FolderPane;
class DownloadFeed;
class ReferrerInterceptor;

// Where the downloads of a web profile go, and how: each is a download job of the file operations
// (progress window, pause, cancel, name clash, undo) that saves into the folder of the pane beside
// the page (DownloadsPane), without asking. A page whose "kvAskWhere" property is true (Save Link
// As…) asks where instead, once; so does a page in a window without a folder pane. A page's things
// dropped on a folder pane go to that pane's folder (saveInto), also from a page no view shows.
class WebDownloads : public QObject {
    Q_OBJECT
  public:
    // The one of a profile, made (and connected to its downloads) the first time it is asked for.
    static WebDownloads& of(QWebEngineProfile* profile);

    // Downloads url through the page's own session (its cookies, the page as referrer) into folder,
    // as a job started from origin (its window holds the questions).
    void saveInto(QWebEnginePage* page, const QUrl& url, const QByteArray& folder, QWidget* origin);
    // Saves bytes that are here already (a text, a link file) as a download job.
    static void saveData(FileOperations& ops, const QByteArray& folder, const QString& name, QByteArray bytes,
                         const QUrl& origin, const QUrl& referrer, QWidget* from);

    // Asks for a path to save to (suggested: a path with the offered name); empty when refused.
    using AskWhere = std::function<QString(QWidget* parent, const QString& suggested)>;
    // Tests answer for the user here; none puts the dialog back.
    void setAskWhere(AskWhere ask);
    // Asks whether a site may download several files that no click started; the answer holds for the
    // site for the rest of the run.
    using AskSeveral = std::function<bool(QWidget* parent, const QString& site)>;
    void setAskSeveral(AskSeveral ask);

  private:
    struct Pending {
        QPointer<QWebEnginePage> page;
        QUrl url;
        QByteArray folder;
        QByteArray referrer;
        QPointer<QWidget> origin;
        QElapsedTimer since;
    };

    explicit WebDownloads(QWebEngineProfile* profile);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void requested(QWebEngineDownloadRequest* request);
    // A download that no click or key started: the first of a page goes; for any after it the user is
    // asked once per site (a page must not fill a folder by clicking its own links). False: refused.
    bool allowedUnprompted(QWebEnginePage* page, QWidget* view, QWebEngineDownloadRequest* request);
    bool takePending(QWebEnginePage* page, const QUrl& url, Pending& out);
    // target: a pane showing folder, where the download is announced and its file selected.
    void start(QWebEngineDownloadRequest* request, FileOperations& ops, const QByteArray& folder,
               const QString& name, bool replace, const QByteArray& referrer, QWidget* origin,
               FolderPane* target);

    struct Running {
        QPointer<QWebEngineDownloadRequest> request;
        std::shared_ptr<DownloadFeed> feed;
    };

    std::vector<Pending> m_pending;
    std::map<quint32, Running> m_running;  // by the engine's id of the download
    AskWhere m_askWhere;
    AskSeveral m_askSeveral;
    std::map<QString, bool> m_severalAllowed;  // site -> the user's answer, for this run
};

}  // namespace kv
