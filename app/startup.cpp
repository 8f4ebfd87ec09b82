#include "app/startup.h"

#include "panes/drivepane.h"
#include "panes/webpane.h"
#include "settings/settingskeys.h"
#include "views/mainwindow.h"

namespace kv {

void LoadMainWindow(Form& form1, const RegModule& reg, bool firstStart) {
    Forms& forms = form1.forms();
    form1.Hide();
    LayoutMainWindow(form1);
    if (firstStart) {
        forms["Eula"].Show();
        forms.DoEvents();
    }
    CheckHome(reg);
    forms.DoEvents();
    form1.Show();
    const std::string start = reg.ReadRegString(kHkeyCurrentUser, kSettingsKey, kStartPageRead);
    forms.DoEvents();
    form1["Text1"].setText(start);
    ShowDrive(drivePane(form1, "Hard", "Hardbox", "Label1", "Image1"));
    ShowDrive(drivePane(form1, "floppy", "FlopBox", "Label3", "Image2"));
    form1["xtra"].Navigate(start);
}

void wireAgreementWindow(Form& eula, const RegModule& reg) {
    Form* e = &eula;
    const RegModule* r = &reg;
    eula["Option1"].setOnClick([e] { (*e)["Command1"].setEnabled(true); });
    eula["Command1"].setOnClick([e, r] {
        r->WriteRegString(kHkeyCurrentUser, kEulaKey, kEulaValue, "Agree");
        e->forms().DoEvents();
        e->Unload();
    });
    eula["Command2"].setOnClick([e] { e->forms().End(); });
}

}  // namespace kv
