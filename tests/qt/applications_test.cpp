// Open With and opening files, against desktop records of the test's own: two applications for a
// made-up type, the default chosen in a mimeapps.list. GIO reads those folders once per process, so
// every test here sets them up through one sandbox made before the first GIO call (ctest runs each
// test in a process of its own).

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <cstdlib>

#include <sys/stat.h>

#include "filemanager_support.h"
#include "platform/qt/desktop/applications.h"
#include "platform/qt/desktop/fileopener.h"
#include "platform/qt/desktop/openwithdialog.h"
#include "platform/qt/desktop/terminal.h"

namespace kv::test {
namespace {

const QString kType = QStringLiteral("application/x-kestrovan-test");

struct GioSandbox {
    TempDir root;
    std::string config = root / "config";

    static GioSandbox& get() {
        static GioSandbox sandbox;
        return sandbox;
    }

    GioSandbox() {
        for (const char* d : {"data", "data/applications", "config", "home", "sys"})
            ::mkdir((root / d).c_str(), 0755);
        // The system's MIME database, but none of its applications.
        EXPECT_EQ(::symlink("/usr/share/mime", (root / "sys/mime").c_str()), 0);
        writeFile(root / "data/applications/kv-viewer.desktop",
                  "[Desktop Entry]\nType=Application\nName=KV Viewer\nExec=touch %f.viewer\n"
                  "MimeType=application/x-kestrovan-test;text/csv;\n");
        writeFile(root / "data/applications/kv-editor.desktop",
                  "[Desktop Entry]\nType=Application\nName=KV Editor\nExec=touch %f.editor\n"
                  "MimeType=application/x-kestrovan-test;text/csv;\n");
        // What update-desktop-database writes: GIO finds the applications of a type through it.
        writeFile(root / "data/applications/mimeinfo.cache",
                  "[MIME Cache]\napplication/x-kestrovan-test=kv-editor.desktop;kv-viewer.desktop;\n"
                  "text/csv=kv-editor.desktop;kv-viewer.desktop;\n");
        writeFile(config + "/mimeapps.list",
                  "[Default Applications]\napplication/x-kestrovan-test=kv-editor.desktop\n"
                  "text/csv=kv-viewer.desktop\n");
        setenv("XDG_DATA_DIRS", (root / "data:" + root.path() + "/sys").c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root / "config-dirs").c_str(), 1);
        setenv("XDG_CURRENT_DESKTOP", "", 1);
    }
};

class OpenWith : public ::testing::Test {
  protected:
    GioSandbox& gio = GioSandbox::get();
    ViewFixture f;

    void SetUp() override {
        if (Applications::allFor(kType).size() != 2)
            GTEST_SKIP() << "GIO read the desktop's records before the sandbox was set; run this test alone";
    }
    void TearDown() override {
        Applications::setDefault("kv-editor.desktop", kType);
        Applications::setDefault("kv-viewer.desktop", "text/csv");
        closeAll<OpenWithDialog>();
        closeAll<QMessageBox>();
    }
    QByteArray file(const std::string& name, const std::string& data) {
        writeFile(f.dir / name, data);
        return QByteArray::fromStdString(f.dir / name);
    }
};

TEST_F(OpenWith, ListsTheDefaultFirstThenTheOthersAndSetsTheDefault) {
    const std::optional<Applications::App> d = Applications::defaultFor(kType);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->id, "kv-editor.desktop");
    EXPECT_EQ(d->name, "KV Editor");
    QStringList ids;
    for (const Applications::App& a : Applications::allFor(kType)) ids << a.id;
    EXPECT_EQ(ids, (QStringList{"kv-editor.desktop", "kv-viewer.desktop"}));
    EXPECT_FALSE(Applications::defaultFor("application/x-kestrovan-nothing"));

    EXPECT_EQ(Applications::setDefault("kv-viewer.desktop", kType), QString());
    EXPECT_EQ(Applications::defaultFor(kType)->id, "kv-viewer.desktop");
    EXPECT_NE(readFile(gio.config + "/mimeapps.list").find("application/x-kestrovan-test=kv-viewer.desktop"),
              std::string::npos)
        << readFile(gio.config + "/mimeapps.list");
    EXPECT_NE(Applications::setDefault("no-such-app.desktop", kType), QString());
}

