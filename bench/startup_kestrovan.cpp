// The program's start, step for step as app/main.cpp does it, with one addition: it writes "painted"
// on stdout once Form1 has painted with both drive panes listed. The settings (start page) come
// from the hive under $XDG_CONFIG_HOME that the timer prepared; the first run writes them.
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/program.h"
#include "bench/paintwatchapp.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/forms/qtfrontend.h"
#include "platform/qt/tabs/browsertabs.h"
#include "platform/registry/registryapi.h"
#include "settings/settingskeys.h"

namespace {

bool paneListed(QWidget* form1, const char* name) {
    auto* tabs = form1->findChild<kv::BrowserTabs*>(QString::fromLatin1(name));
    kv::BrowserView* view = tabs ? tabs->current() : nullptr;
    // Started to restore a session: the pane counts once its tabs are back.
    static const int restored = std::getenv("KV_BENCH_TABS") ? std::atoi(std::getenv("KV_BENCH_TABS")) : 0;
    if (restored > 0 && tabs && tabs->count() != restored) return false;
    return view && view->showsFolder() && !view->folderView()->model()->isLoading() &&
           !view->folderView()->folder().isEmpty();
}

}  // namespace

int main(int argc, char** argv) {
    if (geteuid() == 0 && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX"))
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    kv::BrowserView::chooseRendering();
    kv::bench::PaintWatchApp app(argc, argv);
    kv::BrowserView::applicationMade();
    QApplication::setApplicationName(QStringLiteral("kestrovan"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrovan"));
    QApplication::setQuitOnLastWindowClosed(false);

    bool reported = false;
    app.onPainted([&](QWidget* w) {
        if (reported || w->objectName() != QLatin1String("Form1") || !w->isVisible()) return;
        if (!paneListed(w, "Hard") || !paneListed(w, "floppy")) {
            // Not ready yet: the next change of a pane repaints it.
            return;
        }
        reported = true;
        std::printf("painted\n");
        std::fflush(stdout);
    });

    kv::QtFrontend frontend;
    auto registry = kv::makeUserRegistry();
    kv::Program program(frontend, *registry);
    if (program.reg().ReadRegString(kv::kHkeyCurrentUser, kv::kSettingsKey, kv::kStartPageRead) !=
        "about:blank")
        program.reg().WriteRegString(kv::kHkeyCurrentUser, kv::kSettingsKey, kv::kStartPageWrite,
                                     "about:blank");
    program.start();
    if (frontend.ended()) return 0;
    return QApplication::exec();
}
