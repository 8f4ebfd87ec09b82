#include "panes/webpane.h"

#include <exception>

#include "platform/forms/forms.h"
#include "settings/settingskeys.h"

namespace kv {

namespace {

constexpr float kThreePaneHeight = 4935;
constexpr float kFullBrowserHeight = 10000;

std::string readStartPage(const RegModule& reg) {
    return reg.ReadRegString(kHkeyCurrentUser, kSettingsKey, kStartPageRead);
}

// Characters (code points) of UTF-8 text: every byte but the continuation bytes starts one.
std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

// A step whose failure is to be passed over, the next step running all the same.
template <typename F>
void ignoringErrors(F&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace

void CheckHome(const RegModule& reg) {
    if (readStartPage(reg).empty())
        reg.WriteRegString(kHkeyCurrentUser, kSettingsKey, kStartPageWrite, kDefaultStartPage);
}

void ChangeStartPage(Form& form1, const RegModule& reg) {
    const std::string text = form1["Text1"].Text();
    if (characterCount(text) < 7) return;
    reg.WriteRegString(kHkeyCurrentUser, kSettingsKey, kStartPageWrite, text);
    form1["xtra"].Navigate(text);
}

void WebGoBack(Form& form1, const RegModule& reg) {
    const std::string start = readStartPage(reg);
    form1.forms().DoEvents();
    Control& xtra = form1["xtra"];
    if (xtra.LocationName().substr(0, 4) == "http") xtra.GoBack();
    ignoringErrors([&] { xtra.Stop(); });
    ignoringErrors([&] { xtra.Navigate(start); });
}

void FullBrowser(Form& form1) {
    form1["xtra"].setHeight(kFullBrowserHeight);
    form1["floppy"].setVisible(false);
    form1["Hard"].setVisible(false);
    form1["Label7"].setVisible(false);
}

void Home(Form& form1, const RegModule& reg) {
    const std::string start = readStartPage(reg);
    form1["xtra"].Navigate(start);
    form1.forms().DoEvents();
    form1["floppy"].setVisible(true);
    form1["Hard"].setVisible(true);
    form1["xtra"].setHeight(kThreePaneHeight);
}

void RestoreThreePanes(Form& form1) {
    form1["xtra"].setHeight(kThreePaneHeight);
    form1["floppy"].setVisible(true);
    form1["Hard"].setVisible(true);
}

void bindWebPane(Form& form1, const RegModule& reg) {
    Form* f = &form1;
    const RegModule* r = &reg;
    form1["Command1"].setOnClick([f, r] { ChangeStartPage(*f, *r); });
    form1["Image3"].setOnClick([f, r] { WebGoBack(*f, *r); });
    form1["Label4"].setOnClick([f, r] { WebGoBack(*f, *r); });
    form1["Label5"].setOnClick([f] { FullBrowser(*f); });
    form1["Image5"].setOnClick([f, r] { Home(*f, *r); });
    form1["Label7"].setOnClick([f] { RestoreThreePanes(*f); });
}

}  // namespace kv
