#pragma once

#include "platform/forms/form.h"
#include "settings/regmodule.h"

namespace kv {

// The main window's web pane `xtra` and its start page. Each function takes the main window and the
// settings store and follows its steps in order; the start page is read afresh every time.

// Stores the default start page when none is stored.
void CheckHome(const RegModule& reg);

// "Change Start Page": a text of 7 characters or more, exactly as typed, becomes the start page and opens.
void ChangeStartPage(Form& form1, const RegModule& reg);

// The web pane's go back: ends on the stored start page.
void WebGoBack(Form& form1, const RegModule& reg);

// The full-browser arrangement: the web pane takes the drive panes' room.
void FullBrowser(Form& form1);

// Home: the start page in the web pane and the three-pane arrangement back.
void Home(Form& form1, const RegModule& reg);

// The hidden "Back to Main" label of the main window: the three-pane arrangement without navigating.
void RestoreThreePanes(Form& form1);

// Attaches the web pane's controls of the main window.
void bindWebPane(Form& form1, const RegModule& reg);

}  // namespace kv
