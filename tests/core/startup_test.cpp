#include <gtest/gtest.h>

#include "settings/settingskeys.h"
#include "support/programfixture.h"
#include "views/mainwindow.h"

namespace kv::test {
namespace {

using Lines = std::vector<std::string>;

TEST_F(ProgramTest, FirstStartRunsTheLoadSequenceInOrder) {
    ui.drives["Form1.FlopBox"] = "/media/cd [DISC 1]";
    program().start();
    const Lines expected = {"build Form1", "hide Form1",
                            // layout (seven sets)
                            "build Eula", "show Eula", "doEvents",
                            // the default start page is stored
                            "doEvents", "show Form1", "doEvents", "set Form1.Text1.Text " + kDefaultStartPage,
                            "nav Form1.Hard /home/user [Home]", "nav Form1.floppy /media/cd [DISC 1]",
                            "nav Form1.xtra " + kDefaultStartPage};
    EXPECT_EQ(ui.lines({"build", "hide", "show", "doEvents", "nav", "set Form1.Text1"}), expected);
    EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, kSettingsKey, "startpage"), kDefaultStartPage);
    EXPECT_TRUE(forms()["Form1"].Visible());
    EXPECT_TRUE(forms()["Eula"].Visible());
}

TEST_F(ProgramTest, LaterStartsShowNoAgreementWhateverItsRecordHolds) {
    for (const char* record : {"", "Agree", "Disagree"}) {
        reg().WriteRegString(kHkeyCurrentUser, kSettingsKey, kStartPageWrite, "http://127.0.0.1:9/start");
        if (*record) reg().WriteRegString(kHkeyCurrentUser, kEulaKey, kEulaValue, record);
        Program again(ui, registry());
        ui.clear();
        again.start();
        EXPECT_FALSE(again.forms().exists("Eula")) << record;
        EXPECT_EQ(again.forms()["Form1"]["Text1"].Text(), "http://127.0.0.1:9/start");
        EXPECT_EQ(ui.lines({"nav Form1.xtra"}), Lines{"nav Form1.xtra http://127.0.0.1:9/start"});
    }
}

TEST_F(ProgramTest, AgreementWindowEnablesAgreeOnlyAfterTheOptionAndRecordsIt) {
    Form& f1 = started();
    Form& eula = forms()["Eula"];
    EXPECT_FALSE(eula["Command1"].Enabled());
    f1["Label5"].click();  // the main window stays usable beside it
    EXPECT_FALSE(f1["Hard"].Visible());
    eula["Option1"].click();
    EXPECT_TRUE(eula["Command1"].Enabled());
    ui.clear();
    eula["Command1"].click();
    EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, kEulaKey, kEulaValue), "Agree");
    EXPECT_EQ(ui.log, (Lines{"doEvents", "hide Eula", "unload Eula"}));
    EXPECT_FALSE(forms().exists("Eula"));
    EXPECT_TRUE(f1.Visible());
}

TEST_F(ProgramTest, DisagreeEndsAtOnceWithoutTheExitQuestion) {
    started();
    forms()["Eula"]["Command2"].click();
    EXPECT_EQ(ui.log, Lines{"end"});
    EXPECT_TRUE(forms().ended());
    forms()["Form1"]["Label10"].click();  // nothing runs after the end
    EXPECT_EQ(ui.log, Lines{"end"});
}

TEST_F(ProgramTest, EndDuringAYieldStopsTheWaitingHandler) {
    Form& f1 = started();
    ui.duringDoEvents = [&] { forms()["Eula"]["Command2"].click(); };
    f1["Image5"].click();  // Home yields after navigating
    EXPECT_EQ(ui.lines({"nav", "doEvents", "end", "set"}),
              (Lines{"nav Form1.xtra " + kDefaultStartPage, "doEvents", "end"}));
}

