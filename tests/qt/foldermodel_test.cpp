// The folder model on its own, over real temporary folders: Qt's model checker through every kind of
// change, the incremental refresh of named entries, and models dropped while their work is in flight.

#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <atomic>
#include <mutex>

#include "filemanager_support.h"
#include "platform/fs/core/background.h"
#include "platform/fs/listing/folderlistingsource.h"
#include "platform/fs/listing/sortkey.h"
#include "platform/qt/listing/foldermodel.h"

namespace kv::test {
namespace {

// What a model asked of its source: whole listings, and the names it looked at again.
struct SourceLog {
    std::mutex mutex;
    int listings = 0;
    std::vector<std::vector<std::string>> nameRefreshes;

    int listingCount() {
        std::lock_guard lock(mutex);
        return listings;
    }
    std::vector<std::vector<std::string>> names() {
        std::lock_guard lock(mutex);
        return nameRefreshes;
    }
};

class CountingSource : public ListingSource {
  public:
    CountingSource(const std::string& path, std::shared_ptr<SourceLog> log)
        : m_inner(path), m_log(std::move(log)) {}
    void start(BatchFn onBatch, DoneFn onDone) override {
        {
            std::lock_guard lock(m_log->mutex);
            ++m_log->listings;
        }
        m_inner.start(std::move(onBatch), std::move(onDone));
    }
    void refreshNames(std::vector<std::string> names, NamesFn onNames) override {
        {
            std::lock_guard lock(m_log->mutex);
            m_log->nameRefreshes.push_back(names);
        }
        m_inner.refreshNames(std::move(names), std::move(onNames));
    }
    void cancel() override { m_inner.cancel(); }

  private:
    FolderListingSource m_inner;
    std::shared_ptr<SourceLog> m_log;
};

ListingSourceFactory countingSources(std::shared_ptr<SourceLog> log) {
    return [log](const std::string& path) { return std::make_unique<CountingSource>(path, log); };
}

// Collects what QAbstractItemModelTester finds wrong (it reports through warnings here).
class TesterFailures {
  public:
    TesterFailures() {
        s_failures.clear();
        m_previous =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
                if (type != QtDebugMsg && text.contains(QLatin1String("FAIL"))) s_failures << text;
            });
    }
    ~TesterFailures() { qInstallMessageHandler(m_previous); }
    QStringList failures() const { return s_failures; }

  private:
    static inline QStringList s_failures;
    QtMessageHandler m_previous;
};

struct ModelFixture {
    TempDir dir;
    std::shared_ptr<SourceLog> log = std::make_shared<SourceLog>();
    std::unique_ptr<FolderModel> model = std::make_unique<FolderModel>(nullptr, countingSources(log));

    bool list() {
        model->setFolder(QByteArray::fromStdString(dir.path()));
        return waitFor([&] { return !model->isLoading(); });
    }
    // Refreshes the names and waits until the model applied them.
    bool refreshNames(const std::vector<std::string>& names) {
        bool done = false;
        auto c = QObject::connect(model.get(), &FolderModel::refreshed, [&] { done = true; });
        model->refreshNames(names);
        const bool ok = waitFor([&] { return done; });
        QObject::disconnect(c);
        return ok;
    }
    bool refresh() {
        bool done = false;
        auto c = QObject::connect(model.get(), &FolderModel::refreshed, [&] { done = true; });
        model->refresh();
        const bool ok = waitFor([&] { return done; });
        QObject::disconnect(c);
        return ok;
    }
    std::vector<std::string> rows() const {
        std::vector<std::string> out;
        for (int row = 0; row < model->rowCount(); ++row) out.push_back(model->entryAt(row).name);
        return out;
    }
    int row(const std::string& name) const { return model->rowOfName(QByteArray::fromStdString(name)); }
};

void touch(const std::string& path, const std::string& data) {
    writeFile(path, data);
}

