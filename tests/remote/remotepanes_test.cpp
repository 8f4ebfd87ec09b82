// Two panes of one window, one on a local folder and one on an sftp server of the test's own: a folder
// tree copied to the server and back with the keys a person uses keeps every byte, and the commands
// that change files work on the server (new folder, rename, delete, undo).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QHBoxLayout>
#include <QImage>
#include <QTest>
#include <fstream>
#include <memory>
#include <sstream>

#include "fs/tempdir.h"
#include "platform/fs/search/searchquery.h"
#include "platform/qt/desktop/applications.h"
#include "platform/qt/folderview/foldercommands.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/folderview/ownedpaneservices.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/search/folderfind.h"
#include "platform/qt/thumbnails/thumbnailmaker.h"
#include "remote/servers.h"

namespace kv::test {
namespace {

constexpr int kPanesLimit = 60000;

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool present(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class RemotePanes : public ::testing::Test {
  protected:
    // One server for the suite: a server started anew may get the port of the one before, whose mount
    // GVfs is still taking down.
    static void SetUpTestSuite() { shared = new SshServer; }
    static void TearDownTestSuite() {
        delete shared;
        shared = nullptr;
    }
    static SshServer* shared;
    SshServer& server = *shared;
    TempDir local, served, config;
    std::unique_ptr<OwnedPaneServices> services = std::make_unique<OwnedPaneServices>();
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    FolderView* left = nullptr;
    FolderView* right = nullptr;
    QStringList said;

    void SetUp() override {
        ASSERT_TRUE(server.running()) << server.problem();
        services->ops.setReportsShown(false);
        services->ops.setHomeTrash(QByteArray::fromStdString(config / "Trash"));
        services->ops.setTrashVolumes([] { return std::vector<std::string>{}; });
        QObject::connect(&services->ops, &FileOperations::reported, [this](const QString& t) { said << t; });
        auto* row = new QHBoxLayout(window.get());
        left = new FolderView(*services);
        right = new FolderView(*services);
        row->addWidget(left);
        row->addWidget(right);
        window->resize(1000, 500);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        show(left, local.path());
        show(right, server.address(served.path()));
    }

    void show(FolderView* view, const std::string& where) {
        int error = -1;
        QString why;
        const QMetaObject::Connection c =
            QObject::connect(view->model(), &FolderModel::listed, [&](int e, const QString& text) {
                error = e;
                why = text;
            });
        view->showFolder(QByteArray::fromStdString(where));
        const bool ended = QTest::qWaitFor([&] { return error >= 0; }, kPanesLimit);
        QObject::disconnect(c);
        ASSERT_TRUE(ended) << where;
        ASSERT_EQ(error, 0) << where << ": " << why.toStdString();
    }
    // Selects a row once the view lists it (a job's refresh comes a moment after the job).
    bool select(FolderView* view, const char* name) {
        return QTest::qWaitFor([&] { return view->selectName(name); }, kPanesLimit);
    }
    bool idle() {
        return QTest::qWaitFor([&] { return services->ops.runningJobs() == 0; }, kPanesLimit);
    }
    void keys(FolderView* view, QKeyCombination combination) {
        view->focusItems();
        QTest::keyClick(view->currentView(), combination.key(), combination.keyboardModifiers());
    }
};

SshServer* RemotePanes::shared = nullptr;

TEST_F(RemotePanes, AFolderTreeGoesToTheServerAndBackWhole) {
    ::mkdir((local / "tree").c_str(), 0755);
    ::mkdir((local / "tree/sub").c_str(), 0755);
    std::string big(3 << 20, '\0');
    for (size_t k = 0; k < big.size(); ++k) big[k] = static_cast<char>((k * 7919) >> 3);
    writeFile(local / "tree/sub/big.bin", big);
    writeFile(local / "tree/été à deux.txt", "accents and a space");
    writeFile(local / "tree/empty", "");
    ASSERT_TRUE(select(left, "tree"));
    keys(left, Qt::CTRL | Qt::SHIFT | Qt::Key_C);
    ASSERT_TRUE(idle());
    EXPECT_TRUE(said.isEmpty()) << said.join('\n').toStdString();
    EXPECT_EQ(fileBytes(served / "tree/sub/big.bin"), big);
    EXPECT_EQ(fileBytes(served / "tree/été à deux.txt"), "accents and a space");
    EXPECT_TRUE(present(served / "tree/empty"));

    // Back into another local folder, from the server's pane.
    ::mkdir((local / "back").c_str(), 0755);
    show(left, local / "back");
    ASSERT_TRUE(select(right, "tree"));
    keys(right, Qt::CTRL | Qt::SHIFT | Qt::Key_C);
    ASSERT_TRUE(idle());
    EXPECT_TRUE(said.isEmpty()) << said.join('\n').toStdString();
    EXPECT_EQ(fileBytes(local / "back/tree/sub/big.bin"), big);
    EXPECT_EQ(fileBytes(local / "back/tree/été à deux.txt"), "accents and a space");

    // Undo takes the copy back out of this folder; the server's copy stays.
    keys(left, Qt::CTRL | Qt::Key_Z);
    ASSERT_TRUE(idle());
    EXPECT_FALSE(present(local / "back/tree"));
    EXPECT_TRUE(present(served / "tree/sub/big.bin"));
}

TEST_F(RemotePanes, NewFolderRenameAndDeleteOnTheServer) {
    writeFile(served / "old.txt", "x");
    right->refresh();
    keys(right, Qt::CTRL | Qt::SHIFT | Qt::Key_N);
    ASSERT_TRUE(idle());
    EXPECT_TRUE(present(served / "New Folder"));

    // Renamed in place, as on disk.
    services->ops.rename(right->folder() + "/old.txt", "new.txt", right);
    ASSERT_TRUE(idle());
    EXPECT_EQ(fileBytes(served / "new.txt"), "x");

    // The server has no trash: Delete asks (here: says) before anything goes; deleting for good works.
    said.clear();
    ASSERT_TRUE(select(right, "new.txt"));
    keys(right, Qt::Key_Delete);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !said.isEmpty(); }, kPanesLimit));
    EXPECT_TRUE(said.front().contains("no trash")) << said.front().toStdString();
    EXPECT_TRUE(present(served / "new.txt"));
    FolderCommands::deleteSelection(*right, false);
    ASSERT_TRUE(idle());
    EXPECT_FALSE(present(served / "new.txt"));
}

