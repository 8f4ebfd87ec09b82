// Previews: what the cache holds is what the thumbnail standard says (so other programs share it),
// others' thumbnails are used and stale ones remade, thumbnailer programs are limited in time, and the
// icon view shows previews for the rows in sight and zooms.
#include <fcntl.h>
#include <sys/stat.h>
#include <QBuffer>
#include <QImageReader>
#include <QMenu>
#include <QScrollBar>
#include <QWheelEvent>
#include <chrono>

#include "filemanager_support.h"
#include "platform/qt/folderview/folderactions.h"
#include "platform/qt/thumbnails/folderthumbnails.h"
#include "platform/qt/thumbnails/thumbnailmaker.h"

namespace kv::test {
namespace {

// A photo of one colour; the thumbnails are compared by it.
void writeImage(const std::string& path, QColor colour, QSize size = {800, 600},
                const char* format = "JPEG") {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, format));
    // By its bytes: the name need not be UTF-8.
    writeFile(path, bytes.toStdString());
}

std::int64_t mtimeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mtime;
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 &&
           std::abs(a.blue() - b.blue()) < 12;
}

// A PNG only, as another program would read it. (QImageReader::text() cuts keys at their first colon.)
QImage readPng(const QString& path) {
    QImageReader reader(path, "png");
    reader.setDecideFormatFromContent(false);
    return reader.read();
}

QColor centre(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

class Thumbnails : public ::testing::Test {
  protected:
    TempDir files, cache, thumbnailers;
    std::unique_ptr<ThumbnailMaker> maker = makeMaker();

    std::unique_ptr<ThumbnailMaker> makeMaker(int timeoutMs = 10000) {
        ThumbnailMaker::Options o;
        o.cacheRoot = QString::fromStdString(cache.path());
        o.thumbnailerFolders = {QString::fromStdString(thumbnailers.path())};
        o.timeoutMs = timeoutMs;
        return std::make_unique<ThumbnailMaker>(o);
    }
    ThumbnailStore::Source sourceOf(const std::string& path, const QString& mime = "image/jpeg") {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return {ThumbnailPaths::uriFor(QByteArray::fromStdString(path)), st.st_mtime,
                static_cast<std::uint64_t>(st.st_size), mime};
    }
    QString cachedPath(const std::string& path, ThumbnailPaths::Size size = ThumbnailPaths::Normal) {
        return maker->store().pathFor(ThumbnailPaths::uriFor(QByteArray::fromStdString(path)), size);
    }
    // A test thumbnailer for application/x-kv-test: a shell script with the given body ($1 the URI,
    // $2 the output), which also counts its runs.
    std::string addThumbnailer(const std::string& body) {
        const std::string script = thumbnailers / "make.sh";
        writeFile(script, "#!/bin/sh\necho run >> " + (thumbnailers / "runs") + "\n" + body + "\n");
        ::chmod(script.c_str(), 0755);
        writeFile(thumbnailers / "test.thumbnailer",
                  "[Thumbnailer Entry]\nExec=" + script + " %u %o\nMimeType=application/x-kv-test;\n");
        maker = makeMaker(400);
        return thumbnailers / "runs";
    }
};

TEST_F(Thumbnails, OneWeMakeFollowsTheStandard) {
    const std::string photo = files / "photo.jpg";
    writeImage(photo, Qt::blue, {1600, 1200});
    const QImage shown = maker->thumbnail(QByteArray::fromStdString(photo), "image/jpeg", 96);
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), QSize(96, 72));
    EXPECT_TRUE(near(centre(shown), Qt::blue));

    // 96 pixels come from the normal (128) class.
    const QString saved = cachedPath(photo);
    const QImage png = readPng(saved);
    ASSERT_FALSE(png.isNull()) << saved.toStdString();
    EXPECT_EQ(png.size(), QSize(128, 96));
    EXPECT_EQ(png.text("Thumb::URI"), QString("file://") + QString::fromStdString(photo));
    EXPECT_EQ(png.text("Thumb::MTime").toLongLong(), mtimeOf(photo));
    EXPECT_EQ(png.text("Thumb::Size").toULongLong(), sourceOf(photo).size);
    EXPECT_EQ(png.text("Thumb::Mime"), "image/jpeg");
    EXPECT_FALSE(png.text("Software").isEmpty());
    EXPECT_EQ(modeOf(saved), 0600u);
    EXPECT_EQ(modeOf(QString::fromStdString(cache / "normal")), 0700u);
    // No temporary is left beside it.
    EXPECT_EQ(QDir(QString::fromStdString(cache / "normal")).entryList(QDir::Files).size(), 1);

    // Bigger icons come from the large class.
    EXPECT_EQ(maker->thumbnail(QByteArray::fromStdString(photo), "image/jpeg", 200).size(), QSize(200, 150));
    EXPECT_EQ(QImage(cachedPath(photo, ThumbnailPaths::Large)).size(), QSize(256, 192));
}

