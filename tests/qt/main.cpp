// The widget tests share one QApplication; each test builds the windows it needs and drops them.

#include <gtest/gtest.h>

#include <QApplication>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/qt/browser/browserview.h"
#include "platform/qt/quicklook/previewschemehandler.h"

#if defined(__SANITIZE_ADDRESS__)
// The web engine's Chromium frees with a size its allocator shim does not match, and the system libraries
// (web engine, D-Bus, fontconfig, unloaded Qt plugins) keep allocations to the end of the process. Neither
// is ours; the core and file-engine tests keep full leak checking.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0:detect_leaks=0";
}
#endif

namespace {

// An X server of this process's own, so that tests run side by side (ctest -j) never share a screen:
// on a shared one, the windows of one test take the keyboard focus from another's. Xvfb looks for a
// free display itself and writes its number to the pipe once it accepts clients; it ends with us.
class OwnDisplay {
  public:
    bool start() {
        int ready[2];
        if (::pipe(ready) != 0) return false;
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid < 0) return false;
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(1);
            ::close(ready[0]);
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
            const std::string fd = std::to_string(ready[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "-nolisten",
                     "tcp", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ready[1]);
        std::string number;
        pollfd p{ready[0], POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, 20000) == 1 && ::read(ready[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(ready[0]);
        if (number.empty() || c != '\n') return false;
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
        return true;
    }
    ~OwnDisplay() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }

  private:
    pid_t m_pid = -1;
};

bool listingOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Given no display, the tests start an X server of their own (Xvfb); listing them needs none. Where
    // Xvfb is missing, the widgets still work on the offscreen platform; the web engine tests need a
    // real X display and are skipped there.
    OwnDisplay display;
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        if (listingOnly(argc, argv) || !display.start()) {
            if (!listingOnly(argc, argv)) std::fprintf(stderr, "No X server could be started: offscreen\n");
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
    }
    // With no session bus, libdbus would fork a launcher when something asks for one (the web
    // engine's media code does); a forked child of a sanitized process can deadlock in its allocator.
    // An address that leads nowhere makes such a request fail at once instead.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrovan-tests-have-no-bus", 0);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox", 0);
    // The program's own preferences file is looked for under the config folder: the tests get an
    // empty one of their own, so a developer's choices never change what a test sees.
    char configDir[] = "/tmp/kv-test-config-XXXXXX";
    if (::mkdtemp(configDir))
        setenv("KV_PREFERENCES", (std::string(configDir) + "/preferences.json").c_str(), 1);
    kv::BrowserView::chooseRendering();
    kv::PreviewSchemeHandler::registerScheme();
    QApplication app(argc, argv);
    kv::BrowserView::applicationMade();
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(configDir);
    return result;
}