TEST_F(OpenWith, TheDialogListsStartsAndCanMakeTheChoiceTheDefault) {
    const QByteArray csv = file("table.csv", "a,b\n1,2\n");
    auto* dialog = new OpenWithDialog({csv});
    dialog->show();
    ASSERT_TRUE(waitFor([&] { return dialog->isLoaded(); }));
    EXPECT_EQ(dialog->mimeTypes(), QStringList{"text/csv"});
    EXPECT_EQ(dialog->listedIds(), (QStringList{"kv-viewer.desktop", "kv-editor.desktop"}));
    QSignalSpy launched(dialog, &OpenWithDialog::launched);
    ASSERT_TRUE(dialog->choose("kv-editor.desktop", true));
    QTest::keyClick(dialog->findChild<QWidget*>("applications"), Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return launched.count() == 1; }));
    EXPECT_TRUE(waitFor([&] { return exists(f.dir / "table.csv.editor"); }));
    EXPECT_EQ(Applications::defaultFor("text/csv")->id, "kv-editor.desktop");
}

TEST_F(OpenWith, OpeningUsesTheDefaultAndAFileNoneTakesGetsAMessageOfferingOpenWith) {
    FileOpener::open({file("table.csv", "a,b\n")}, f.view.get());
    EXPECT_TRUE(waitFor([&] { return exists(f.dir / "table.csv.viewer"); }));

    const QByteArray odd = file("odd.bin", std::string("\x01\x02\x03\xff\xfe", 5));
    FileOpener::open({odd}, f.view.get());
    QMessageBox* box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = findTopLevel<QMessageBox>()) != nullptr; }));
    EXPECT_EQ(box->objectName(), "noApplication");
    EXPECT_TRUE(box->text().startsWith("No application is set to open “odd.bin” ("))
        << box->text().toStdString();
    box->findChild<QPushButton*>("openWith")->click();
    OpenWithDialog* dialog = nullptr;
    ASSERT_TRUE(waitFor([&] { return (dialog = findTopLevel<OpenWithDialog>()) && dialog->isLoaded(); }));
    EXPECT_TRUE(dialog->listedIds().isEmpty());
    dialog->findChild<QCheckBox*>("showAll")->setChecked(true);
    ASSERT_TRUE(waitFor([&] { return dialog->isLoaded() && dialog->listedIds().size() == 2; }));
}

// No working terminal: the one named in $TERMINAL is not there, the only one on the PATH ends at once
// with a failure (as one needing a desktop session does).
TEST(Terminal, WhenNoneWorksAMessageSaysWhichWereTried) {
    TempDir bin;
    writeFile(bin / "x-terminal-emulator", "#!/bin/sh\nexit 3\n");
    ASSERT_EQ(::chmod((bin / "x-terminal-emulator").c_str(), 0755), 0);
    const QByteArray path = qgetenv("PATH"), terminal = qgetenv("TERMINAL");
    qputenv("PATH", QByteArray::fromStdString(bin.path()));
    qputenv("TERMINAL", "kv-no-such-terminal -e top");
    QWidget window;
    window.show();
    Terminal::open(QString::fromStdString(bin.path()), &window);
    QMessageBox* box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = findTopLevel<QMessageBox>()) && box->isVisible(); }));
    qputenv("PATH", path);
    qputenv("TERMINAL", terminal);
    EXPECT_EQ(box->objectName(), "noTerminal");
    EXPECT_TRUE(box->text().contains(QString::fromStdString(bin.path()))) << box->text().toStdString();
    const QString tried = box->informativeText();
    EXPECT_TRUE(tried.contains("kv-no-such-terminal -e top: not installed")) << tried.toStdString();
    EXPECT_TRUE(tried.contains("x-terminal-emulator: ended at once with status 3")) << tried.toStdString();
    box->close();
}

}  // namespace
}  // namespace kv::test
