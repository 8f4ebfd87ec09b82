#include <gtest/gtest.h>

#include <set>

#include "resources/windowrecords.h"

namespace kv {
namespace {

const ControlRecord& ctl(const char* window, const char* name) {
    const WindowRecord* w = findWindowRecord(window);
    EXPECT_NE(w, nullptr) << window;
    const ControlRecord* c = w ? w->control(name) : nullptr;
    EXPECT_NE(c, nullptr) << window << "." << name;
    static const ControlRecord none;
    return c ? *c : none;
}

TEST(Records, CaptionsAndToolTipsKeepTheirExactText) {
    struct Row {
        const char* window;
        const char* control;
        const char* caption;
        const char* tip;  // nullptr: none
    };
    const Row rows[] = {
        {"Form1", "Label10", "1PanelView", "30"},
        {"Form1", "Label6", "  2 PanelView", "Click here for 2 panel view"},
        {"Form1", "Label9", " 3 PanelView", "Click here for 2 panel view"},
        {"Form1", "Label8", "  Kestrovan", "Click here for Kestrovan"},
        {"Form1", "Label7", "Back to Main", "Click here to go back"},
        {"Form1", "Label2", "Label2", nullptr},
        {"Form3", "Label10", " 1PanelView", "30"},
        {"Form3", "Label3", " 2 Panel View", "Click to go back"},
        {"Form3", "Image1", "", nullptr},
        {"Form3", "Image3", "", "Click to go back"},
        {"dublpanl", "Label1", "Go Back", "Click to go back"},
        {"dublpanl", "Label3", "Back to Main", nullptr},
        {"Big", "Label9", "3 Panel View", "Click here for 2 panel view"},
        {"Big", "Label4", "Go back", "Click here to send browser back"},
        {"Eula", "Label1", "I have read the agreement and approve.", nullptr},
    };
    for (const auto& r : rows) {
        const ControlRecord& c = ctl(r.window, r.control);
        EXPECT_EQ(c.caption, r.caption) << r.window << "." << r.control;
        EXPECT_EQ(c.toolTip.has_value(), r.tip != nullptr) << r.window << "." << r.control;
        if (r.tip && c.toolTip) {
            EXPECT_EQ(*c.toolTip, r.tip);
        }
    }
    EXPECT_EQ(findWindowRecord("Eula")->caption, " Eula");
    EXPECT_EQ(findWindowRecord("Big")->designName, "Form2");
    EXPECT_EQ(findWindowRecord("Help")->caption, "Kestrovan 1.1 Help");
}

TEST(Records, StatesFontsAndGeometryQuirks) {
    EXPECT_FALSE(ctl("Form1", "Label7").visible);
    EXPECT_FALSE(ctl("Eula", "Command1").enabled);
    EXPECT_EQ(ctl("Form3", "Fst").left, -120);
    EXPECT_EQ(ctl("Form3", "Scd").width, 3880);
    EXPECT_EQ(ctl("Form3", "Thd").width, 3885);
    const WindowRecord& two = *findWindowRecord("dublpanl");
    EXPECT_EQ(two.fontOf(*two.control("Label1")), (FontRecord{"MS Sans Serif", 9.75, true}));
    EXPECT_EQ(two.fontOf(*two.control("lftbox")), (FontRecord{"MS Sans Serif", 8.25, false}));
    const WindowRecord& main = *findWindowRecord("Form1");
    EXPECT_EQ(main.fontOf(*main.control("Hardbox")), defaultFont());
    EXPECT_EQ(main.border, Border::Sizable);
    EXPECT_EQ(main.menu.size(), 2u);
    EXPECT_EQ(main.menu[0].caption, "What's This ?");
    EXPECT_EQ(main.controls.front().name, "xtra");
    EXPECT_EQ(main.controls.back().name, "Label2");
}

TEST(Records, EveryWindowHasUniqueNamesAndPicturesAtTheirNaturalSize) {
    std::set<std::string> windows;
    for (const auto& w : windowRecords()) {
        EXPECT_TRUE(windows.insert(w.name).second) << w.name;
        std::set<std::string> names;
        for (const auto& c : w.controls) {
            EXPECT_TRUE(names.insert(c.name).second) << w.name << "." << c.name;
            if (c.picture == "BackArrow") {
                EXPECT_TRUE(c.width == 345 && c.height == 300) << c.name;
            }
            if (c.picture == "CloseBox" || c.picture == "HomeButton") {
                EXPECT_TRUE(c.width == 375 && c.height == 375) << c.name;
            }
            EXPECT_EQ(c.kind == ControlKind::Image, !c.tabIndex.has_value()) << c.name;
        }
        EXPECT_EQ(w.border == Border::Sizable, w.name == "Form1") << w.name;
    }
    EXPECT_EQ(windows.size(), 7u);
}

}  // namespace
}  // namespace kv
