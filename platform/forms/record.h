#pragma once

// Design records: what a window and its controls look like when the window is built. The data of the
// seven windows lives in resources/; the window model builds a form from a record.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

enum class ControlKind { BrowserView, DriveList, Label, Image, TextBox, CommandButton, OptionButton };

// System colour indexes of the platform.
enum class SysColour : int { ScrollBar = 0, CaptionText = 9, Highlight = 13, HighlightText = 14 };

struct Colour {
    enum class Type { Default, Rgb, System };
    Type type = Type::Default;
    std::uint8_t r = 0, g = 0, b = 0;
    int system = 0;

    static Colour rgb(int r, int g, int b) {
        return Colour{Type::Rgb, static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                      static_cast<std::uint8_t>(b), 0};
    }
    static Colour sys(SysColour c) { return Colour{Type::System, 0, 0, 0, static_cast<int>(c)}; }
    bool isDefault() const { return type == Type::Default; }
    bool operator==(const Colour&) const = default;
};

struct FontRecord {
    std::string face;
    double points = 8.25;
    bool bold = false;
    bool operator==(const FontRecord&) const = default;
};

// The font of a window that names none.
inline FontRecord defaultFont() {
    return FontRecord{"MS Sans Serif", 8.25, false};
}

// What a browser view is to its window beyond its look: its web pane (pages opened from a folder
// pane go there), or the drive pane that things saved from pages go into until the user uses another.
enum class PaneRole { None, Web, Downloads };

struct ControlRecord {
    std::string name;
    ControlKind kind = ControlKind::Label;
    std::string caption;  // caption of labels and buttons, text of text boxes
    std::optional<std::string> toolTip;
    std::optional<FontRecord> font;  // none: the window's font
    std::int16_t left = 0, top = 0, width = 0, height = 0;
    bool visible = true;
    bool enabled = true;
    std::optional<int> tabIndex;  // images take no place in the focus order
    std::string picture;          // picture resource name, images only
    Colour back;
    Colour fore;
    bool multiLine = false;
    bool verticalScrollBar = false;
    PaneRole role = PaneRole::None;  // browser views only
};

struct MenuRecord {
    std::string name;
    std::string caption;
};

enum class Border { None, Sizable };
enum class WindowState { Normal, Maximized };
enum class StartPosition { CentreScreen, CentreOwner };

struct WindowRecord {
    std::string name;
    std::string designName;  // differs from name only for the single-panel window
    std::string caption;
    Colour back;
    Border border = Border::None;
    WindowState state = WindowState::Normal;
    StartPosition startPosition = StartPosition::CentreScreen;
    int clientWidth = 0, clientHeight = 0;
    std::optional<FontRecord> font;
    std::string icon;
    std::vector<MenuRecord> menu;
    std::vector<ControlRecord> controls;  // in creation order

    const ControlRecord* control(std::string_view controlName) const {
        for (const auto& c : controls)
            if (c.name == controlName) return &c;
        return nullptr;
    }
    // The font a control is shown in: its own, else the window's, else the default.
    FontRecord fontOf(const ControlRecord& c) const {
        if (c.font) return *c.font;
        if (font) return *font;
        return defaultFont();
    }
};

// Where forms find their records.
class RecordSource {
  public:
    virtual ~RecordSource() = default;
    virtual const WindowRecord* find(std::string_view windowName) const = 0;
};

}  // namespace kv