TEST_F(Thumbnails, AnotherProgramsIsUsedAndAStaleOneRemade) {
    const std::string photo = files / "photo.jpg";
    writeImage(photo, Qt::blue);
    // As another program wrote it: a different picture, the right chunks.
    QImage theirs(128, 96, QImage::Format_RGB32);
    theirs.fill(Qt::red);
    ThumbnailStore::Source s = sourceOf(photo);
    ASSERT_TRUE(maker->store().save(theirs, s, ThumbnailPaths::Normal));
    EXPECT_TRUE(near(centre(maker->thumbnail(QByteArray::fromStdString(photo), "image/jpeg", 128)), Qt::red));

    struct Stale {
        const char* what;
        std::int64_t mtime;
        QByteArray uri;
    };
    const Stale stale[] = {{"older time", s.mtime - 60, s.uri},
                           {"another file's", s.mtime, "file:///else.jpg"}};
    for (const Stale& c : stale) {
        ThumbnailStore::Source old = s;
        old.mtime = c.mtime;
        old.uri = c.uri;
        QImage img = theirs;
        ThumbnailStore::Source written = old;
        // Written under the photo's name, with the wrong chunks.
        ASSERT_TRUE(maker->store().save(img, written, ThumbnailPaths::Normal));
        if (c.uri != s.uri)
            QFile::rename(maker->store().pathFor(c.uri, ThumbnailPaths::Normal), cachedPath(photo));
        const QImage remade = maker->thumbnail(QByteArray::fromStdString(photo), "image/jpeg", 128);
        EXPECT_TRUE(near(centre(remade), Qt::blue)) << c.what;
        const QImage png = readPng(cachedPath(photo));
        EXPECT_EQ(png.text("Thumb::MTime").toLongLong(), s.mtime) << c.what;
        EXPECT_EQ(png.text("Thumb::URI").toUtf8(), s.uri) << c.what;
    }
}

TEST_F(Thumbnails, OddNamesAreReadByTheirBytes) {
    for (const std::string name : {"two words #1.jpg", "bad\xFF\x80name.jpg", "caf\xC3\xA9;x.jpg"}) {
        const std::string photo = files / name;
        writeImage(photo, Qt::green, {300, 300});
        const QImage shown = maker->thumbnail(QByteArray::fromStdString(photo), "image/jpeg", 64);
        EXPECT_EQ(shown.size(), QSize(64, 64)) << name;
        EXPECT_TRUE(QFile::exists(cachedPath(photo))) << name;
    }
}

TEST_F(Thumbnails, ImagesThatCannotBeReadAreRecordedAsFailures) {
    const std::string broken = files / "broken.jpg";
    writeFile(broken, "\xFF\xD8\xFF\xE0 not really a jpeg");
    EXPECT_TRUE(maker->thumbnail(QByteArray::fromStdString(broken), "image/jpeg", 128).isNull());
    const QString fail =
        maker->store().failPathFor(ThumbnailPaths::uriFor(QByteArray::fromStdString(broken)));
    EXPECT_TRUE(fail.contains("/fail/kestrovan-"));
    EXPECT_TRUE(maker->store().hasFailed(sourceOf(broken)));
    // Once it changes, it is tried again.
    writeImage(broken, Qt::blue, {300, 200});
    ::utimensat(AT_FDCWD, broken.c_str(), nullptr, 0);
    struct timespec later[2] = {{0, UTIME_OMIT}, {mtimeOf(broken) + 5, 0}};
    ::utimensat(AT_FDCWD, broken.c_str(), later, 0);
    EXPECT_FALSE(maker->thumbnail(QByteArray::fromStdString(broken), "image/jpeg", 128).isNull());
    // Folders, missing files and types nobody can draw have none, and nothing is recorded for them.
    EXPECT_TRUE(maker->thumbnail(QByteArray::fromStdString(files.path()), "inode/directory", 128).isNull());
    EXPECT_TRUE(maker->thumbnail(QByteArray::fromStdString(files / "gone.jpg"), "image/jpeg", 128).isNull());
    EXPECT_FALSE(maker->canMake("text/plain"));
}

TEST_F(Thumbnails, AThumbnailerThatHangsIsKilledAtItsTimeoutAndNotRunAgain) {
    const std::string runs = addThumbnailer("sleep 30");
    const std::string doc = files / "doc.kvtest";
    writeFile(doc, "content");
    ASSERT_TRUE(maker->canMake("application/x-kv-test"));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(maker->thumbnail(QByteArray::fromStdString(doc), "application/x-kv-test", 128).isNull());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    EXPECT_TRUE(maker->store().hasFailed(sourceOf(doc, "application/x-kv-test")));
    EXPECT_TRUE(maker->thumbnail(QByteArray::fromStdString(doc), "application/x-kv-test", 128).isNull());
    EXPECT_EQ(readFile(runs), "run\n") << "a recorded failure is not tried again";
}

