#include <gtest/gtest.h>

#include "platform/forms/twips.h"
#include "support/programfixture.h"

namespace kv::test {
namespace {

TEST(Arithmetic, RoundsHalvesToEvenAndHalvesWholeNumbers) {
    struct Row {
        double w;
        double rounded;
        long long half;
    };
    const Row rows[] = {
        {15240, 15240, 7620},
        {15241, 15241, 7620},
        {15345, 15345, 7672},
        {15241.5, 15242, 7621},
        {15242.5, 15242, 7621},
        {15243.5, 15244, 7622},
        {15240.49, 15240, 7620},
        {-0.5, -0.0, 0},
        {0.5, 0, 0},
        {1.5, 2, 1},
        {2.5, 2, 1},
        {12000.7, 12001, 6000},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(roundHalfEven(r.w), r.rounded) << r.w;
        EXPECT_EQ(halfOfRounded(r.w), r.half) << r.w;
    }
}

TEST(Arithmetic, ThreePanelProductsAreStoredInSinglePrecision) {
    EXPECT_EQ(fmt(scaledPlus(15360, 0.333, -50)), "5064.88");
    EXPECT_EQ(fmt(scaledPlus(15360, 0.666, -50)), "10179.76");
    EXPECT_EQ(scaledPlus(12000, 0.333, -50), 3946.0f);
    EXPECT_EQ(scaledPlus(15360, 0.666, -50), single(15360.0 * 0.666 - 50.0));
}

struct LayoutRow {
    float width;
    float half75, left50, xtra;
};

class MainLayout : public ProgramTest, public ::testing::WithParamInterface<LayoutRow> {};

TEST_P(MainLayout, FollowsTheClientWidthAtLoad) {
    const LayoutRow r = GetParam();
    ui.scaleWidths["Form1"] = r.width;
    Form& f = started();
    EXPECT_EQ(f["Hard"].Width(), r.half75);
    EXPECT_EQ(f["Hardbox"].Width(), r.half75);
    EXPECT_EQ(f["floppy"].Width(), r.half75);
    EXPECT_EQ(f["FlopBox"].Width(), r.half75);
    EXPECT_EQ(f["floppy"].Left(), r.left50);
    EXPECT_EQ(f["FlopBox"].Left(), r.left50);
    EXPECT_EQ(f["xtra"].Width(), r.xtra);
    // Everything else keeps its design value.
    EXPECT_EQ(f["Hard"].Left(), 0);
    EXPECT_EQ(f["xtra"].Left(), 0);
    EXPECT_EQ(f["xtra"].Top(), 360);
    EXPECT_EQ(f["xtra"].Height(), 4935);
    EXPECT_EQ(f["Hard"].Top(), 5880);
    EXPECT_EQ(f["FlopBox"].Top(), 5280);
}

INSTANTIATE_TEST_SUITE_P(Widths, MainLayout,
                         ::testing::Values(LayoutRow{15240, 7695, 7670, 15315},
                                           LayoutRow{15241, 7695, 7670, 15316},
                                           LayoutRow{15243, 7696, 7671, 15318},
                                           LayoutRow{15242.5f, 7696, 7671, 15317.5f},
                                           LayoutRow{28800, 14475, 14450, 28875}));

TEST_F(ProgramTest, MainLayoutIsMadeOnceInItsOrderAndNotOnResize) {
    ui.scaleWidths["Form1"] = 15240;
    program().start();
    auto sets = ui.lines({"set Form1.Hard.W", "set Form1.floppy.", "set Form1.xtra.W", "set Form1.Hardbox.",
                          "set Form1.FlopBox."});
    const std::vector<std::string> expected = {
        "set Form1.Hard.Width 7695",   "set Form1.floppy.Width 7695",  "set Form1.floppy.Left 7670",
        "set Form1.xtra.Width 15315",  "set Form1.Hardbox.Width 7695", "set Form1.FlopBox.Width 7695",
        "set Form1.FlopBox.Left 7670",
    };
    EXPECT_EQ(sets, expected);
    ui.clear();
    ui.scaleWidths["Form1"] = 9000;  // the user makes the window smaller
    forms()["Form1"].Show();
    EXPECT_EQ(forms()["Form1"]["Hard"].Width(), 7695);
    EXPECT_TRUE(ui.lines({"set "}).empty());
}

}  // namespace
}  // namespace kv::test