TEST(FolderModel, PassesQtsModelCheckThroughEveryKindOfChange) {
    TesterFailures failures;
    ModelFixture f;
    for (int k = 0; k < 300; ++k) touch(f.dir / ("f" + std::to_string(k)), std::string(k % 7, 'x'));
    touch(f.dir / ".hidden", "");
    QAbstractItemModelTester tester(f.model.get(), QAbstractItemModelTester::FailureReportingMode::Warning);
    ASSERT_TRUE(f.list());
    EXPECT_EQ(f.model->rowCount(), 300);

    touch(f.dir / "f5", "grown");
    ::unlink((f.dir / "f6").c_str());
    touch(f.dir / "new", "");
    ASSERT_TRUE(f.refresh());
    EXPECT_EQ(f.model->rowCount(), 300);

    f.model->sort(FolderModel::SizeColumn, Qt::DescendingOrder);
    touch(f.dir / "f7", "much longer than any other");
    ::unlink((f.dir / "f8").c_str());
    touch(f.dir / "newer", "");
    ASSERT_TRUE(f.refreshNames({"f7", "f8", "newer"}));
    EXPECT_EQ(f.row("f7"), 0);
    EXPECT_LT(f.row("f8"), 0);

    f.model->setShowHidden(true);
    EXPECT_EQ(f.model->rowCount(), 301);
    f.model->setShowHidden(false);
    f.model->sort(FolderModel::NameColumn, Qt::AscendingOrder);
    EXPECT_EQ(f.model->rowCount(), 300);
    EXPECT_TRUE(failures.failures().isEmpty()) << failures.failures().join('\n').toStdString();
}

// Each row: what happens to the disk, the names the watcher would report, and the rows then.
TEST(FolderModel, RefreshingNamedEntriesLooksAtThoseOnly) {
    struct Row {
        const char* what;
        std::function<void(const TempDir&)> change;
        std::vector<std::string> names;
        std::vector<std::string> rows;
    };
    const std::vector<Row> table = {
        {"a file rewritten", [](const TempDir& d) { touch(d / "b", "bigger"); }, {"b"}, {"a", "b", "c"}},
        {"a file created", [](const TempDir& d) { touch(d / "bb", ""); }, {"bb"}, {"a", "b", "bb", "c"}},
        {"a file deleted", [](const TempDir& d) { ::unlink((d / "a").c_str()); }, {"a"}, {"b", "c"}},
        {"a file renamed",
         [](const TempDir& d) { ::rename((d / "a").c_str(), (d / "z").c_str()); },
         {"a", "z"},
         {"b", "c", "z"}},
        {"a name that never was", [](const TempDir&) {}, {"nothing"}, {"a", "b", "c"}},
    };
    for (const Row& r : table) {
        SCOPED_TRACE(r.what);
        ModelFixture f;
        for (const char* n : {"a", "b", "c"}) touch(f.dir / n, "");
        ASSERT_TRUE(f.list());
        QPersistentModelIndex c(f.model->index(f.row("c"), 0));
        r.change(f.dir);
        ASSERT_TRUE(f.refreshNames(r.names));
        EXPECT_EQ(f.rows(), r.rows);
        EXPECT_EQ(f.log->listingCount(), 1) << "no listing again";
        ASSERT_EQ(f.log->names().size(), 1u);
        EXPECT_EQ(f.log->names()[0].size(), r.names.size()) << "only the names";
        EXPECT_EQ(c.row(), f.row("c")) << "an untouched row's index follows it";
    }
    ModelFixture f;
    touch(f.dir / "b", "");
    ASSERT_TRUE(f.list());
    touch(f.dir / "b", "12345");
    ASSERT_TRUE(f.refreshNames({"b"}));
    EXPECT_EQ(f.model->entryAt(0).size, 5u);
}

