#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QUrl>

class QMimeData;
class QWebEnginePage;

namespace kv {

class FolderPane;

// Web addresses dropped on a folder pane from another program's browser: a text/uri-list of http or
// https addresses, or text/x-moz-url and _NETSCAPE_URL as browsers send a link or a page. Each is
// downloaded into the folder through the web pane's profile (its session and cookies) as a download
// job: progress, the clash question and undo are those of any download. A drop that carries local
// files is a copy or a move and none of this.
class ForeignDrop : public QObject {
    Q_OBJECT
  public:
    // The http and https addresses the data carries, in order and once each; none when it carries
    // local files.
    static QList<QUrl> webUrlsOf(const QMimeData* data);
    // The pane's, made the first time it is needed.
    static ForeignDrop& of(FolderPane& view);

    // Starts downloading the data's addresses into folder (a folder on disk); false when it holds none.
    bool drop(const QMimeData* data, const QByteArray& folder);

    ~ForeignDrop() override;

  private:
    explicit ForeignDrop(FolderPane& view);
    // A page of the web pane's profile that is never shown and loads nothing: the downloads are
    // started from it, as the engine starts every download from a page.
    QWebEnginePage* fetcher();

    FolderPane& m_view;
    QWebEnginePage* m_page = nullptr;
};

}  // namespace kv