TEST_F(ProgramTest, ExitQuestionOnEveryCloseRequest) {
    Form& f1 = started();
    ui.answers = {false};
    EXPECT_FALSE(f1.closeRequested());
    EXPECT_EQ(ui.log, Lines{std::string("ask Exit Kestrovan: ") + kExitQuestion});
    EXPECT_EQ(std::string(kExitQuestion), "             Exit Kestrovan?");
    EXPECT_FALSE(forms().ended());
    EXPECT_TRUE(f1.Visible());

    forms()["Form1"].menuChosen("mnHelpi");
    ui.clear();
    ui.answers = {true};
    f1.closeRequested();
    EXPECT_EQ(ui.lines({"end", "hide", "unload"}), Lines{"end"});
    EXPECT_TRUE(forms().ended());
}

TEST_F(ProgramTest, ChangeStartPageNeedsSevenCharactersKeptExactly) {
    Form& f1 = started();
    struct Row {
        std::string text;
        bool stored;
    };
    // Characters are counted, not bytes: "\xC3\xBC" is one character (u with diaeresis), and so are the
    // three bytes of each CJK character and the four of an emoji.
    const Row rows[] = {{"abcdef", false},
                        {"", false},
                        {"\xC3\xBC.de/x", false},
                        {"\xE6\x97\xA5\xE6\x9C\xAC.jp", false},
                        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80.io", false},
                        {"abcdefg", true},
                        {"\xC3\xBC.de/xy", true},
                        {"  x.io ", true},
                        {"not an address", true}};
    for (const auto& r : rows) {
        const std::string before = reg().ReadRegString(kHkeyCurrentUser, kSettingsKey, kStartPageRead);
        ui.clear();
        f1["Text1"].textTyped(r.text);
        f1["Command1"].click();
        const std::string after = reg().ReadRegString(kHkeyCurrentUser, kSettingsKey, kStartPageRead);
        EXPECT_EQ(after, r.stored ? r.text : before) << '"' << r.text << '"';
        EXPECT_EQ(ui.lines({"nav"}), r.stored ? Lines{"nav Form1.xtra " + r.text} : Lines{}) << r.text;
    }
    // Go back and Home open the new start page at once.
    ui.clear();
    f1["Label4"].click();
    f1["Image5"].click();
    EXPECT_EQ(ui.lines({"nav"}), (Lines{"nav Form1.xtra not an address", "nav Form1.xtra not an address"}));
}

TEST_F(ProgramTest, WebGoBackStepsBackOnlyFromHttpNamesAndEndsOnTheStartPage) {
    Form& f1 = started();
    struct Row {
        std::string title;
        bool goesBack;
    };
    const Row rows[] = {{"http://127.0.0.1/untitled", true},
                        {"HTTP page", false},
                        {"Example Domain", false},
                        {"htt", false},
                        {"https://x", true}};
    for (const auto& r : rows) {
        f1["xtra"].Navigate("http://127.0.0.1/page");
        ui.titles["http://127.0.0.1/page"] = r.title;
        ui.clear();
        f1["Image3"].click();
        Lines expected = {"doEvents"};
        if (r.goesBack) expected.push_back("goBack Form1.xtra");
        expected.push_back("stop Form1.xtra");
        expected.push_back("nav Form1.xtra " + kDefaultStartPage);
        EXPECT_EQ(ui.lines({"doEvents", "goBack", "stop", "nav"}), expected) << r.title;
    }
    // A failing navigation at the end is passed over silently.
    ui.failingViews.insert("Form1.xtra");
    ui.clear();
    f1["Label4"].click();
    EXPECT_TRUE(ui.lines({"failed"}).empty());
}

TEST_F(ProgramTest, WebGoBackWithNoEarlierPageSkipsTheStepAndStillOpensTheStartPage) {
    Form& f1 = started();
    ASSERT_EQ(f1["xtra"].LocationName(), kDefaultStartPage);  // its one page, named "http..."
    f1["Label4"].click();
    EXPECT_EQ(ui.lines({"goBack", "stop", "nav", "failed"}),
              (Lines{"goBack Form1.xtra", "stop Form1.xtra", "nav Form1.xtra " + kDefaultStartPage}));
    EXPECT_EQ(ui.locationOf("Form1.xtra"), kDefaultStartPage);
}

