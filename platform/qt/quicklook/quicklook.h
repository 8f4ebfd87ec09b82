#pragma once

#include <QUrl>
#include <QWidget>

class QLabel;
class QWebEngineProfile;
class QWebEngineView;

namespace kv {

class FolderPane;
class PreviewInterceptor;
class PreviewPage;
class PreviewSchemeHandler;

// A quick look at the current file of a folder pane (Space): a window of its own beside the pane's
// window, showing the file read-only in a web view: web pages, PDF, images, SVG, audio and video as
// the engine shows them, text with its encoding guessed. It stands beside the pane, or where the pane
// fills the screen on the half away from the current item, never over that item: moving in the pane
// moves the preview along, and the window out of the item's way when it would cover it;
// when the pane shows another folder (navigation, Back, Up), the preview shows the new current item
// if it is a file and closes otherwise. Space or Escape closes it, in the pane or in the preview. The window
// opens without taking the focus, so the pane keeps the keys.
//
// The preview may read only that file: its page lives in a profile of its own that keeps nothing
// (no disk cache, no cookies), is served by a scheme handler that gives out the one file and refuses
// every other address, and loads nothing from the network or from other local files. A page that
// tried shows a bar ("Remote content blocked"), whose button lets that one page reach the network.
class QuickLook : public QWidget {
    Q_OBJECT
  public:
    // Opens the preview of the pane's current item, or closes it when it is open.
    static void toggle(FolderPane& view);
    // Closes the pane's preview; false when none was open.
    static bool closeFor(FolderPane& view);
    // The pane's preview window, or null when it never opened.
    static QuickLook* of(const FolderPane& view);

    ~QuickLook() override;

    QWebEngineView* webView() const { return m_web; }
    // The address of the file shown.
    QUrl shownUrl() const;
    QWidget* remoteBar() const { return m_bar; }
    // The bar's button: the page shown may reach the network, and is loaded again.
    void allowRemote();

    // Where the preview's frame goes on a screen's free area: beside the pane when there is room on
    // either side of it (the side with more), else beside the current item (at the screen's edge away
    // from it), else above or below it; as large as `wanted` allows.
    static QRect placeBeside(const QRect& area, const QRect& pane, const QRect& item, const QSize& wanted);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    explicit QuickLook(FolderPane& view);
    void follow();
    void rowsReplaced();
    void listed();
    void showPath(const QByteArray& path, bool isDir);
    void showFile(const QByteArray& path);
    // The copy of an archive's item shown is not needed any more.
    void dropCopy();
    void blocked(const QUrl& firstParty);
    void place();
    // The pane's window and current item on the screen.
    QRect paneOnScreen() const;
    QRect itemOnScreen() const;
    // Moved out of the way when the current item came under it.
    void keepItemInSight();
    void watch(QObject* object);

    FolderPane& m_view;
    QWebEngineProfile* m_profile;
    PreviewSchemeHandler* m_files;
    PreviewInterceptor* m_interceptor;
    PreviewPage* m_page;
    QWidget* m_bar;
    QLabel* m_barText;
    QWebEngineView* m_web;
    QByteArray m_path;
    QByteArray m_copy;  // of the item of an archive shown
    // The pane's rows were replaced (another folder): the next current item decides whether the
    // preview stays.
    bool m_rowsReplaced = false;
};

}  // namespace kv
