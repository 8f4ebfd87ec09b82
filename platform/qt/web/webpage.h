#pragma once

#include <QString>
#include <QWebEnginePage>
#include <functional>

namespace kv {

class PageDialogs;

// A page of the web pane. Web pages stay web pages: they cannot open local files or folders, and a
// page's request for a new window opens in the same view rather than somewhere the user did not ask
// for. The file chooser a page opens is the program's own dialog, starting in the folder the view
// names (chooserFolder); the files it returns are the only ones the page gets that way.
class WebPage : public QWebEnginePage {
    Q_OBJECT
  public:
    using QWebEnginePage::QWebEnginePage;

    // Where the file chooser starts; by default the home folder.
    void setChooserFolder(std::function<QString()> folder) { m_chooserFolder = std::move(folder); }
    QString chooserFolder() const;
    // Where a link the user opens in a background tab (a middle click) goes; without it, the link
    // opens in this page.
    void setOpenInBackground(std::function<void(const QUrl&)> open) { m_openInBackground = std::move(open); }

    // The site a page is named by in questions: its host, or its whole address when it has none.
    static QString siteOf(const QUrl& url);

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;
    // A script's dialogs are panels over the page (PageDialogs), never windows of their own.
    void javaScriptAlert(const QUrl& origin, const QString& message) override;
    bool javaScriptConfirm(const QUrl& origin, const QString& message) override;
    bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& text,
                          QString* result) override;

  private:
    PageDialogs& dialogs();

    std::function<QString()> m_chooserFolder;
    std::function<void(const QUrl&)> m_openInBackground;
    PageDialogs* m_dialogs = nullptr;
};

}  // namespace kv
