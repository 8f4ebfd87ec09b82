#include <archive.h>
#include <archive_entry.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <algorithm>
#include <filesystem>

#include "filemanager_support.h"
#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/archives/compressjob.h"
#include "platform/fs/archives/tempcopies.h"
#include "platform/fs/places/location.h"
#include "platform/qt/archives/archivemimedata.h"
#include "platform/qt/archives/archiveplace.h"
#include "platform/qt/archives/compressdialog.h"
#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/folderview/folderactions.h"
#include "platform/qt/folderview/foldercommands.h"
#include "platform/qt/jobs/undostack.h"

namespace kv::test {
namespace {

// A folder holding pack.zip (top/a.txt, top/sub/b.txt), and a view that goes where it is asked, as
// the browser view does.
class ArchiveView : public ::testing::Test {
  protected:
    ViewFixture f;
    TempDir made;
    TempDir copiesBase;
    std::shared_ptr<TempCopies> copies = std::make_shared<TempCopies>(copiesBase.path());
    std::string zip;

    void SetUp() override {
        f.services->archives.setTempCopies(copies);
        ::mkdir((made / "top").c_str(), 0755);
        ::mkdir((made / "top/sub").c_str(), 0755);
        writeFile(made / "top/a.txt", "alpha");
        writeFile(made / "top/sub/b.txt", "beta");
        zip = f.dir / "pack.zip";
        CompressJob job({made / "top"}, zip, ArchiveFormat::Zip);
        job.start();
        job.wait();
        ASSERT_TRUE(job.result().ok());
        QObject::connect(f.view.get(), &FolderView::folderRequested, f.view.get(),
                         [this](const QByteArray& p) { f.view->showFolder(p); });
        ASSERT_TRUE(f.show(f.dir.path()));
    }

