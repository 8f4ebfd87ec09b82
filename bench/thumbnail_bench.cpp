// Photo previews in the icon view: a folder of 2,000 generated 1600×1200 JPEG photos shown in the real
// folder view's icon mode (900×700); the time from showFolder until a frame shows a preview for every
// row in sight, with an empty thumbnail cache (each is decoded and written to the cache) and with a
// filled one (each is read from it); the longest UI-thread stall meanwhile. The baseline is decoding
// the same screen's photos at the thumbnail size one after another on one thread, with no view.
//
//   bench_thumbnails      prints ROW lines (see benchutil.h) with medians
#include <QAbstractScrollArea>
#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>
#include <functional>

#include "bench/benchutil.h"
#include "bench/paintwatchapp.h"
#include "bench/stallprobe.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/folderview/ownedpaneservices.h"
#include "platform/qt/thumbnails/folderthumbnails.h"
#include "platform/qt/thumbnails/thumbnailmaker.h"

using namespace kv::bench;

namespace {

constexpr int kPhotos = 2000;

// Photo-like content (gradients, shapes, noise) so the JPEGs are of a camera's size and decode cost;
// a few variants are encoded once and written round, as copying is what makes 2,000 of them quick.
void makePhotos(const std::string& dir) {
    std::vector<QByteArray> variants;
    for (int v = 0; v < 8; ++v) {
        QImage img(1600, 1200, QImage::Format_RGB32);
        QPainter p(&img);
        QLinearGradient g(0, 0, 1600, 1200);
        g.setColorAt(0, QColor::fromHsv(v * 45, 160, 230));
        g.setColorAt(1, QColor::fromHsv((v * 45 + 120) % 360, 200, 80));
        p.fillRect(img.rect(), g);
        std::srand(v + 1);
        for (int i = 0; i < 400; ++i) {
            p.setBrush(QColor::fromHsv(std::rand() % 360, 150, 200, 120));
            p.setPen(Qt::NoPen);
            p.drawEllipse(std::rand() % 1600, std::rand() % 1200, 20 + std::rand() % 200,
                          20 + std::rand() % 200);
        }
        p.end();
        for (int y = 0; y < 1200; y += 2)
            for (int x = 0; x < 1600; x += 3) {
                const QRgb c = img.pixel(x, y);
                const int n = std::rand() % 24 - 12;
                img.setPixel(x, y,
                             qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255),
                                  std::clamp(qBlue(c) + n, 0, 255)));
            }
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        img.save(&buffer, "JPEG", 88);
        variants.push_back(jpeg);
    }
    for (int i = 0; i < kPhotos; ++i) {
        QFile f(QString::fromStdString(dir) + QString::asprintf("/IMG_%04d.jpg", i));
        if (!f.open(QIODevice::WriteOnly) || f.write(variants[i % variants.size()]) < 0)
            std::fprintf(stderr, "could not write a photo\n");
    }
    std::fprintf(stderr, "photos: %d of %lld KiB each\n", kPhotos,
                 static_cast<long long>(variants.front().size() / 1024));
}

// With KV_BENCH_TRACE set, each event that takes longer than 15 ms is reported: where a stall is.
class TracingApp : public PaintWatchApp {
  public:
    using PaintWatchApp::PaintWatchApp;
    bool notify(QObject* receiver, QEvent* e) override {
        if (!m_trace || m_depth++ > 0) {
            const bool r = PaintWatchApp::notify(receiver, e);
            if (m_trace) --m_depth;
            return r;
        }
        const double t0 = nowMs();
        const int type = e->type();
        const bool r = PaintWatchApp::notify(receiver, e);
        --m_depth;
        if (const double took = nowMs() - t0; took > 15)
            std::fprintf(stderr, "slow event %d to %s: %.1f ms\n", type, receiver->metaObject()->className(),
                         took);
        return r;
    }

  private:
    bool m_trace = std::getenv("KV_BENCH_TRACE") != nullptr;
    int m_depth = 0;
};

