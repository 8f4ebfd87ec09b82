// A download from a loopback server through the program's own path (the web view's engine writing
// into the folder beside, the download job naming the file) against curl -o from the same server, in
// the same run and on the same filesystem (KV_BENCH_DIR, /tmp by default). 1 GiB unless
// KV_BENCH_DOWNLOAD_MB says otherwise. Every timed download starts after a sync; the two take turns
// going first. Prints a ROW line. Needs an X server (xvfb-run).
#include <netinet/in.h>
#include <spawn.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <cstring>
#include <thread>

#include "bench/benchutil.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/folderview/ownedpaneservices.h"
#include "platform/qt/web/webdownloads.h"

extern char** environ;

using namespace kv::bench;

namespace {

// Serves "/" as a small page and anything else as the file, each connection on a thread of its own,
// with sendfile: the server costs both clients the same and as little as it can.
int serve(const std::string& file) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return -1;
    std::thread([s, file] {
        for (;;) {
            const int c = accept4(s, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) return;
            std::thread([c, file] {
                char request[4096];
                const ssize_t n = read(c, request, sizeof request - 1);
                const bool page = n > 6 && std::strncmp(request, "GET / ", 6) == 0;
                if (page) {
                    const char reply[] =
                        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 38\r\nConnection: "
                        "close\r\n\r\n"
                        "<html><title>bench</title>page</html>";
                    (void)!write(c, reply, sizeof reply - 1);
                } else {
                    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
                    struct stat st {};
                    fstat(fd, &st);
                    char head[256];
                    const int h =
                        std::snprintf(head, sizeof head,
                                      "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                      "Content-Length: %lld\r\nConnection: close\r\n\r\n",
                                      static_cast<long long>(st.st_size));
                    (void)!write(c, head, static_cast<size_t>(h));
                    off_t off = 0;
                    while (off < st.st_size &&
                           sendfile(c, fd, &off, static_cast<size_t>(st.st_size - off)) > 0) {
                    }
                    close(fd);
                }
                shutdown(c, SHUT_WR);
                char drain[256];
                while (read(c, drain, sizeof drain) > 0) {
                }
                close(c);
            }).detach();
        }
    }).detach();
    return ntohs(a.sin_port);
}

double runCurl(const std::string& url, const std::string& out) {
    std::vector<std::string> args = {"curl", "-s", "-o", out, url};
    std::vector<char*> argv;
    for (auto& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    const double t0 = nowMs();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return nowMs() - t0;
}

off_t sizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 0);
    kv::BrowserView::chooseRendering();
    QApplication app(argc, argv);
    kv::BrowserView::applicationMade();
    const char* roundsEnv = std::getenv("KV_BENCH_ROUNDS");
    const int rounds = roundsEnv ? std::clamp(std::atoi(roundsEnv), 1, 3) : 3;  // the slowest row
    const char* mbEnv = std::getenv("KV_BENCH_DOWNLOAD_MB");
    const std::size_t mb = mbEnv ? static_cast<std::size_t>(std::max(1, std::atoi(mbEnv))) : 1024;
    const std::string work = makeTempDir("download");
    const std::string source = work + "/source.bin";
    writeData(source, mb << 20);
    const int port = serve(source);
    if (port < 0) return 1;
    const QString base = QString("http://127.0.0.1:%1/").arg(port);

    // A window as the program's: a folder pane beside a web pane.
    kv::OwnedPaneServices services;
    kv::FileOperations& ops = services.ops;
    ops.setReportsShown(false);
    QWidget window;
    window.resize(1200, 700);
    auto* pane = new kv::BrowserView(services, &window);
    pane->setObjectName("Hard");
    pane->setGeometry(0, 0, 600, 700);
    auto* web = new kv::BrowserView(services, &window);
    web->setGeometry(600, 0, 600, 700);
    window.show();
    web->navigate(base);
    QEventLoop loading;
    QTimer::singleShot(30000, &loading, &QEventLoop::quit);
    QObject::connect(web, &kv::BrowserView::locationChanged, &loading, [&] {
        if (web->locationName() == "bench") loading.quit();
    });
    loading.exec();

    // The rounds are downloads the page starts by itself, one after another: allowed, as a user
    // asked once would.
    kv::WebDownloads::of(web->webView()->page()->profile()).setAskSeveral([](QWidget*, const QString&) {
        return true;
    });
    std::vector<double> ours, curl, ratios;
    int made = 0;
    auto once = [&](bool ourPath) {
        const std::string into = work + "/into" + std::to_string(made++);
        mkdir(into.c_str(), 0755);
        sync();
        if (!ourPath) {
            curl.push_back(runCurl(base.toStdString() + "file.bin", into + "/file.bin"));
        } else {
            pane->openFolder(QByteArray::fromStdString(into));
            QEventLoop done;
            QObject::connect(&ops, &kv::FileOperations::jobFinished, &done, &QEventLoop::quit);
            const double t0 = nowMs();
            web->webView()->page()->download(QUrl(base + "file.bin"));
            done.exec();
            ours.push_back(nowMs() - t0);
        }
        if (sizeOf(into + "/file.bin") != static_cast<off_t>(mb << 20))
            std::fprintf(stderr, "%s: incomplete download into %s\n", ourPath ? "ours" : "curl",
                         into.c_str());
    };
    for (int k = 0; k < rounds; ++k) {
        once(k % 2 == 0);
        once(k % 2 != 0);
        ratios.push_back(curl.back() / ours.back());
    }
    if (std::getenv("KV_BENCH_VERBOSE"))
        for (int k = 0; k < rounds; ++k) std::fprintf(stderr, "ours %.0f curl %.0f\n", ours[k], curl[k]);
    removeTree(work);
    const double o = median(ours), c = median(curl), r = median(ratios);
    const double mib = static_cast<double>(mb);
    const std::string what = mb == 1024 ? "1 GiB" : std::to_string(mb) + " MiB";
    row("Download " + what + " from a loopback server: throughput",
        fmt("%.0f MiB/s", mib / (o / 1000)) + fmt(" (%.0f ms)", o),
        fmt("%.0f MiB/s", mib / (c / 1000)) + fmt(" (%.0f ms) curl -o", c), fmt("%.2f×", r), "≥ 0.9×",
        r >= 0.9);
    return 0;
}
