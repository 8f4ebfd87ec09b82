#pragma once

#include <string>

#include "platform/forms/forms.h"

namespace kv {

// The What's This and Help windows: built once, shown modeless (a second choice brings the same window
// to the front), hidden by their close image, so their text and scroll position survive.
void ShowInfoWindow(Forms& forms, const std::string& windowName);
void wireInfoWindow(Form& window);

}  // namespace kv