    QStringList names() {
        QStringList out;
        for (int row = 0; row < f.view->model()->rowCount(); ++row) out << f.view->model()->nameAt(row);
        out.sort();
        return out;
    }
    bool at(const std::string& location) {
        return waitFor([&] {
            return f.view->folder() == QByteArray::fromStdString(location) && !f.view->model()->isLoading();
        });
    }
    QByteArray item(const std::string& inner) const {
        return QByteArray::fromStdString(ArchiveLocation::make(zip, inner));
    }
    // The paths of the file: URIs of a list, and whether every line was one.
    static QList<QByteArray> filePaths(const QByteArray& list, bool& allFiles) {
        QList<QByteArray> out;
        allFiles = true;
        for (const QByteArray& line : list.split('\n')) {
            const QByteArray uri = line.trimmed();
            if (uri.isEmpty() || uri == "copy") continue;
            const QByteArray path = ClipboardFormat::pathOf(uri);
            allFiles = allFiles && uri.startsWith("file://") && !path.isEmpty();
            out << path;
        }
        return out;
    }
    void enter(const char* name) {
        ASSERT_TRUE(f.view->selectName(name));
        QTest::keyClick(f.view->currentView(), Qt::Key_Return);
    }
};

TEST_F(ArchiveView, OpensLikeAFolderAndUpLeavesIt) {
    enter("pack.zip");
    ASSERT_TRUE(at(ArchiveLocation::make(zip)));
    EXPECT_EQ(names(), QStringList{"top"});
    enter("top");
    ASSERT_TRUE(at(ArchiveLocation::make(zip, "top")));
    EXPECT_EQ(names(), (QStringList{"a.txt", "sub"}));
    const int row = f.view->model()->rowOfName("a.txt");
    EXPECT_EQ(f.view->model()->index(row, FolderModel::SizeColumn).data().toString().isEmpty(), false);

    QTest::keyClick(f.view->currentView(), Qt::Key_Backspace);
    ASSERT_TRUE(at(ArchiveLocation::make(zip)));
    QTest::keyClick(f.view->currentView(), Qt::Key_Backspace);
    ASSERT_TRUE(at(f.dir.path()));
    // Out of the archive, it is the item selected: Enter goes straight back in.
    ASSERT_TRUE(waitFor(
        [&] { return f.view->selectedPaths() == QList<QByteArray>{QByteArray::fromStdString(zip)}; }));
}

TEST_F(ArchiveView, NothingWritesInsideAnArchive) {
    f.view->showFolder(QByteArray::fromStdString(ArchiveLocation::make(zip, "top")));
    ASSERT_TRUE(at(ArchiveLocation::make(zip, "top")));
    struct Row {
        const char* id;
        bool exists;
    } rows[] = {{"rename", false}, {"trash", false},     {"delete", false},   {"newFolder", false},
                {"paste", false},  {"cut", false},       {"compress", false}, {"open", true},
                {"copy", true},    {"copyToPane", true}, {"up", true}};
    for (const Row& r : rows)
        EXPECT_EQ(FolderActions::existsIn(*FolderActions::find(r.id), *f.view), r.exists) << r.id;
    const QModelIndex name = f.view->model()->index(0, FolderModel::NameColumn);
    EXPECT_FALSE(f.view->model()->flags(name) & Qt::ItemIsEditable);
    EXPECT_EQ(f.view->model()->supportedDragActions(), Qt::CopyAction);
}

// Copied (or dragged) out of the archive into a folder, items are extracted; undo takes them away.
TEST_F(ArchiveView, CopiedOutItemsAreExtractedAndUndoTrashesThem) {
    f.view->showFolder(QByteArray::fromStdString(ArchiveLocation::make(zip, "top")));
    ASSERT_TRUE(at(ArchiveLocation::make(zip, "top")));
    ASSERT_TRUE(f.view->selectName("sub"));
    FolderCommands::copySelection(*f.view, false);
    TempDir into;
    auto other = f.makeView();
    ASSERT_TRUE(ViewFixture::show(*other, into.path()));
    FolderCommands::paste(*other);
    ASSERT_TRUE(waitFor([&] { return readFile(into / "sub/b.txt") == "beta"; }));
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(f.reports.isEmpty()) << f.reports.join('\n').toStdString();
    FolderCommands::undo(*other);
    ASSERT_TRUE(f.idle());
    EXPECT_FALSE(exists(into / "sub"));
}

// Other programs get copies they can read; our panes still get the items and extract them with a job.
TEST_F(ArchiveView, CopiedItemsGiveOtherProgramsFilesAndOurPanesTheItems) {
    ASSERT_TRUE(ViewFixture::show(*f.view, ArchiveLocation::make(zip, "top")));
    f.view->selectAll();
    FolderCommands::copySelection(*f.view, false);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->hasFormat(ClipboardFormat::kArchiveItems));
    QList<QByteArray> ours = ClipboardFormat::fromMimeData(data).paths;
    std::sort(ours.begin(), ours.end());
    EXPECT_EQ(ours, (QList<QByteArray>{item("top/a.txt"), item("top/sub")}));

    bool allFiles = false;
    QList<QByteArray> files = filePaths(data->data(ClipboardFormat::kUriList), allFiles);
    EXPECT_TRUE(allFiles) << data->data(ClipboardFormat::kUriList).toStdString();
    ASSERT_EQ(files.size(), 2);
    std::sort(files.begin(), files.end());
    EXPECT_TRUE(files[0].startsWith(QByteArray::fromStdString(copies->runFolder() + "/")));
    EXPECT_EQ(readFile(files[0].toStdString()), "alpha");
    EXPECT_EQ(readFile(files[1].toStdString() + "/b.txt"), "beta");
    const QByteArray gnome = data->data(ClipboardFormat::kGnome);
    EXPECT_TRUE(gnome.startsWith("copy\n")) << gnome.toStdString();
    EXPECT_EQ(filePaths(gnome, allFiles).size(), 2);
    EXPECT_TRUE(allFiles);
    QStringList shown = data->text().split('\n');
    shown.sort();
    EXPECT_EQ(shown, (QStringList{QString::fromStdString(zip + "/top/a.txt"),
                                  QString::fromStdString(zip + "/top/sub")}));

    // Pasted into a pane, the same data is extracted by a job (undone like one), not copied from the
    // temporary copies.
    TempDir into;
    auto other = f.makeView();
    ASSERT_TRUE(ViewFixture::show(*other, into.path()));
    FolderCommands::paste(*other);
    ASSERT_TRUE(waitFor([&] { return readFile(into / "sub/b.txt") == "beta" && exists(into / "a.txt"); }));
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(f.reports.isEmpty()) << f.reports.join('\n').toStdString();
    FolderCommands::undo(*other);
    ASSERT_TRUE(f.idle());
    EXPECT_FALSE(exists(into / "a.txt"));