TEST_F(Thumbnails, AThumbnailersOutputIsCheckedAndStoredWithOurMetadata) {
    const std::string sample = thumbnailers / "sample.png";
    writeImage(sample, Qt::magenta, {256, 128}, "PNG");
    struct Case {
        const char* what;
        std::string body;
        bool made;
    };
    const Case cases[] = {
        {"a PNG", "cp " + sample + " \"$2\"", true},
        {"not a PNG", "echo text > \"$2\"", false},
        {"exits with an error", "cp " + sample + " \"$2\"; exit 1", false},
        {"writes nothing", "true", false},
    };
    int i = 0;
    for (const Case& c : cases) {
        addThumbnailer(c.body);
        const std::string doc = files / ("doc" + std::to_string(i++) + ".kvtest");
        writeFile(doc, "content");
        const QImage image = maker->thumbnail(QByteArray::fromStdString(doc), "application/x-kv-test", 128);
        EXPECT_EQ(!image.isNull(), c.made) << c.what;
        EXPECT_EQ(maker->store().hasFailed(sourceOf(doc, "application/x-kv-test")), !c.made) << c.what;
        if (!c.made) continue;
        EXPECT_EQ(image.size(), QSize(128, 64));
        const QImage png = readPng(cachedPath(doc));
        EXPECT_EQ(png.text("Thumb::URI").toUtf8(), ThumbnailPaths::uriFor(QByteArray::fromStdString(doc)));
        EXPECT_EQ(png.text("Thumb::Mime"), "application/x-kv-test");
    }
}

// The icon view with previews, its cache in a folder of the test's.
class IconPreviews : public ::testing::Test {
  protected:
    TempDir cache;
    QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    std::unique_ptr<ViewFixture> f;

    void SetUp() override {
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache.path()));
        f = std::make_unique<ViewFixture>();
    }
    void TearDown() override {
        f.reset();
        qputenv("XDG_CACHE_HOME", savedCache);
    }
    FolderThumbnails* thumbs() { return f->view->thumbnails(); }
    QIcon iconOf(const std::string& name) {
        return thumbs()->iconFor(f->view->model()->rowOfName(QByteArray::fromStdString(name)));
    }
    QAction* menuAction(QMenu* menu, const char* id) {
        for (QAction* a : menu->findChildren<QAction*>(id)) return a;
        return nullptr;
    }
};

TEST_F(IconPreviews, PhotosInSightGetPreviewsOthersKeepTheirIcons) {
    writeImage(f->dir / "a.jpg", Qt::red);
    writeImage(f->dir / "b.png", Qt::blue, {300, 200}, "PNG");
    writeFile(f->dir / "notes.txt", "text");
    f->view->setMode(FolderView::Mode::Icons);
    ASSERT_TRUE(f->show(f->dir.path()));
    ASSERT_TRUE(waitFor([&] { return !iconOf("a.jpg").isNull() && !iconOf("b.png").isNull(); }));
    const QPixmap p = iconOf("a.jpg").pixmap(QSize(64, 64));
    EXPECT_EQ(p.size(), QSize(64, 48));
    EXPECT_TRUE(near(centre(p.toImage()), Qt::red));
    ASSERT_TRUE(waitFor([&] { return thumbs()->idle(); }));
    EXPECT_TRUE(iconOf("notes.txt").isNull());
    // Shared with the desktop: the photo's thumbnail is in the cache (written just after it is shown).
    const QString cached =
        QString::fromStdString(cache / "thumbnails/normal/") +
        ThumbnailPaths::fileNameFor(ThumbnailPaths::uriFor(QByteArray::fromStdString(f->dir / "a.jpg")));
    EXPECT_TRUE(waitFor([&] { return QFile::exists(cached); }));

    // Show Previews, from the empty area's menu, turns them off for this view, and on again.
    std::unique_ptr<QMenu> menu(f->view->createContextMenu(false));
    QAction* toggle = menuAction(menu.get(), "showPreviews");
    ASSERT_TRUE(toggle);
    EXPECT_TRUE(toggle->isCheckable() && toggle->isChecked() && toggle->isEnabled());
    toggle->trigger();
    EXPECT_FALSE(f->view->previewsShown());
    EXPECT_TRUE(iconOf("a.jpg").isNull());
    menu.reset(f->view->createContextMenu(false));
    EXPECT_FALSE(menuAction(menu.get(), "showPreviews")->isChecked());
    menuAction(menu.get(), "showPreviews")->trigger();
    EXPECT_TRUE(waitFor([&] { return !iconOf("a.jpg").isNull(); }));

    // The details view keeps the types' icons.
    f->view->setMode(FolderView::Mode::Details);
    EXPECT_TRUE(iconOf("a.jpg").isNull());
}

