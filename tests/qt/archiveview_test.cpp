#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>

#include "filemanager_support.h"
#include "platform/fs/archivelocation.h"
#include "platform/fs/compressjob.h"
#include "platform/fs/location.h"
#include "platform/qt/archiveplace.h"
#include "platform/qt/compressdialog.h"
#include "platform/qt/folderactions.h"
#include "platform/qt/undostack.h"

namespace kv::test {
namespace {

// A folder holding pack.zip (top/a.txt, top/sub/b.txt), and a view that goes where it is asked, as
// the browser view does.
class ArchiveView : public ::testing::Test {
  protected:
    ViewFixture f;
    TempDir made;
    std::string zip;

    void SetUp() override {
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
    f.view->copySelection(false);
    TempDir into;
    auto other = f.makeView();
    ASSERT_TRUE(ViewFixture::show(*other, into.path()));
    other->paste();
    ASSERT_TRUE(waitFor([&] { return readFile(into / "sub/b.txt") == "beta"; }));
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(f.reports.isEmpty()) << f.reports.join('\n').toStdString();
    other->undo();
    ASSERT_TRUE(f.idle());
    EXPECT_FALSE(exists(into / "sub"));
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
    f.view->undo();
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
    auto* left = new FolderView(*f.ops);
    auto* right = new FolderView(*f.ops);
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
    left->transferToPane(false);
    ASSERT_TRUE(waitFor([&] { return readFile(there / "a.txt") == "alpha"; }));
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(f.reports.isEmpty()) << f.reports.join('\n').toStdString();
}

}  // namespace
}  // namespace kv::test