    // Given to another program, the copies outlive the clipboard's data and the run's end.
    const QPointer<const QMimeData> given(data);
    const long held = copies.use_count();
    QGuiApplication::clipboard()->clear();
    // The data goes, and so does any removal of copies it starts: a thread that holds the copies.
    ASSERT_TRUE(waitFor([&] { return !given && copies.use_count() < held; }));
    copies->removeThisRun();
    EXPECT_EQ(readFile(files[0].toStdString()), "alpha");
}

// A drag starts the copies at once; data nobody else asked for takes its copies away with it.
TEST_F(ArchiveView, ADragsCopiesNobodyAskedForGoWithIt) {
    ASSERT_TRUE(ViewFixture::show(*f.view, ArchiveLocation::make(zip, "top")));
    const int row = f.view->model()->rowOfName("a.txt");
    std::unique_ptr<QMimeData> dragged(f.view->model()->mimeData({f.view->model()->index(row, 0)}));
    auto* data = qobject_cast<ArchiveMimeData*>(dragged.get());
    ASSERT_TRUE(data);
    ASSERT_TRUE(waitFor([&] { return data->settled(); }));
    std::vector<std::string> made;
    for (const auto& e : std::filesystem::directory_iterator(copies->runFolder())) made.push_back(e.path());
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(readFile(made[0] + "/a.txt"), "alpha");
    dragged.reset();
    EXPECT_TRUE(waitFor([&] { return !exists(made[0]); }));
}

TEST_F(ArchiveView, ASelectionTooLargeGivesOtherProgramsNoFiles) {
    ASSERT_TRUE(ViewFixture::show(*f.view, ArchiveLocation::make(zip, "top")));
    const QList<QByteArray> items{item("top/a.txt"), item("top/sub")};
    struct Row {
        std::uint64_t limit;
        int files;
    } rows[] = {{9, 2}, {8, 0}};  // "alpha" and "beta": 9 bytes
    for (const Row& r : rows) {
        ArchiveMimeData data(items, f.view->model()->archiveIndexes(), {}, copies, {r.limit, 4000});
        bool allFiles = false;
        EXPECT_EQ(filePaths(data.data(ClipboardFormat::kUriList), allFiles).size(), r.files) << r.limit;
        EXPECT_EQ(data.withoutCopies(), r.files == 0);
        EXPECT_EQ(ClipboardFormat::fromMimeData(&data).paths, items) << "our panes still get the items";
    }
}

// An encrypted archive's items go to other programs once its password was given (in any pane: a drag
// never stops to ask for it).
TEST_F(ArchiveView, AnEncryptedArchivesCopiesUseThePasswordGivenInThisRun) {
    const std::string secret = f.dir / "secret.zip";
    struct archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_set_options(a, "zip:encryption=zipcrypt");
    archive_write_set_passphrase(a, "opensesame");
    ASSERT_EQ(archive_write_open_filename(a, secret.c_str()), ARCHIVE_OK);
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, "plans.txt");
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_size(e, 9);
    archive_write_header(a, e);
    archive_write_data(a, "the plans", 9);
    archive_entry_free(e);
    archive_write_close(a);
    archive_write_free(a);

    ASSERT_TRUE(ViewFixture::show(*f.view, ArchiveLocation::make(secret)));
    ASSERT_TRUE(f.view->selectName("plans.txt"));
    auto copiedFiles = [&] {
        FolderCommands::copySelection(*f.view, false);
        bool allFiles = false;
        return filePaths(QGuiApplication::clipboard()->mimeData()->data(ClipboardFormat::kUriList), allFiles);
    };
    EXPECT_TRUE(copiedFiles().isEmpty()) << "no password given yet";
    EXPECT_FALSE(findTopLevel<QInputDialog>()) << "nothing asked";

    TempDir into;
    auto other = f.makeView();
    ASSERT_TRUE(ViewFixture::show(*other, into.path()));
    FolderCommands::paste(*other);
    QInputDialog* ask = nullptr;
    ASSERT_TRUE(waitFor([&] { return (ask = findTopLevel<QInputDialog>()) != nullptr; }));
    ask->setTextValue("opensesame");
    ask->accept();
    ASSERT_TRUE(waitFor([&] { return readFile(into / "plans.txt") == "the plans"; }));
    ASSERT_TRUE(f.idle());