TEST_F(IconPreviews, RowsInSightComeFirstAndScrollingBringsTheRest) {
    QImage small(64, 48, QImage::Format_RGB32);
    small.fill(Qt::darkGreen);
    for (int i = 0; i < 400; ++i)
        ASSERT_TRUE(
            small.save(QString::fromStdString(f->dir / QString::asprintf("p%03d.png", i).toStdString())));
    f->view->setMode(FolderView::Mode::Icons);
    ASSERT_TRUE(f->show(f->dir.path()));
    ASSERT_TRUE(waitFor([&] { return !iconOf("p000.png").isNull() && thumbs()->idle(); }));
    const auto [first, last] = thumbs()->visibleRows();
    EXPECT_EQ(first, 0);
    ASSERT_GT(last, 0);
    ASSERT_LT(last, 100) << "a 600×400 view shows a few dozen";
    for (int r = first; r <= last; ++r) EXPECT_FALSE(thumbs()->iconFor(r).isNull()) << r;
    EXPECT_TRUE(iconOf("p399.png").isNull()) << "far below the screen: not made";

    auto* list = qobject_cast<QAbstractScrollArea*>(f->view->currentView());
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    EXPECT_TRUE(waitFor([&] { return !iconOf("p399.png").isNull(); }));
    EXPECT_TRUE(iconOf("p200.png").isNull()) << "passed over: not made";
}

TEST_F(IconPreviews, ZoomStepsWithKeysAndTheWheelWithinItsBounds) {
    writeImage(f->dir / "a.jpg", Qt::red);
    f->view->setMode(FolderView::Mode::Icons);
    ASSERT_TRUE(f->show(f->dir.path()));
    auto* list = qobject_cast<QListView*>(f->view->currentView());
    ASSERT_TRUE(list);
    EXPECT_EQ(f->view->iconSize(), 64);

    struct Step {
        const char* what;
        std::function<void()> act;
        int size;
    };
    auto key = [&](int k, Qt::KeyboardModifiers m = Qt::ControlModifier) {
        return [=] { QTest::keyClick(list, static_cast<Qt::Key>(k), m); };
    };
    auto wheel = [&](int delta) {
        return [=] {
            const QPointF pos = list->viewport()->rect().center();
            QWheelEvent e(pos, list->viewport()->mapToGlobal(pos), {}, {0, delta}, Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list->viewport(), &e);
        };
    };
    const Step steps[] = {
        {"Ctrl+Plus", key(Qt::Key_Plus), 96},
        {"Ctrl+=", key(Qt::Key_Equal), 128},
        {"Ctrl+Minus", key(Qt::Key_Minus), 96},
        {"a wheel notch up", wheel(120), 128},
        {"half a notch does nothing yet", wheel(60), 128},
        {"the other half does", wheel(60), 160},
        {"two notches down", wheel(-240), 96},
        {"zoom far out stops at 32", [&] { f->view->zoom(-20); }, 32},
        {"Ctrl+Minus at the smallest", key(Qt::Key_Minus), 32},
        {"zoom far in stops at 256", [&] { f->view->zoom(20); }, 256},
        {"a size between steps goes to the next one down",
         [&] {
             f->view->setIconSize(100);
             f->view->zoom(-1);
         },
         96},
        {"... or up",
         [&] {
             f->view->setIconSize(100);
             f->view->zoom(1);
         },
         128},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(f->view->iconSize(), s.size) << s.what;
        EXPECT_EQ(list->iconSize(), QSize(s.size, s.size)) << s.what;
        EXPECT_GE(list->gridSize().width(), s.size) << s.what;
        EXPECT_GT(list->gridSize().height(), s.size) << s.what;
    }
    // The previews follow: at 256 they are drawn from the large thumbnails.
    f->view->setIconSize(256);
    ASSERT_TRUE(waitFor([&] { return !iconOf("a.jpg").isNull(); }));
    EXPECT_EQ(iconOf("a.jpg").pixmap(QSize(256, 256)).size(), QSize(256, 192));
    EXPECT_TRUE(waitFor([&] { return QDir(QString::fromStdString(cache / "thumbnails/large")).exists(); }));

    // Zoom belongs to the icon view: the menu's entries are off elsewhere, and the wheel scrolls.
    f->view->setMode(FolderView::Mode::Details);
    std::unique_ptr<QMenu> menu(f->view->createContextMenu(false));
    EXPECT_FALSE(menuAction(menu.get(), "zoomIn")->isEnabled());
    EXPECT_FALSE(menuAction(menu.get(), "showPreviews")->isEnabled());
}

}  // namespace
}  // namespace kv::test
