// The program start: the Qt front end and the settings store meet the system here.

#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/program.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/forms/qtfrontend.h"
#include "platform/qt/quicklook/previewschemehandler.h"
#include "platform/registry/registryapi.h"

namespace {

bool haveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
    if (!haveDisplay()) {
        std::fprintf(stderr,
                     "kestrovan: no display to open windows on (DISPLAY is not set); "
                     "try `xvfb-run make run`.\n");
        return 1;
    }
    // The web engine's sandbox cannot run as root; everyone else keeps it.
    if (geteuid() == 0 && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX")) {
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
        std::fprintf(stderr, "kestrovan: running as root, so the web pages' sandbox is off.\n");
    }
    kv::BrowserView::chooseRendering();
    kv::PreviewSchemeHandler::registerScheme();
    QApplication app(argc, argv);
    kv::BrowserView::applicationMade();
    QApplication::setApplicationName(QStringLiteral("kestrovan"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrovan"));
    QApplication::setQuitOnLastWindowClosed(
        false);  // switching views hides one window before showing the next

    kv::QtFrontend frontend;
    auto registry = kv::makeUserRegistry();
    kv::Program program(frontend, *registry);
    program.start();
    if (frontend.ended()) return 0;
    return QApplication::exec();
}
