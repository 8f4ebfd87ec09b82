// The start-up baseline: a bare Qt window holding one QWebEngineView. Writes "painted" on stdout
// once the window first painted, then waits to be killed.
#include <unistd.h>

#include <QUrl>
#include <QWebEngineView>
#include <cstdio>
#include <cstdlib>

#include "bench/paintwatchapp.h"

int main(int argc, char** argv) {
    // The same environment as the program's start (its main does this as root).
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    kv::bench::PaintWatchApp app(argc, argv);
    QWidget window;
    auto* view = new QWebEngineView(&window);
    window.resize(1024, 768);
    view->resize(1024, 768);
    view->setUrl(QUrl(QStringLiteral("about:blank")));
    bool reported = false;
    app.onPainted([&](QWidget* w) {
        if (reported || w != &window) return;
        reported = true;
        std::printf("painted\n");
        std::fflush(stdout);
    });
    window.show();
    return QApplication::exec();
}
