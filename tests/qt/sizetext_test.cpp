// Every size the program writes is one text: powers of 1024 with IEC names, from the size column to
// the dialogs.

#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <limits>

#include "filemanager_support.h"
#include "platform/qt/common/sizetext.h"
#include "platform/qt/jobs/clashdialog.h"

namespace kv::test {
namespace {

// Sizes read the same whatever the machine's language.
class SizeTexts : public ::testing::Test {
  protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(m_saved); }

  private:
    QLocale m_saved;
};

TEST_F(SizeTexts, PowersOf1024WithIecNames) {
    constexpr quint64 KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024, TiB = GiB * 1024;
    const struct {
        quint64 bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},
        {1, "1 B"},
        {1023, "1023 B"},  // no group separator: bytes are the only four-digit numbers
        {1024, "1.0 KiB"},
        {1536, "1.5 KiB"},
        {10 * KiB + 51, "10.0 KiB"},
        {MiB - 1, "1.0 MiB"},  // 1023.999 KiB rounds into the next unit, never "1024.0 KiB"
        {MiB + MiB / 2, "1.5 MiB"},
        {GiB * 42 / 10, "4.2 GiB"},
        {999 * GiB, "999.0 GiB"},
        {TiB, "1.0 TiB"},
        {TiB * 1024 * 3, "3.0 PiB"},
        {std::numeric_limits<quint64>::max(), "16.0 EiB"},
    };
    for (const auto& c : cases) EXPECT_EQ(sizeText(c.bytes), QString::fromUtf8(c.text)) << c.bytes;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(sizeText(MiB + MiB / 2), "1,5 MiB");
}

TEST_F(SizeTexts, TheSizeColumnAndTheDialogsUseIt) {
    ViewFixture f;
    writeFile(f.dir / "half", std::string(1536, 'x'));
    ::mkdir((f.dir / "folder").c_str(), 0755);
    ASSERT_TRUE(f.show(f.dir.path()));
    FolderModel* m = f.view->model();
    EXPECT_EQ(m->index(m->rowOfName("half"), FolderModel::SizeColumn).data().toString(), "1.5 KiB");
    EXPECT_EQ(m->index(m->rowOfName("folder"), FolderModel::SizeColumn).data().toString(), "");
    EXPECT_TRUE(ClashDialog::describeItem(false, 1536, 0).startsWith("1.5 KiB, modified"));
}

}  // namespace
}  // namespace kv::test

namespace kv::test {
namespace {

// A clash with an archive not yet written describes it as such, not as an empty file from 1970, and
// asks no "all further conflicts" of a job that has only this one.
TEST(ClashDialogText, ANewArchiveIsNotDescribedAsAFileOnDisk) {
    for (const bool newArchive : {false, true}) {
        ClashRequest r;
        r.source = "/a/b/x.zip";
        r.target = "/a/c/x.zip";
        r.sourceSize = 1536;
        r.sourceIsNewArchive = newArchive;
        auto* d = new ClashDialog(r);
        d->show();
        const QString incoming = d->findChild<QLabel*>("incoming")->text();
        EXPECT_EQ(incoming.startsWith("1.5 KiB, modified"), !newArchive) << incoming.toStdString();
        EXPECT_EQ(incoming == "the archive about to be made", newArchive);
        EXPECT_EQ(d->findChild<QCheckBox*>("applyToAll")->isVisible(), !newArchive);
        d->close();
    }
}

}  // namespace
}  // namespace kv::test
