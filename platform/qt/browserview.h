#pragma once

#include <QByteArray>
#include <QStackedWidget>
#include <QString>
#include <vector>

class QWebEngineView;

namespace kv {

class FolderView;
class FileOperations;

// One control that shows folders and web pages, with one history. Navigate decides by the text: a drive
// list entry (its volume name dropped), an absolute path, a file: URL or the trash ("trash:/") opens the
// folder view; anything else is a web address. The web engine is created the first time this view needs it.
class BrowserView : public QStackedWidget {
    Q_OBJECT
  public:
    struct Location {
        bool folder = false;
        QByteArray path;  // folders: raw bytes
        QString address;  // web pages: what the engine is given
    };
    // What a location text names. Pure: no filesystem access, so a hung mount cannot stall the caller.
    static Location classify(const QString& text);

    // Chooses how web pages are drawn; call it before the application object is made. Without a
    // graphics processor they are drawn in software (see the definition).
    static void chooseRendering();
    // Call it right after the application object is made.
    static void applicationMade();

    // Every view of the program gets the same file operations: one undo stack, one folder watcher.
    // They outlive the view.
    explicit BrowserView(FileOperations& ops, QWidget* parent = nullptr);

    void navigate(const QString& text);
    // One step back in the history; nothing when there is no earlier page.
    void goBack();
    void stop();
    // The folder's name, or the page's title (its address while it has none).
    QString locationName() const;

    FolderView* folderView() const { return m_folder; }
    QWebEngineView* webView() const { return m_web; }
    bool showsFolder() const;
    // What takes the keyboard focus when the focus moves into this view: its list or its page.
    QWidget* focusTarget() const;

  signals:
    void locationChanged();

  private:
    static bool s_glIntegrationSet;
    void show(const Location& where);
    void ensureWeb();

    FolderView* m_folder;
    QWebEngineView* m_web = nullptr;
    std::vector<Location> m_history;
    int m_position = -1;
};

}  // namespace kv
