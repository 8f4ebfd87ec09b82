#include "views/infowindows.h"

namespace kv {

void ShowInfoWindow(Forms& forms, const std::string& windowName) {
    forms[windowName].Show();
}

void wireInfoWindow(Form& window) {
    Form* w = &window;
    window["Image1"].setOnClick([w] { w->Hide(); });
}

}  // namespace kv