TEST_F(ProgramTest, FullBrowserAndHomeArrangements) {
    Form& f1 = started();
    f1["Label5"].click();
    f1["Label5"].click();
    EXPECT_EQ(f1["xtra"].Height(), 10000);
    EXPECT_FALSE(f1["Hard"].Visible());
    EXPECT_FALSE(f1["floppy"].Visible());
    EXPECT_FALSE(f1["Label7"].Visible());
    EXPECT_TRUE(f1["Hardbox"].Visible());
    EXPECT_EQ(f1["FlopBox"].Top(), 5280);

    // The arrangement survives a trip to another view window.
    f1["Label10"].click();
    forms()["Big"]["Label3"].click();
    EXPECT_EQ(f1["xtra"].Height(), 10000);

    ui.clear();
    f1["Image5"].click();
    EXPECT_EQ(ui.log, (Lines{"nav Form1.xtra " + kDefaultStartPage, "doEvents", "set Form1.floppy.Visible 1",
                             "set Form1.Hard.Visible 1", "set Form1.xtra.Height 4935"}));
    f1["Image5"].click();  // in the three-pane arrangement: the same values, the start page again
    EXPECT_EQ(f1["xtra"].Height(), 4935);
    EXPECT_TRUE(f1["Hard"].Visible());
}

TEST_F(ProgramTest, DrivePanesPassTheEntryUnchangedAndActAlone) {
    Form& f1 = started();
    ui.drives["Form1.Hardbox"] = "/media/user/USB STICK [USB STICK]";
    f1["Hardbox"].change();
    EXPECT_EQ(ui.log, Lines{"nav Form1.Hard /media/user/USB STICK [USB STICK]"});

    // Browse inside, then go back: the top of the listed drive, not the previous folder.
    f1["Hard"].Navigate("/media/user/USB STICK/a");
    f1["Hard"].Navigate("/tmp/elsewhere");
    ui.clear();
    f1["Label1"].click();
    f1["Image1"].click();
    EXPECT_EQ(ui.log, (Lines{"nav Form1.Hard /media/user/USB STICK [USB STICK]",
                             "nav Form1.Hard /media/user/USB STICK [USB STICK]"}));
    EXPECT_EQ(ui.locationOf("Form1.floppy"), "/home/user [Home]");

    // A failing navigation in go back is ignored; on a drive change it ends the handler.
    ui.failingViews.insert("Form1.floppy");
    ui.clear();
    f1["Label3"].click();
    EXPECT_TRUE(ui.lines({"failed"}).empty());
    f1["FlopBox"].change();
    EXPECT_EQ(ui.lines({"failed"}).size(), 1u);
}

TEST_F(ProgramTest, InfoWindowsAreBuiltOnceAndHiddenByTheirCloseImage) {
    Form& f1 = started();
    f1.menuChosen("mnuWhat");
    f1.menuChosen("mnuWhat");
    f1.menuChosen("mnHelpi");
    EXPECT_EQ(ui.lines({"build"}), (Lines{"build Whats", "build Help"}));
    EXPECT_TRUE(forms()["Whats"].Visible());
    EXPECT_TRUE(f1.Visible());
    forms()["Whats"]["Image1"].click();
    EXPECT_FALSE(forms()["Whats"].Visible());
    EXPECT_TRUE(forms().exists("Whats"));
    EXPECT_TRUE(forms()["Help"].Visible());
}

TEST_F(ProgramTest, FormsExistOnceAndRebuildFromTheirRecordAfterUnload) {
    started();
    Form& a = forms()["Form3"];
    EXPECT_EQ(&a, &forms()["Form3"]);
    a["Fst"].setWidth(1);
    a.Unload();
    EXPECT_FALSE(forms().exists("Form3"));
    EXPECT_EQ(forms()["Form3"]["Fst"].Width(), 3885);
    EXPECT_THROW(forms()["NoSuchWindow"], std::out_of_range);
}

}  // namespace
}  // namespace kv::test
