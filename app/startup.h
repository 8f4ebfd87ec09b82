#pragma once

#include "platform/forms/forms.h"
#include "settings/regmodule.h"

namespace kv {

// The main window's load sequence: the way the program comes up. `firstStart` is decided by the caller
// before anything is written (the program's settings key did not exist yet).
void LoadMainWindow(Form& form1, const RegModule& reg, bool firstStart);

// The agreement window's handlers: the option button enables "I Agree", which records the agreement and
// unloads the window; "I Disagree" ends the program at once.
void wireAgreementWindow(Form& eula, const RegModule& reg);

}  // namespace kv
