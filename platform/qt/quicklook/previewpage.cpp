#include "platform/qt/quicklook/previewpage.h"

#include "platform/qt/quicklook/previewinterceptor.h"
#include "platform/qt/quicklook/previewschemehandler.h"

namespace kv {

PreviewPage::PreviewPage(QWebEngineProfile* profile, const PreviewSchemeHandler& files, QObject* parent)
    : QWebEnginePage(profile, parent), m_files(files) {}

bool PreviewPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) {
    if (isMainFrame) return m_files.isAllowed(url);
    // Frames inside the page load by the interceptor's rules; a local file never.
    return !url.isLocalFile();
}

}  // namespace kv
