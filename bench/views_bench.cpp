// Views of a big folder, stacked as a pane's tabs are: a new view set to a
// folder another view shows listed (it takes that view's rows) against the same view set to it alone
// (it lists the folder), and a switch between two views of 100,000 rows (the hidden one shown again).
// Prints ROW lines (see benchutil.h) with medians.
#include <QApplication>
#include <QStackedWidget>
#include <QTreeView>
#include <algorithm>
#include <functional>
#include <memory>

#include "bench/benchutil.h"
#include "bench/busyapp.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/folderview/ownedpaneservices.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/listing/folderwatch.h"

using namespace kv::bench;

namespace {

// A window of stacked views on one set of pane services, as a pane with tabs is.
struct Tabs {
    kv::OwnedPaneServices services;
    QStackedWidget stack;
    std::vector<std::unique_ptr<kv::FolderView>> views;

    Tabs() {
        stack.resize(900, 700);
        stack.show();
    }
    ~Tabs() {
        for (auto& v : views) stack.removeWidget(v.get());
        views.clear();
    }
    kv::FolderView& add() {
        views.push_back(std::make_unique<kv::FolderView>(services));
        stack.addWidget(views.back().get());
        return *views.back();
    }
    static QWidget* viewport(kv::FolderView& v) {
        return static_cast<QAbstractItemView*>(v.currentView())->viewport();
    }
    // Shows the folder in the view now on top and waits until it is listed and followed.
    void list(kv::FolderView& v, const std::string& dir) {
        stack.setCurrentWidget(&v);
        v.showFolder(QByteArray::fromStdString(dir));
        const QByteArray path = QByteArray::fromStdString(dir);
        if (!spinUntil([&] { return !v.model()->isLoading() && services.watch.isWatching(path); }, 60000))
            std::fprintf(stderr, "not listed\n");
        settle();
    }
    // A new view on top, set to the folder: the time until its rows are painted.
    Span newTab(const std::string& dir, bool bySize = false) {
        kv::FolderView& v = add();
        if (bySize) v.sortBy(kv::FolderModel::SizeColumn, Qt::DescendingOrder);
        settle();
        return timeToPaint(
            viewport(v),
            [&] {
                stack.setCurrentWidget(&v);
                v.showFolder(QByteArray::fromStdString(dir));
            },
            [&] { return !v.model()->isLoading() && v.model()->rowCount() > 0; });
    }
};

// One file rewritten in the folder the views show: the time until every view has its new size and
// the one on top has painted it.
Span touch(Tabs& tabs, const std::string& dir, int round) {
    const std::string name = "file50000.txt";
    std::vector<int> refreshed(tabs.views.size(), 0);
    std::vector<QMetaObject::Connection> links;
    for (size_t k = 0; k < tabs.views.size(); ++k)
        links.push_back(QObject::connect(tabs.views[k]->model(), &kv::FolderModel::refreshed,
                                         [&refreshed, k] { refreshed[k] = 1; }));
    auto* top = static_cast<kv::FolderView*>(tabs.stack.currentWidget());
    const Span s = timeToPaint(
        Tabs::viewport(*top),
        [&] {
            const int fd = open((dir + "/" + name).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            const std::string data(static_cast<size_t>(round % 7 + 1) * 10, 'x');
            if (fd < 0 || write(fd, data.data(), data.size()) < 0) std::fprintf(stderr, "not written\n");
            close(fd);
        },
        [&] { return std::all_of(refreshed.begin(), refreshed.end(), [](int r) { return r != 0; }); });
    for (const auto& l : links) QObject::disconnect(l);
    return s;
}

std::string ms(double v) {
    return fmt("%.1f ms", v);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    BusyApp app(argc, argv);
    const char* roundsEnv = std::getenv("KV_BENCH_ROUNDS");
    const int rounds = roundsEnv ? std::max(1, std::atoi(roundsEnv)) : 5;
    const int count = 100000;
    const std::string dir = makeTempDir("views");
    const std::string empty = makeTempDir("views-empty");
    fillFolder(dir, count);

    std::vector<double> firstTouch, laterTouch;
    std::vector<double> shared, sharedWall, bySize, bySizeWall, alone, aloneWall, switches, switchesWall;
    for (int k = 0; k < rounds; ++k) {
        {
            Tabs tabs;
            tabs.list(tabs.add(), dir);
            const Span s = tabs.newTab(dir);
            shared.push_back(s.ui);
            sharedWall.push_back(s.wall);
            if (tabs.views.back()->model()->rowCount() != count) std::fprintf(stderr, "rows missing\n");
            const Span o = tabs.newTab(dir, true);
            bySize.push_back(o.ui);
            bySizeWall.push_back(o.wall);
            // A change on disk: the first after the rows were taken copies them in the view that applies
            // it first (the other then holds them alone); a later one finds each view with its own.
            settle(300);
            firstTouch.push_back(touch(tabs, dir, 2 * k).ui);
            settle(300);
            laterTouch.push_back(touch(tabs, dir, 2 * k + 1).ui);
            // Two views of the folder: the one hidden is shown again, back and forth.
            kv::FolderView& a = *tabs.views[0];
            kv::FolderView& b = *tabs.views[1];
            for (int turn = 0; turn < 4; ++turn) {
                kv::FolderView& next = turn % 2 ? b : a;
                settle();
                const Span t = timeToPaint(
                    Tabs::viewport(next), [&] { tabs.stack.setCurrentWidget(&next); }, [] { return true; });
                switches.push_back(t.ui);
                switchesWall.push_back(t.wall);
            }
        }
        {
            Tabs tabs;
            tabs.list(tabs.add(), empty);
            const Span s = tabs.newTab(dir);
            alone.push_back(s.ui);
            aloneWall.push_back(s.wall);
        }
        settle(300);
    }
    const double s = median(shared), a = median(alone), o = median(bySize), t = median(switches);
    row("New tab showing a 100,000-entry folder another view shows: UI-thread time", ms(s),
        ms(a) + " listing it", fmt("%.2f×", s / a), "≤ 20 ms", s <= 20);
    row("New tab showing a 100,000-entry folder: wall time to the rows painted", ms(median(sharedWall)),
        ms(median(aloneWall)) + " listing it", fmt("%.2f×", median(sharedWall) / median(aloneWall)), "—",
        true);
    row("New tab showing it in another order (sorted on a worker): UI-thread time", ms(o),
        ms(median(bySizeWall)) + " wall", "—", "—", true);
    row("Hidden view of 100,000 rows shown again (tab switch without the tab bar): UI-thread time", ms(t),
        ms(median(switchesWall)) + " wall", "—", "≤ 16 ms", t <= 16);
    const double ft = median(firstTouch), lt = median(laterTouch);
    row("Touch one file in a 100,000-entry folder three tabs show: UI-thread time, first change after "
        "sharing",
        ms(ft), ms(lt) + " a later change", fmt("%.2f×", ft / lt), "≤ 1.2×", ft / lt <= 1.2);
    removeTree(dir);
    removeTree(empty);
    return 0;
}