// Sorted by size, a file that grows moves; the selection goes with it.
TEST(FolderModel, AChangedRowMovesWithItsSelection) {
    ModelFixture f;
    for (int k = 0; k < 50; ++k) touch(f.dir / ("f" + std::to_string(k)), std::string(k, 'x'));
    ASSERT_TRUE(f.list());
    f.model->sort(FolderModel::SizeColumn, Qt::AscendingOrder);
    QItemSelectionModel selection(f.model.get());
    selection.select(f.model->index(f.row("f3"), 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    bool moved = false;
    QObject::connect(f.model.get(), &QAbstractItemModel::rowsMoved, [&] { moved = true; });
    touch(f.dir / "f3", std::string(100, 'x'));
    ASSERT_TRUE(f.refreshNames({"f3"}));
    EXPECT_TRUE(moved);
    EXPECT_EQ(f.row("f3"), 49);
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(selection.selectedRows().front().row(), 49);
}

// A change reported while the listing still runs is looked at once it ends, not dropped.
TEST(FolderModel, NamesReportedDuringAListingAreNotLost) {
    ModelFixture f;
    for (int k = 0; k < 20000; ++k) touch(f.dir / ("f" + std::to_string(k)), "");
    f.model->setFolder(QByteArray::fromStdString(f.dir.path()));
    ASSERT_TRUE(f.model->isLoading());
    touch(f.dir / "late", "");
    ::unlink((f.dir / "f1").c_str());
    bool refreshed = false;
    QObject::connect(f.model.get(), &FolderModel::refreshed, [&] { refreshed = true; });
    f.model->refreshNames({"late"});
    f.model->refreshNames({"f1"});
    ASSERT_TRUE(waitFor([&] { return refreshed; }, 20000));
    EXPECT_GE(f.row("late"), 0);
    EXPECT_LT(f.row("f1"), 0);
    EXPECT_EQ(f.model->rowCount(), 20000);
    EXPECT_EQ(f.log->listingCount(), 1);
    ASSERT_EQ(f.log->names().size(), 1u) << "both at once";
}

// A big folder reaches the views a bounded chunk at a time (each merge is a relayout of every row for
// them), and the listing ends only once the last chunk is in: nothing held back, nothing twice.
TEST(FolderModel, ABigListingArrivesInBoundedChunksAndEndsWhole) {
    ModelFixture f;
    for (int k = 0; k < 20000; ++k) touch(f.dir / ("f" + std::to_string(k)), "");
    int last = 0, biggest = 0, steps = 0, atListed = -1;
    auto grew = [&] {
        biggest = std::max(biggest, f.model->rowCount() - last);
        last = f.model->rowCount();
        ++steps;
    };
    QObject::connect(f.model.get(), &QAbstractItemModel::rowsInserted, grew);
    QObject::connect(f.model.get(), &QAbstractItemModel::layoutChanged, grew);
    QObject::connect(f.model.get(), &FolderModel::listed, [&] { atListed = f.model->rowCount(); });
    f.model->setFolder(QByteArray::fromStdString(f.dir.path()));
    ASSERT_TRUE(waitFor([&] { return atListed >= 0; }, 20000));
    EXPECT_EQ(atListed, 20000);
    EXPECT_LE(biggest, 4096);
    EXPECT_GE(steps, 5);
    for (int row = 1; row < f.model->rowCount(); ++row)
        ASSERT_LT(SortKey::make(f.model->entryAt(row - 1).name), SortKey::make(f.model->entryAt(row).name))
            << row;
}

// A model may go at any moment: nothing its workers bring back afterwards may touch it.
TEST(FolderModel, DroppedWhileItsWorkIsInFlight) {
    TempDir big;
    for (int k = 0; k < 25000; ++k) touch(big / ("f" + std::to_string(k)), "");
    // Until the workers are done and what they brought back has been delivered or dropped.
    auto drainEvents = [] { EXPECT_TRUE(waitFor([] { return background::inFlight() == 0; }, 20000)); };
    {
        // Listing, batches on the pool.
        FolderModel model;
        model.setFolder(QByteArray::fromStdString(big.path()));
        ASSERT_TRUE(waitFor([&] { return model.rowCount() > 0; }));
    }
    drainEvents();
    {
        // A big re-sort on a worker.
        FolderModel model;
        model.setFolder(QByteArray::fromStdString(big.path()));
        ASSERT_TRUE(waitFor([&] { return !model.isLoading(); }, 20000));
        model.sort(FolderModel::TypeColumn, Qt::DescendingOrder);
    }
    drainEvents();
    {
        // Names being looked at, and a whole refresh.
        FolderModel model;
        model.setFolder(QByteArray::fromStdString(big.path()));
        ASSERT_TRUE(waitFor([&] { return !model.isLoading(); }, 20000));
        model.refreshNames({"f1", "f2"});
        model.refresh();
    }
    drainEvents();
    {
        // Another folder while the first one's work is in flight: its results are for the old rows.
        FolderModel model;
        model.setFolder(QByteArray::fromStdString(big.path()));
        model.sort(FolderModel::SizeColumn, Qt::AscendingOrder);
        TempDir small;
        touch(small / "only", "");
        model.setFolder(QByteArray::fromStdString(small.path()));
        ASSERT_TRUE(waitFor([&] { return !model.isLoading(); }));
        drainEvents();
        EXPECT_EQ(model.rowCount(), 1);
    }
}

}  // namespace
}  // namespace kv::test