TEST_F(RemotePanes, ASearchByNameWalksTheServer) {
    for (const char* dir : {"a", "a/b", "a/b/c"}) ::mkdir((served / dir).c_str(), 0755);
    for (const char* file : {"a/report.txt", "a/b/c/report-2.txt", "a/other.txt"})
        writeFile(served / file, "r");
    SearchQuery query;
    query.name = "report";
    right->startSearch(query);
    ASSERT_TRUE(QTest::qWaitFor([&] { return right->model()->isSearch() && !right->model()->isLoading(); },
                                kPanesLimit));
    QStringList found;
    for (int row = 0; row < right->model()->rowCount(); ++row)
        found << QString::fromStdString(right->model()->entryAt(row).name);
    found.sort();
    EXPECT_EQ(found, (QStringList{"a/b/c/report-2.txt", "a/report.txt"}));

    // Content is not searched over the network: said, and nothing started.
    query.content = "r";
    right->find()->endSearch();
    right->startSearch(query);
    EXPECT_FALSE(right->model()->isSearch());
}

TEST_F(RemotePanes, APictureOnTheServerHasAPreviewKeptByItsAddress) {
    QImage picture(300, 200, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString(served / "p.png")));
    ThumbnailMaker::Options options;
    options.cacheRoot = QString::fromStdString(config / "thumbnails");
    const ThumbnailMaker maker(options);
    const QByteArray where = QByteArray::fromStdString(server.address(served / "p.png"));
    EXPECT_EQ(maker.thumbnail(where, "image/png", 128).size(), QSize(128, 85));
    const QStringList kept = QDir(options.cacheRoot + "/normal").entryList(QDir::Files);
    EXPECT_EQ(kept.size(), 1);
}

TEST_F(RemotePanes, AnApplicationForLocalFilesGetsATemporaryCopy) {
    // An application that takes paths only (%f), and copies what it is given where the test looks.
    const std::string apps = std::string(qgetenv("XDG_DATA_HOME").constData()) + "/applications";
    ASSERT_EQ(::system(("mkdir -p '" + apps + "'").c_str()), 0);
    writeFile(apps + "/kv-test-reader.desktop",
              "[Desktop Entry]\nType=Application\nName=Reader\nExec=sh -c 'cp \"$1\" \"$0\"' " +
                  (local / "got") + " %f\n");
    writeFile(served / "doc.txt", "from the server");
    const QString why = Applications::launch("kv-test-reader.desktop",
                                             {QByteArray::fromStdString(server.address(served / "doc.txt"))});
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fileBytes(local / "got") == "from the server"; }, kPanesLimit));
}

}  // namespace
}  // namespace kv::test
