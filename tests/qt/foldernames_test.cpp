// How names are shown, selected and edited in the folder view: control characters on one line, F2's
// selection, the link emblem, cut items dimmed, selection by pattern, the types' icons; and the
// properties of a mode.

#include <sys/stat.h>
#include <unistd.h>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "filemanager_support.h"
#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/folderview/folderactions.h"
#include "platform/qt/folderview/foldercommands.h"
#include "platform/qt/folderview/folderdelegate.h"
#include "platform/qt/properties/propertiesdialog.h"

namespace kv::test {
namespace {

class FolderNames : public ::testing::Test {
  protected:
    ViewFixture f;
    QAbstractItemView* v() { return f.view->currentView(); }
    QModelIndex nameIndex(const std::string& name) {
        return f.view->model()->index(f.view->model()->rowOfName(QByteArray::fromStdString(name)),
                                      FolderModel::NameColumn);
    }
    QLineEdit* openEditor() {
        for (QLineEdit* e : v()->findChildren<QLineEdit*>())
            if (e->isVisible()) return e;
        return nullptr;
    }
    // F2 on the item; the editor once its selection is made.
    QLineEdit* editName(const std::string& name) {
        EXPECT_TRUE(waitFor([&] { return !openEditor(); }));
        EXPECT_TRUE(f.view->selectName(QByteArray::fromStdString(name)));
        QTest::keyClick(v(), Qt::Key_F2);
        QLineEdit* editor = nullptr;
        if (!waitFor([&] { return (editor = openEditor()) != nullptr; })) return nullptr;
        // The selection is made once the view has made its own, from a zero timer started with the
        // editor: one started now runs after it.
        bool selected = false;
        QTimer::singleShot(0, editor, [&] { selected = true; });
        waitFor([&] { return selected; });
        return openEditor();
    }
};

TEST_F(FolderNames, F2SelectsTheNameWithoutItsExtension) {
    struct Row {
        const char* name;
        bool dir;
        const char* selected;
    } rows[] = {
        {"file.txt", false, "file"},   {"archive.tar.gz", false, "archive"},
        {".bashrc", false, ".bashrc"}, {"folder.d", true, "folder.d"},
        {"noext", false, "noext"},     {".env.local", false, ".env"},
    };
    for (const Row& r : rows) {
        if (r.dir)
            ::mkdir((f.dir / r.name).c_str(), 0755);
        else
            writeFile(f.dir / r.name, "x");
    }
    f.view->setShowHidden(true);
    ASSERT_TRUE(f.show(f.dir.path()));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QLineEdit* editor = editName(r.name);
        ASSERT_TRUE(editor);
        EXPECT_EQ(editor->text(), r.name);
        EXPECT_EQ(editor->selectionStart(), 0);
        EXPECT_EQ(editor->selectedText(), r.selected);
        QTest::keyClick(editor, Qt::Key_Escape);
    }
}

TEST_F(FolderNames, ControlCharactersShowOnOneLineAndSurviveARename) {
    const std::string odd = "line\none\ttab\x7f";
    writeFile(f.dir / odd, "x");
    ASSERT_TRUE(f.show(f.dir.path()));
    const QModelIndex i = nameIndex(odd);
    ASSERT_TRUE(i.isValid());
    const QString shown = i.data(Qt::DisplayRole).toString();
    EXPECT_EQ(shown, QString::fromUtf8("line\\none\\ttab\\x7f"));
    const QString painted = FolderDelegate::shownText(shown, v()->font(), 400, Qt::ElideRight);
    EXPECT_FALSE(painted.contains('\n'));
    EXPECT_EQ(QFontMetrics(v()->font()).boundingRect(QRect(0, 0, 400, 400), 0, painted).height(),
              QFontMetrics(v()->font()).height());

    // Unchanged: nothing happens. Edited in part: the rest of the name keeps its real characters.
    QLineEdit* editor = editName(odd);
    ASSERT_TRUE(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(exists(f.dir / odd));
    editor = editName(odd);
    ASSERT_TRUE(editor);
    editor->setText(editor->text().replace("tab", "TAB"));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(waitFor([&] { return exists(f.dir / "line\none\tTAB\x7f"); }));
    EXPECT_FALSE(exists(f.dir / odd));
}

// Without a desktop's icon theme (the tests' X server has none), files of different kinds still look
// different, in every mode and at the icon view's largest size.
TEST_F(FolderNames, FilesOfEachKindHaveAnIconOfTheirOwnInEveryMode) {
    const std::vector<std::string> names = {"notes.txt", "photo.png", "bundle.zip", "clip.mp4", "blob.qqq"};
    for (const std::string& n : names) writeFile(f.dir / n, "");
    ASSERT_TRUE(f.show(f.dir.path()));
    using Mode = FolderView::Mode;
    for (const auto& [mode, edge] :
         {std::pair{Mode::Details, 0}, std::pair{Mode::List, 0}, std::pair{Mode::Icons, 0},
          std::pair{Mode::Icons, FolderView::kMaxIconSize}}) {
        f.view->setMode(mode);
        if (edge > 0) f.view->setIconSize(edge);
        QSize size = v()->iconSize();
        if (!size.isValid()) size = QSize(16, 16);
        std::vector<QImage> drawn;
        for (const std::string& n : names) {
            const auto icon = qvariant_cast<QIcon>(f.view->model()->data(nameIndex(n), Qt::DecorationRole));
            drawn.push_back(icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32));
            EXPECT_FALSE(drawn.back().isNull()) << n;
        }
        for (size_t a = 0; a < drawn.size(); ++a)
            for (size_t b = a + 1; b < drawn.size(); ++b)
                EXPECT_NE(drawn[a], drawn[b])
                    << names[a] << " and " << names[b] << " look alike at " << size.width() << " px";
    }
}

TEST(NameText, EscapesControlsAndAnEditKeepsTheBytesItLeftAlone) {
    const struct {
        std::string_view raw;
        const char* shown;
    } shownRows[] = {
        {"plain.txt", "plain.txt"},
        {"a\nb", "a\\nb"},
        {"\x1b[1m\t", "\\x1b[1m\\t"},
        {"caf\xc3\xa9", "café"},
        {"bad\xff", "bad\xef\xbf\xbd"},
        {"\xf0\x9f\x98\x80!", "\xf0\x9f\x98\x80!"},
        {"\xe0\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // overlong: three bad bytes
    };
    for (const auto& r : shownRows) EXPECT_EQ(NameText::shown(r.raw), QString::fromUtf8(r.shown)) << r.shown;

    const struct {
        std::string_view raw;
        const char* typed;
        QByteArray expected;
    } editRows[] = {
        {"a\nb", "a\\nb", "a\nb"},                            // unchanged
        {"a\nb", "x\\nb", "x\nb"},                            // the start edited, the newline kept
        {"a\nb", "a\\nbc", "a\nbc"},                          // appended to
        {"a\nb", "ab", "ab"},                                 // the escape deleted: the newline goes
        {"bad\xff.txt", "bad\xef\xbf\xbd.md", "bad\xff.md"},  // the byte that is not UTF-8 kept
        {"x", "y\\n", "y\\n"},                                // typed backslashes are text
    };
    for (const auto& r : editRows)
        EXPECT_EQ(NameText::edited(QString::fromUtf8(r.typed), r.raw), r.expected) << r.typed;
}

TEST_F(FolderNames, LinksWearAnEmblemAndCutItemsAreDimmedUntilPasted) {
    writeFile(f.dir / "a.txt", "A");
    writeFile(f.dir / "b.txt", "B");
    ASSERT_EQ(::symlink("a.txt", (f.dir / "c.txt").c_str()), 0);
    ::mkdir((f.dir / "sub").c_str(), 0755);
    ASSERT_TRUE(f.show(f.dir.path()));
    EXPECT_TRUE(nameIndex("c.txt").data(FolderModel::IsLinkRole).toBool());
    EXPECT_FALSE(nameIndex("b.txt").data(FolderModel::IsLinkRole).toBool());
    // The emblem is drawn: the icon cells of two text files differ only where it sits.
    auto iconOf = [&](const std::string& name) {
        const QRect r = v()->visualRect(nameIndex(name));
        return v()->viewport()->grab(QRect(r.left(), r.top(), r.height(), r.height())).toImage();
    };
    v()->clearSelection();
    v()->setCurrentIndex({});
    EXPECT_NE(iconOf("c.txt"), iconOf("b.txt"));
    EXPECT_EQ(iconOf("a.txt"), iconOf("b.txt"));

    ASSERT_TRUE(f.view->selectName("a.txt"));
    QTest::keyClick(v(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(nameIndex("a.txt").data(FolderModel::IsCutRole).toBool());
    EXPECT_FALSE(nameIndex("b.txt").data(FolderModel::IsCutRole).toBool());
    FolderCommands::pasteInto(*f.view, QByteArray::fromStdString(f.dir / "sub"));
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(waitFor([&] { return f.view->model()->rowOfName("a.txt") < 0; }));
    ASSERT_TRUE(f.view->selectName("b.txt"));
    QTest::keyClick(v(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(nameIndex("b.txt").data(FolderModel::IsCutRole).toBool());
    QGuiApplication::clipboard()->setText("something else");
    EXPECT_FALSE(nameIndex("b.txt").data(FolderModel::IsCutRole).toBool());
}

TEST_F(FolderNames, PatternsSelectMatchingNamesAndInvertFlipsTheSelection) {
    for (const char* n : {"a.jpg", "B.JPG", "c.png", "d.jpeg", "e.txt", "jpg"}) writeFile(f.dir / n, "x");
    ASSERT_TRUE(f.show(f.dir.path()));
    auto names = [&](const QItemSelection& sel) {
        QStringList out;
        for (const QModelIndex& i : sel.indexes())
            if (i.column() == 0) out << i.data().toString();
        out.sort(Qt::CaseInsensitive);
        return out;
    };
    const struct {
        const char* text;
        QStringList expected;
    } rows[] = {
        {"*.jpg", {"a.jpg", "B.JPG"}},
        {"*.jpg; *.png", {"a.jpg", "B.JPG", "c.png"}},
        {"*.jp?g,e.*", {"d.jpeg", "e.txt"}},
        {"jpg", {"jpg"}},
        {" ; ", {}},
        {"*", {"a.jpg", "B.JPG", "c.png", "d.jpeg", "e.txt", "jpg"}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(names(FolderCommands::rowsMatching(*f.view->model(), FolderCommands::patterns(r.text))),
                  r.expected)
            << r.text;

    ASSERT_TRUE(f.view->selectName("c.png"));
    FolderCommands::invertSelection(*f.view);
    EXPECT_EQ(f.view->selectedPaths().size(), 5);
    EXPECT_FALSE(f.view->selectedPaths().contains(QByteArray::fromStdString(f.dir / "c.png")));
    FolderCommands::invertSelection(*f.view);
    EXPECT_EQ(f.view->selectedPaths(), QList{QByteArray::fromStdString(f.dir / "c.png")});

    EXPECT_EQ(FolderCommands::pathsText({"/a/b", "/c d/e"}), "/a/b\n/c d/e");
}

TEST(Properties, ModesShowTheirTypeAndSpecialBits) {
    const struct {
        unsigned mode;
        const char* text;
    } rows[] = {
        {S_IFDIR | 01777, "drwxrwxrwt (1777)"}, {S_IFDIR | 01770, "drwxrwx--T (1770)"},
        {S_IFREG | 04755, "-rwsr-xr-x (4755)"}, {S_IFREG | 02644, "-rw-r-Sr-- (2644)"},
        {S_IFLNK | 0777, "lrwxrwxrwx (777)"},   {S_IFREG | 0600, "-rw------- (600)"},
    };
    for (const auto& r : rows) EXPECT_EQ(PropertiesDialog::permissionsText(r.mode), r.text);
    EXPECT_EQ(PropertiesDialog::countText(12, 3), "12 files, 3 folders");
    EXPECT_EQ(PropertiesDialog::countText(1, 1), "1 file, 1 folder");

    TempDir dir;
    ::mkdir((dir / "shared").c_str(), 0755);
    ::chmod((dir / "shared").c_str(), 01777);
    PropertiesDialog shared({QByteArray::fromStdString(dir / "shared")});
    EXPECT_EQ(shared.fieldText("permissions"), "drwxrwxrwt (1777)");
    EXPECT_GE(shared.minimumWidth(), 400);
}

TEST(Properties, TheOwnerChangesPermissionsAndAFailureIsSaid) {
    TempDir dir;
    writeFile(dir / "f", "x");
    ::chmod((dir / "f").c_str(), 0644);
    auto* dialog = new PropertiesDialog({QByteArray::fromStdString(dir / "f")});
    dialog->show();
    auto* apply = dialog->findChild<QPushButton*>("applyPermissions");
    ASSERT_TRUE(apply) << "the owner may change the bits";
    EXPECT_FALSE(apply->isEnabled());
    dialog->findChild<QCheckBox*>("perm100")->setChecked(true);   // owner may execute
    dialog->findChild<QCheckBox*>("perm004")->setChecked(false);  // others may not read
    ASSERT_TRUE(apply->isEnabled());
    QSignalSpy applied(dialog, &PropertiesDialog::permissionsApplied);
    apply->click();
    ASSERT_TRUE(waitFor([&] { return applied.count() == 1; }));
    struct stat st {};
    ::stat((dir / "f").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0740u);
    EXPECT_EQ(dialog->fieldText("permissions"), "-rwxr----- (740)");

    ::unlink((dir / "f").c_str());
    dialog->findChild<QCheckBox*>("perm040")->setChecked(false);
    apply->click();
    QMessageBox* box = nullptr;
    ASSERT_TRUE(
        waitFor([&] { return (box = dialog->findChild<QMessageBox*>("permissionsFailed")) != nullptr; }));
    EXPECT_TRUE(box->text().startsWith("The permissions could not be changed")) << box->text().toStdString();
    dialog->close();
}

}  // namespace
}  // namespace kv::test
