#include "resources/windowrecords.h"

#include "resources/texts.h"

namespace kv {

namespace {

using K = ControlKind;

const FontRecord kBold{"MS Sans Serif", 9.75, true};
const FontRecord kRegular{"MS Sans Serif", 8.25, false};
const Colour kCaptionText = Colour::sys(SysColour::CaptionText);
const Colour kHighlightText = Colour::sys(SysColour::HighlightText);

// Column order of the rows below: name, kind, caption/text, tool tip, font, Left, Top, Width, Height, then
// the state, colours and tab order that a row names.

ControlRecord browser(const char* name, std::optional<std::string> tip, int l, int t, int w, int h, int tab) {
    ControlRecord c;
    c.name = name;
    c.kind = K::BrowserView;
    c.toolTip = std::move(tip);
    c.left = static_cast<std::int16_t>(l);
    c.top = static_cast<std::int16_t>(t);
    c.width = static_cast<std::int16_t>(w);
    c.height = static_cast<std::int16_t>(h);
    c.tabIndex = tab;
    return c;
}

ControlRecord withRole(ControlRecord c, PaneRole role) {
    c.role = role;
    return c;
}

ControlRecord driveList(const char* name, std::optional<FontRecord> font, int l, int t, int w, int h,
                        int tab) {
    ControlRecord c = browser(name, std::nullopt, l, t, w, h, tab);
    c.kind = K::DriveList;
    c.font = std::move(font);
    return c;
}

ControlRecord label(const char* name, std::string caption, std::optional<std::string> tip,
                    std::optional<FontRecord> font, int l, int t, int w, int h, Colour back, int tab,
                    Colour fore = {}, bool visible = true) {
    ControlRecord c = browser(name, std::move(tip), l, t, w, h, tab);
    c.kind = K::Label;
    c.caption = std::move(caption);
    c.font = std::move(font);
    c.back = back;
    c.fore = fore;
    c.visible = visible;
    return c;
}

ControlRecord image(const char* name, const char* picture, std::optional<std::string> tip, int l, int t,
                    int w, int h) {
    ControlRecord c = browser(name, std::move(tip), l, t, w, h, 0);
    c.kind = K::Image;
    c.picture = picture;
    c.tabIndex.reset();
    return c;
}

ControlRecord textBox(const char* name, std::string text, std::optional<std::string> tip,
                      std::optional<FontRecord> font, int l, int t, int w, int h, bool multiLine, int tab) {
    ControlRecord c = browser(name, std::move(tip), l, t, w, h, tab);
    c.kind = K::TextBox;
    c.caption = std::move(text);
    c.font = std::move(font);
    c.multiLine = multiLine;
    c.verticalScrollBar = multiLine;
    return c;
}

ControlRecord button(const char* name, std::string caption, int l, int t, int w, int h, int tab,
                     bool enabled = true) {
    ControlRecord c = browser(name, std::nullopt, l, t, w, h, tab);
    c.kind = K::CommandButton;
    c.caption = std::move(caption);
    c.enabled = enabled;
    return c;
}

WindowRecord window(const char* name, const char* caption, Colour back, Border border, WindowState state,
                    StartPosition start, int cw, int ch, std::optional<FontRecord> font = std::nullopt) {
    WindowRecord w;
    w.name = name;
    w.designName = name;
    w.caption = caption;
    w.back = back;
    w.border = border;
    w.state = state;
    w.startPosition = start;
    w.clientWidth = cw;
    w.clientHeight = ch;
    w.font = std::move(font);
    return w;
}

WindowRecord form1() {
    WindowRecord w = window("Form1", "Kestrovan1.1", Colour::sys(SysColour::Highlight), Border::Sizable,
                            WindowState::Maximized, StartPosition::CentreScreen, 15240, 10710);
    w.icon = "AppIcon";
    w.menu = {{"mnuWhat", "What's This ?"}, {"mnHelpi", "Help"}};
    const std::string goBack = "Click here to go back";
    const std::string sendBack = "Click here to send browser back";
    const std::string twoPanel = "Click here for 2 panel view";
    w.controls = {
        withRole(browser("xtra", std::nullopt, 0, 360, 15705, 4935, 2), PaneRole::Web),
        button("Command1", "Change Start Page", 13560, 0, 1575, 375, 9),
        textBox("Text1", "", "Enter web address here and click Change Start Page", kBold, 9720, 120, 3735,
                285, false, 1),
        withRole(browser("Hard", "Right mouse click for functions", 0, 5880, 7455, 4500, 5),
                 PaneRole::Downloads),
        driveList("FlopBox", std::nullopt, 7440, 5280, 7935, 315, 4),
        driveList("Hardbox", std::nullopt, 0, 5280, 7455, 315, 3),
        browser("floppy", "Right mouse click for functions", 7440, 5880, 7935, 4500, 0),
        label("Label10", "1PanelView", "30", kBold, 2880, 30, 1260, 255, Colour::rgb(192, 255, 255), 16),
        label("Label9", " 3 PanelView", twoPanel, kBold, 5520, 30, 1370, 255, Colour::rgb(128, 255, 128), 15),
        image("Image5", "HomeButton", "Home", 8760, 0, 375, 375),
        label("Label8", "  Kestrovan", "Click here for Kestrovan", kBold, 6840, 30, 1335, 255,
              Colour::rgb(0, 0, 255), 14, kHighlightText),
        label("Label7", "Back to Main", goBack, kBold, 8160, 0, 1455, 255, kCaptionText, 13, {}, false),
        label("Label6", "  2 PanelView", twoPanel, kBold, 4080, 30, 1455, 255, Colour::rgb(255, 192, 255),
              12),
        label("Label5", "Full Browser", "Click here for full screen browser", kBold, 1440, 30, 1455, 255,
              Colour::rgb(255, 192, 128), 11),
        image("Image3", "BackArrow", sendBack, 0, 15, 345, 300),
        label("Label4", "Go back", sendBack, kBold, 360, 30, 975, 255, kCaptionText, 10),
        label("Label3", "Go back", goBack, kBold, 8040, 5640, 2775, 240, kCaptionText, 8),
        image("Image2", "BackArrow", goBack, 7680, 5640, 345, 300),
        label("Label1", "Go back", goBack, kBold, 360, 5640, 2775, 240, kCaptionText, 6),
        image("Image1", "BackArrow", goBack, 0, 5640, 345, 300),
        label("Label2", "Label2", std::nullopt, std::nullopt, 0, 5400, 15599, 1095, kCaptionText, 7),
    };
    return w;
}

WindowRecord form3() {
    WindowRecord w = window("Form3", "Kestrovan1.1", {}, Border::None, WindowState::Maximized,
                            StartPosition::CentreScreen, 15240, 9615);
    const std::string rightClick = "Right click for functions";
    const std::string goBack = "Click to go back";
    w.controls = {
        driveList("FthBox", std::nullopt, 11400, 480, 3855, 315, 6),
        driveList("ThdBox", std::nullopt, 7560, 480, 3855, 315, 4),
        driveList("ScdBox", std::nullopt, 3720, 480, 3855, 315, 3),
        driveList("FstBox", std::nullopt, 0, 480, 3735, 315, 2),
        browser("Fst", rightClick, -120, 720, 3885, 10250, 0),
        browser("Thd", rightClick, 7560, 720, 3885, 10250, 1),
        browser("Fth", rightClick, 11400, 720, 3885, 10250, 5),
        browser("Scd", rightClick, 3720, 720, 3880, 10250, 11),
        label("Label10", " 1PanelView", "30", kBold, 5160, 0, 1380, 255, Colour::rgb(192, 255, 255), 15),
        label("Label9", " 3 PanelView", "Click here for 2 panel view", kBold, 12720, 0, 1395, 255,
              Colour::rgb(128, 255, 128), 14),
        label("Label3", " 2 Panel View", goBack, kBold, 9000, 0, 1575, 255, Colour::rgb(255, 192, 255), 13),
        label("Label1", "Back to Main", goBack, kBold, 1440, 0, 1455, 255, Colour::rgb(0, 0, 255), 12,
              kHighlightText),
        image("Image5", "CloseBox", std::nullopt, 14880, 0, 375, 375),
        image("Image4", "BackArrow", goBack, 11400, 240, 345, 300),
        image("Image2", "BackArrow", goBack, 7560, 240, 345, 300),
        image("Image1", "BackArrow", std::nullopt, 3720, 240, 345, 300),
        image("Image3", "BackArrow", goBack, 0, 240, 345, 300),
        label("Label6", "Go back", goBack, kBold, 11760, 240, 975, 255, kCaptionText, 10),
        label("Label5", "Go back", goBack, kBold, 7920, 240, 975, 255, kCaptionText, 9),
        label("Label2", "Go back", goBack, kBold, 4080, 240, 975, 255, kCaptionText, 8),
        label("Label4", "Go back", goBack, kBold, 360, 240, 975, 255, kCaptionText, 7),
    };
    return w;
}

WindowRecord dublpanl() {
    WindowRecord w = window("dublpanl", "Kestrovan1.1", Colour::rgb(255, 224, 192), Border::None,
                            WindowState::Maximized, StartPosition::CentreScreen, 14955, 9465, kBold);
    const std::string rightClick = "Right click for functions";
    const std::string goBack = "Click to go back";
    w.controls = {
        driveList("ritbox", kRegular, 7680, 600, 7695, 315, 3),
        driveList("lftbox", kRegular, 0, 600, 7695, 315, 2),
        browser("rit", rightClick, 7680, 840, 7695, 10100, 1),
        browser("lft", rightClick, 0, 840, 7695, 10100, 0),
        image("Image3", "CloseBox", std::nullopt, 14640, 0, 375, 375),
        label("Label3", "Back to Main", std::nullopt, std::nullopt, 6960, 0, 1455, 255,
              Colour::rgb(128, 128, 255), 6, kHighlightText),
        label("Label2", "Go Back", goBack, std::nullopt, 8040, 360, 1095, 255, kCaptionText, 5),
        label("Label1", "Go Back", goBack, std::nullopt, 360, 360, 1095, 255, kCaptionText, 4),
        image("Image1", "BackArrow", goBack, 7680, 360, 345, 300),
        image("Image2", "BackArrow", goBack, 0, 360, 345, 300),
    };
    return w;
}

WindowRecord big() {
    WindowRecord w = window("Big", "Kestrovan1.1", {}, Border::None, WindowState::Maximized,
                            StartPosition::CentreScreen, 15090, 8580);
    w.designName = "Form2";
    const std::string sendBack = "Click here to send browser back";
    w.controls = {
        driveList("Drive1", std::nullopt, 240, 720, 13575, 315, 1),
        browser("WebBrowser1", std::nullopt, 240, 960, 13695, 7815, 0),
        label("Label8", "Kestrovan", "Click here for Kestrovan", kBold, 9360, 0, 1095, 255,
              Colour::rgb(128, 128, 255), 6, kHighlightText),
        label("Label9", "3 Panel View", "Click here for 2 panel view", kBold, 6240, 0, 1575, 255,
              Colour::rgb(192, 255, 192), 5),
        label("Label6", " 2 Panel View", "Click here for 2 panel view", kBold, 3360, 0, 1815, 255,
              Colour::rgb(255, 192, 255), 4),
        image("Image1", "CloseBox", std::nullopt, 14760, 0, 375, 375),
        label("Label4", "Go back", sendBack, kBold, 600, 480, 1095, 255, kCaptionText, 3),
        image("Image3", "BackArrow", sendBack, 240, 480, 345, 300),
        label("Label3", "Back to Main", std::nullopt, kBold, 6720, 480, 1455, 255, Colour::rgb(255, 255, 0),
              2),
    };
    return w;
}

WindowRecord eula() {
    WindowRecord w = window("Eula", " Eula", Colour::sys(SysColour::ScrollBar), Border::None,
                            WindowState::Normal, StartPosition::CentreOwner, 8010, 3825);
    ControlRecord option = button("Option1", "Option1", 1080, 3240, 255, 255, 1);
    option.kind = K::OptionButton;
    option.back = kCaptionText;
    w.controls = {
        button("Command2", "I Disagree", 5880, 3120, 1000, 400, 4),
        button("Command1", "I Agree", 4680, 3120, 1000, 400, 3, false),
        option,
        textBox("txtEULA", eulaText(), std::nullopt, std::nullopt, 120, 360, 7815, 2415, true, 0),
        label("Label1", "I have read the agreement and approve.", std::nullopt, std::nullopt, 1680, 3240,
              2895, 255, kCaptionText, 2),
    };
    return w;
}

WindowRecord whats() {
    WindowRecord w = window("Whats", "What's this ?", Colour::sys(SysColour::Highlight), Border::None,
                            WindowState::Normal, StartPosition::CentreScreen, 11925, 8070);
    w.controls = {
        textBox("Text1", whatsText(), std::nullopt, kBold, 2400, 0, 7935, 7815, true, 0),
        image("Image1", "CloseBox", std::nullopt, 11520, 0, 375, 375),
    };
    return w;
}

WindowRecord help() {
    WindowRecord w = window("Help", "Kestrovan 1.1 Help", Colour::rgb(0, 192, 192), Border::None,
                            WindowState::Normal, StartPosition::CentreScreen, 10635, 7065);
    w.controls = {
        textBox("Text1", helpText(), std::nullopt, std::nullopt, 1440, 600, 7095, 5655, true, 0),
        image("Image1", "CloseBox", std::nullopt, 10080, 120, 375, 375),
    };
    return w;
}

}  // namespace

const std::vector<WindowRecord>& windowRecords() {
    static const std::vector<WindowRecord> records = {form1(), form3(), dublpanl(), big(),
                                                      eula(),  whats(), help()};
    return records;
}

const WindowRecord* findWindowRecord(std::string_view windowName) {
    for (const auto& w : windowRecords())
        if (w.name == windowName) return &w;
    return nullptr;
}

}  // namespace kv
