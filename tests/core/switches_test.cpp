#include <gtest/gtest.h>

#include "support/programfixture.h"

namespace kv::test {
namespace {

using SwitchLines = std::vector<std::string>;

struct TwoPanelRow {
    float source;
    float half;
};

class TwoPanel : public ProgramTest, public ::testing::WithParamInterface<TwoPanelRow> {};

TEST_P(TwoPanel, SizesBothColumnsFromTheSourceWidth) {
    ui.scaleWidths["Form1"] = GetParam().source;
    started();
    click("Form1", "Label6");
    Form& two = forms()["dublpanl"];
    for (const char* c : {"lft", "rit", "lftbox", "ritbox"}) EXPECT_EQ(two[c].Width(), GetParam().half) << c;
    // Only widths: the right column stays where the design put it.
    EXPECT_EQ(two["lft"].Left(), 0);
    EXPECT_EQ(two["rit"].Left(), 7680);
    EXPECT_EQ(two["rit"].Height(), 10100);
    EXPECT_TRUE(two.Visible());
    EXPECT_FALSE(forms()["Form1"].Visible());
}

INSTANTIATE_TEST_SUITE_P(Widths, TwoPanel,
                         ::testing::Values(TwoPanelRow{15360, 7680}, TwoPanelRow{12000, 6000},
                                           TwoPanelRow{19200, 9600}, TwoPanelRow{15345, 7672}));

TEST_F(ProgramTest, FirstTwoPanelSwitchNavigatesRightThenLeftBeforeAnyWidth) {
    ui.drives["dublpanl.ritbox"] = "/media/usb [USB]";
    started();
    click("Form1", "Label6");
    const SwitchLines expected = {"hide Form1",
                                  "build dublpanl",
                                  "nav dublpanl.rit /media/usb [USB]",
                                  "nav dublpanl.lft /home/user [Home]",
                                  "set dublpanl.lft.Width 7680",
                                  "set dublpanl.rit.Width 7680",
                                  "set dublpanl.lftbox.Width 7680",
                                  "set dublpanl.ritbox.Width 7680",
                                  "show dublpanl"};
    EXPECT_EQ(ui.log, expected);

    // Back to the main window and in again: no new navigation, the new source's widths.
    click("dublpanl", "Label3");
    EXPECT_TRUE(forms()["Form1"].Visible());
    ui.scaleWidths["Big"] = 12000;
    click("Form1", "Label10");
    ui.clear();
    click("Big", "Label6");
    EXPECT_TRUE(ui.lines({"nav ", "build "}).empty());
    EXPECT_EQ(forms()["dublpanl"]["rit"].Width(), 6000);
}

TEST_F(ProgramTest, TwoPanelSwitchFromMultiPanelUnloadsIt) {
    started();
    click("Form1", "Label9");  // three panels
    ui.clear();
    click("Form3", "Label3");
    EXPECT_FALSE(forms().exists("Form3"));
    EXPECT_EQ(ui.lines({"unload", "show"}), (SwitchLines{"unload Form3", "show dublpanl"}));
    // The next switch into it builds four fresh panes.
    click("dublpanl", "Image3");
    click("Form1", "Label8");
    Form& three = forms()["Form3"];
    EXPECT_TRUE(three["Fth"].Visible());
    EXPECT_TRUE(three["Label9"].Visible());
    EXPECT_EQ(three["Fst"].Width(), 3885);
}

struct ThreePanelRow {
    float s, f;
    SwitchLines lefts;  // Fst Scd Thd Image1 Label2 Image2 Label5 Label10 Label3
    std::string width;
};

class ThreePanel : public ProgramTest, public ::testing::WithParamInterface<ThreePanelRow> {};

TEST_P(ThreePanel, ArrangesThreeColumnsFromTheSourceAndTwoLabelsFromItself) {
    const auto& r = GetParam();
    ui.scaleWidths["Form1"] = r.s;
    ui.scaleWidths["Form3"] = r.f;
    started();
    click("Form1", "Label9");
    Form& three = forms()["Form3"];
    SwitchLines lefts;
    for (const char* c : {"Fst", "Scd", "Thd", "Image1", "Label2", "Image2", "Label5", "Label10", "Label3"})
        lefts.push_back(fmt(three[c].Left()));
    EXPECT_EQ(lefts, r.lefts);
    for (const char* c : {"Fst", "Scd", "Thd", "FstBox", "ScdBox", "ThdBox"})
        EXPECT_EQ(fmt(three[c].Width()), r.width);
    EXPECT_EQ(three["FstBox"].Left(), three["Fst"].Left());
    EXPECT_EQ(three["ThdBox"].Left(), three["Thd"].Left());
    for (const char* c : {"Fth", "FthBox", "Image4", "Label6", "Label9"})
        EXPECT_FALSE(three[c].Visible()) << c;
    EXPECT_FALSE(three["Fth"].Enabled());
    // Untouched: the first column's go-back controls, Back to Main and the close image.
    EXPECT_EQ(three["Image3"].Left(), 0);
    EXPECT_EQ(three["Label4"].Left(), 360);
    EXPECT_EQ(three["Label1"].Left(), 1440);
    EXPECT_EQ(three["Image5"].Left(), 14880);
    EXPECT_EQ(three["Fst"].Top(), 720);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, ThreePanel,
    ::testing::Values(
        ThreePanelRow{
            12000, 12000, {"50", "3946", "7942", "3996", "4326", "7992", "8322", "5310", "9567"}, "4000"},
        ThreePanelRow{
            15360,
            15360,
            {"50", "5064.88", "10179.76", "5114.88", "5444.88", "10229.76", "10559.76", "6990", "11804.76"},
            "5120"},
        // A main window narrower than the multi-panel window: panes follow the source, the two labels Form3.
        ThreePanelRow{12000,
                      15360,
                      {"50", "3946", "7942", "3996", "4326", "7992", "8322", "6990", "11804.76"},
                      "4000"}));

TEST_F(ProgramTest, ThreePanelStepOrderDependsOnTheSource) {
    started();
    click("Form1", "Label9");
    SwitchLines head(ui.log.begin(), ui.log.begin() + 12);
    const SwitchLines fromMain = {"hide Form1",
                                  "build Form3",
                                  "nav Form3.Fst /home/user [Home]",
                                  "nav Form3.Scd /home/user [Home]",
                                  "nav Form3.Thd /home/user [Home]",
                                  "nav Form3.Fth /home/user [Home]",
                                  "show Form3",
                                  "set Form3.Label9.Visible 0",
                                  "set Form3.Fth.Visible 0",
                                  "set Form3.Fth.Enabled 0",
                                  "set Form3.Image4.Visible 0",
                                  "set Form3.Label6.Visible 0"};
    EXPECT_EQ(head, fromMain);
    EXPECT_EQ(ui.log.back(), "set Form3.Label3.Left 11804.76");  // 15360 * 0.666 + 1575 comes last

    ui.clear();
    click("Form3", "Label9");
    const SwitchLines fromItself = {"hide Form3", "set Form3.Label9.Visible 0", "show Form3"};
    EXPECT_EQ(SwitchLines(ui.log.begin(), ui.log.begin() + 3), fromItself);
    EXPECT_EQ(ui.log.back(), "set Form3.Label10.Left 6990");
    EXPECT_TRUE(ui.lines({"nav ", "build "}).empty());
}

TEST_F(ProgramTest, MultiPanelLifecycleKeepsOrRebuildsItsPanes) {
    ui.drives["Form3.ScdBox"] = "/mnt/data [Data]";
    started();
    click("Form1", "Label9");
    forms()["Form3"]["Scd"].Navigate("/mnt/data/photos");  // the user browses
    click("Form3", "Image5");                              // close image: hidden, kept
    EXPECT_TRUE(forms().exists("Form3"));
    ui.clear();
    click("Form1", "Label8");  // four-pane switch shows it as it is
    EXPECT_EQ(ui.log, (SwitchLines{"hide Form1", "show Form3"}));
    EXPECT_FALSE(forms()["Form3"]["Fth"].Visible());
    EXPECT_EQ(ui.locationOf("Form3.Scd"), "/mnt/data/photos");

    click("Form3", "Label10");  // one-panel switch keeps it too
    EXPECT_TRUE(forms().exists("Form3"));
    click("Big", "Label8");
    ui.clear();
    click("Form3", "Label1");  // Back to Main: hidden and unloaded
    EXPECT_EQ(ui.log, (SwitchLines{"hide Form3", "unload Form3", "show Form1"}));
    EXPECT_FALSE(forms().exists("Form3"));
    click("Form1", "Label8");
    EXPECT_TRUE(forms()["Form3"]["Fth"].Visible());
    EXPECT_EQ(ui.locationOf("Form3.Scd"), "/mnt/data [Data]");
}

TEST_F(ProgramTest, SinglePanelLoadsOnceAndOnlyTheMainWindowSizesIt) {
    ui.screenHeight = 11520;
    ui.scaleWidths["Big"] = 19200;
    ui.scaleWidths["Form1"] = 15240;
    started();
    click("Form1", "Label10");
    const SwitchLines expected = {"hide Form1",
                                  "build Big",
                                  "form Big.Left 0",
                                  "nav Big.WebBrowser1 /home/user [Home]",
                                  "form Big.Width 19200",
                                  "set Big.WebBrowser1.Width 19100",
                                  "set Big.Drive1.Width 19100",
                                  "set Big.WebBrowser1.Left 50",
                                  "set Big.Drive1.Left 50",
                                  "set Big.WebBrowser1.Height 10095",
                                  "set Big.Drive1.Width 15140",
                                  "set Big.WebBrowser1.Width 15140",
                                  "show Big"};
    EXPECT_EQ(ui.log, expected);

    // Out, widen the main window, in again from the multi-panel window: no sizing, no navigation.
    click("Big", "Label3");
    ui.scaleWidths["Form1"] = 30000;
    click("Form1", "Label8");
    ui.clear();
    click("Form3", "Label10");
    EXPECT_EQ(ui.log, (SwitchLines{"hide Form3", "show Big"}));
    EXPECT_EQ(forms()["Big"]["WebBrowser1"].Width(), 15140);
    EXPECT_EQ(forms()["Big"]["WebBrowser1"].Height(), 10095);
}

TEST_F(ProgramTest, FirstSinglePanelSwitchFromMultiPanelKeepsItsOwnWidths) {
    ui.scaleWidths["Big"] = 15360;
    started();
    click("Form1", "Label8");
    click("Form3", "Label10");
    EXPECT_EQ(forms()["Big"]["WebBrowser1"].Width(), 15260);
    EXPECT_EQ(forms()["Big"]["Drive1"].Width(), 15260);
}

TEST_F(ProgramTest, EverySwitchHidesItsSourceSoOneViewWindowIsInFront) {
    started();
    struct Step {
        const char* window;
        const char* control;
        const char* target;
    };
    const Step steps[] = {
        {"Form1", "Label10", "Big"},  {"Big", "Label6", "dublpanl"},   {"dublpanl", "Label3", "Form1"},
        {"Form1", "Label8", "Form3"}, {"Form3", "Label10", "Big"},     {"Big", "Label9", "Form3"},
        {"Form3", "Image5", "Form1"}, {"Form1", "Label6", "dublpanl"}, {"dublpanl", "Image3", "Form1"},
        {"Form1", "Label9", "Form3"}, {"Form3", "Label3", "dublpanl"}, {"dublpanl", "Label3", "Form1"},
        {"Form1", "Label10", "Big"},  {"Big", "Image1", "Form1"},      {"Form1", "Label8", "Form3"},
        {"Form3", "Label1", "Form1"}};
    for (const auto& s : steps) {
        click(s.window, s.control);
        int shown = 0;
        for (const char* w : {"Form1", "Form3", "dublpanl", "Big"})
            if (forms().exists(w) && forms()[w].Visible()) ++shown;
        EXPECT_EQ(shown, 1) << s.window << "." << s.control;
        EXPECT_TRUE(forms()[s.target].Visible()) << s.window << "." << s.control;
    }
}

}  // namespace
}  // namespace kv::test
