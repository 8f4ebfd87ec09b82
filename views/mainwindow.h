#pragma once

#include "platform/forms/forms.h"
#include "settings/regmodule.h"

namespace kv {

// The exit question of the main window, asked on every close request.
inline const char kExitQuestion[] = "             Exit Kestrovan?";
inline const char kExitTitle[] = "Exit Kestrovan";

// Lays out the main window's three panes and two drive lists from its client width, once, at load.
void LayoutMainWindow(Form& form1);

// A close request: Yes ends the program at once; No keeps everything as it was. Returns whether the
// window may close (it never closes on its own: ending closes every window).
bool ConfirmExit(Form& form1);

// Attaches the main window's handlers: its two drive panes, the web pane, the view switches, the menu
// and the exit question.
void wireMainWindow(Form& form1, const RegModule& reg);

}  // namespace kv