    EXPECT_TRUE(f.reports.isEmpty()) << f.reports.join(QLatin1Char(10)).toStdString();
    const QList<QByteArray> files = copiedFiles();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(readFile(files.front().toStdString()), "the plans");
}

TEST_F(ArchiveView, ExtractHereAndCompressFromTheMenus) {
    ASSERT_TRUE(f.view->selectName("pack.zip"));
    ASSERT_TRUE(f.view->archivePlace()->selectionIsArchives());
    f.view->archivePlace()->extractHere();
    ASSERT_TRUE(waitFor([&] { return readFile(f.dir / "top/sub/b.txt") == "beta"; }));
    ASSERT_TRUE(f.idle());
    // The undo offer names what it undoes, not a copy.
    EXPECT_EQ(f.ops->undoStack()->nextDescription(), "Extraction of 1 item");

    ASSERT_TRUE(f.listed("top"));
    ASSERT_TRUE(f.view->selectName("top"));
    EXPECT_FALSE(f.view->archivePlace()->selectionIsArchives());
    f.view->archivePlace()->compress();
    CompressDialog* dialog = nullptr;
    ASSERT_TRUE(waitFor([&] { return (dialog = findTopLevel<CompressDialog>()) != nullptr; }));
    EXPECT_EQ(dialog->findChild<QLineEdit*>("archiveName")->text(), "top");
    auto* format = dialog->findChild<QComboBox*>("archiveFormat");
    format->setCurrentIndex(format->findData(static_cast<int>(ArchiveFormat::TarZst)));
    EXPECT_EQ(dialog->fileName(), "top.tar.zst");
    dialog->accept();
    ASSERT_TRUE(waitFor([&] { return exists(f.dir / "top.tar.zst"); }));
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(f.listed("top.tar.zst"));
    EXPECT_EQ(f.ops->undoStack()->nextDescription(), "New Archive");
    FolderCommands::undo(*f.view);
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(waitFor([&] { return !exists(f.dir / "top.tar.zst"); })) << "undo takes the new archive away";
    EXPECT_TRUE(exists(f.dir / "top/sub/b.txt"));
}

// A typed archive location opens in its one spelling, on which the rows' paths build.
TEST(ArchiveLocationTyped, IsAFolderInItsOneSpelling) {
    struct Row {
        const char* typed;
        bool folder;
        const char* path;
    } rows[] = {{"archive:/h/a.zip", true, "archive:/h/a.zip//"},
                {"archive:/h/a.zip//docs//img/", true, "archive:/h/a.zip//docs/img"},
                {"archive:a.zip", false, ""}};
    for (const Row& r : rows) {
        const Location where = Location::classify(r.typed);
        EXPECT_EQ(where.folder, r.folder) << r.typed;
        EXPECT_EQ(where.path.toStdString(), r.path) << r.typed;
    }
}

// Two panes of one window: the archive's items go to the other pane's folder, from outside the
// archive (Extract to Pane…) and from inside it (Copy to Pane…).
TEST_F(ArchiveView, ExtractToPaneAndCopyToPaneFromInside) {
    TempDir there;
    QWidget window;
    auto* row = new QHBoxLayout(&window);
    auto* left = new FolderView(*f.services);
    auto* right = new FolderView(*f.services);
    row->addWidget(left);
    row->addWidget(right);
    window.resize(900, 400);
    window.show();
    ASSERT_TRUE(ViewFixture::show(*left, f.dir.path()));
    ASSERT_TRUE(ViewFixture::show(*right, there.path()));
    ASSERT_TRUE(left->selectName("pack.zip"));
    left->archivePlace()->extractToPane();
    ASSERT_TRUE(waitFor([&] { return readFile(there / "top/sub/b.txt") == "beta"; }));
    ASSERT_TRUE(f.idle());

    ASSERT_TRUE(ViewFixture::show(*left, ArchiveLocation::make(zip, "top")));
    ASSERT_TRUE(left->selectName("a.txt"));
    FolderCommands::transferToPane(*left, false);
    ASSERT_TRUE(waitFor([&] { return readFile(there / "a.txt") == "alpha"; }));
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(f.reports.isEmpty()) << f.reports.join('\n').toStdString();
}

}  // namespace
}  // namespace kv::test