bool spinUntil(const std::function<bool()>& done, double timeoutMs) {
    const double end = nowMs() + timeoutMs;
    while (!done()) {
        if (nowMs() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

void settle(double ms = 100) {
    const double end = nowMs() + ms;
    while (nowMs() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct Screen {
    double painted = -1;  // showFolder to the frame with every preview in sight
    double stall = 0;
    double listed = -1;  // the first frame with the whole listing in it
    int rows = 0;        // rows in sight
};

Screen firstScreen(PaintWatchApp& app, const std::string& dir) {
    kv::OwnedPaneServices services;
    kv::FolderView view(services);
    view.resize(900, 700);
    view.setMode(kv::FolderView::Mode::Icons);
    view.show();
    settle();
    kv::FolderThumbnails* thumbs = view.thumbnails();
    Screen s;
    double t0 = 0;
    app.onPainted([&](QWidget* w) {
        if (s.painted >= 0 || w != view.window() || view.model()->isLoading()) return;
        if (s.listed < 0) s.listed = nowMs() - t0;
        const auto [first, last] = thumbs->visibleRows();
        if (last < first) return;
        for (int r = first; r <= last; ++r)
            if (thumbs->iconFor(r).isNull()) return;
        s.painted = nowMs() - t0;
        s.rows = last - first + 1;
    });
    StallProbe stall;
    stall.start();
    t0 = nowMs();
    view.showFolder(QByteArray::fromStdString(dir));
    if (!spinUntil([&] { return s.painted >= 0; }, 60000)) std::fprintf(stderr, "previews timed out\n");
    s.stall = stall.stop();
    app.onPainted({});
    // Let the next screen's work finish before the view goes, as a user's would.
    spinUntil([&] { return thumbs->idle(); }, 60000);
    if (std::getenv("KV_BENCH_TRACE")) {
        QWidget* viewport = static_cast<QAbstractScrollArea*>(view.currentView())->viewport();
        const double p0 = nowMs();
        for (int i = 0; i < 10; ++i) viewport->repaint();
        std::fprintf(stderr, "a full repaint of the icon view: %.1f ms\n", (nowMs() - p0) / 10);
    }
    return s;
}

double decodeFloor(const std::string& dir, int count) {
    const double t0 = nowMs();
    for (int i = 0; i < count; ++i) {
        QImageReader reader(QString::fromStdString(dir) + QString::asprintf("/IMG_%04d.jpg", i));
        const QSize full = reader.size();
        reader.setScaledSize(full.scaled(128, 128, Qt::KeepAspectRatio));
        if (reader.read().isNull()) std::fprintf(stderr, "could not decode\n");
    }
    return nowMs() - t0;
}

// One thread making the screen's thumbnails as a worker does (decode, write to the cache, fit), against
// decoding alone: what the cache's writing costs.
double makeOnOneThread(const std::string& dir, int count, const std::string& cache) {
    kv::ThumbnailMaker::Options o;
    o.cacheRoot = QString::fromStdString(cache + "/one-thread");
    const kv::ThumbnailMaker maker(o);
    const double t0 = nowMs();
    for (int i = 0; i < count; ++i) {
        const QByteArray path = QByteArray::fromStdString(dir) + QByteArray("/IMG_") +
                                QByteArray::number(i).rightJustified(4, '0') + ".jpg";
        if (maker.thumbnail(path, QStringLiteral("image/jpeg"), 64).isNull())
            std::fprintf(stderr, "no thumbnail\n");
    }
    const double t = nowMs() - t0;
    removeTree(cache + "/one-thread");
    return t;
}

std::string ms(double v) {
    return fmt("%.1f ms", v);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TracingApp app(argc, argv);
    const char* roundsEnv = std::getenv("KV_BENCH_ROUNDS");
    const int rounds = roundsEnv ? std::max(1, std::atoi(roundsEnv)) : 5;

    const std::string dir = makeTempDir("photos");
    const std::string cache = makeTempDir("thumbcache");
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache));
    makePhotos(dir);

    if (std::getenv("KV_BENCH_TRACE")) {
        StallProbe idle;
        idle.start();
        settle(2000);
        std::fprintf(stderr, "longest gap of an idle event loop over 2 s: %.1f ms\n", idle.stop());
    }
    std::vector<double> cold, warm, coldStall, warmStall, floor;
    int rows = 0;
    for (int k = 0; k < rounds; ++k) {
        removeTree(cache + "/thumbnails");
        const Screen c = firstScreen(app, dir);
        const Screen w = firstScreen(app, dir);
        cold.push_back(c.painted);
        coldStall.push_back(c.stall);
        warm.push_back(w.painted);
        warmStall.push_back(w.stall);
        rows = c.rows;
        floor.push_back(decodeFloor(dir, rows));
        if (std::getenv("KV_BENCH_TRACE"))
            std::fprintf(stderr, "one thread: decode %.1f ms, make and write %.1f ms\n", floor.back(),
                         makeOnOneThread(dir, rows, cache));
        if (std::getenv("KV_BENCH_TRACE"))
            std::fprintf(stderr, "listed and painted: %.1f ms, %.1f ms\n", c.listed, w.listed);
        std::fprintf(
            stderr,
            "round %d: %d rows in sight, empty cache %.1f ms (stall %.1f), filled %.1f ms (stall %.1f)\n", k,
            c.rows, c.painted, c.stall, w.painted, w.stall);
    }
    const double c = median(cold), w = median(warm), f = median(floor);
    const std::string n = std::to_string(rows);
    row("2,000 photos, icon view: first screen's " + n + " previews painted, empty cache", ms(c),
        ms(f) + " decoding them on one thread", fmt("%.2f×", c / f), "≤ 1000 ms", c <= 1000);
    row("2,000 photos, icon view: first screen's previews painted, filled cache", ms(w), "—", "—", "≤ 100 ms",
        w <= 100);
    const double stall = std::max(median(coldStall), median(warmStall));
    row("2,000 photos, icon view: longest UI-thread stall", ms(stall), "—", "—", "≤ 50 ms", stall <= 50);
    removeTree(dir);
    removeTree(cache);
    return 0;
}
