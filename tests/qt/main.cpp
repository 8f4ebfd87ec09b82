// The widget tests share one QApplication; each test builds the windows it needs and drops them.

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include "platform/qt/browserview.h"
#include "platform/qt/previewschemehandler.h"

#if defined(__SANITIZE_ADDRESS__)
// The web engine's Chromium frees with a size its allocator shim does not match, and the system libraries
// (web engine, D-Bus, fontconfig, unloaded Qt plugins) keep allocations to the end of the process. Neither
// is ours; the core and file-engine tests keep full leak checking.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0:detect_leaks=0";
}
#endif

int main(int argc, char** argv) {
    // Without a display (plain ctest) the widgets still work on the offscreen platform; the web engine
    // tests need a real X display and are skipped there.
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // With no session bus, libdbus would fork a launcher when something asks for one (the web
    // engine's media code does); a forked child of a sanitized process can deadlock in its allocator.
    // An address that leads nowhere makes such a request fail at once instead.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrovan-tests-have-no-bus", 0);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox", 0);
    kv::BrowserView::chooseRendering();
    kv::PreviewSchemeHandler::registerScheme();
    QApplication app(argc, argv);
    kv::BrowserView::applicationMade();
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
