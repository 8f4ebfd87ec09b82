#pragma once

#include <QWebEnginePage>

namespace kv {

class PreviewSchemeHandler;

// A quick look's page: it shows the one file it was given and goes nowhere else; links in it lead
// nowhere and it opens no windows.
class PreviewPage : public QWebEnginePage {
    Q_OBJECT
  public:
    PreviewPage(QWebEngineProfile* profile, const PreviewSchemeHandler& files, QObject* parent);

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override { return {}; }

  private:
    const PreviewSchemeHandler& m_files;
};

}  // namespace kv
