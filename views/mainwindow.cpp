#include "views/mainwindow.h"

#include "panes/drivepane.h"
#include "panes/webpane.h"
#include "platform/forms/twips.h"
#include "views/infowindows.h"
#include "views/switches.h"

namespace kv {

void LayoutMainWindow(Form& form1) {
    const float w = form1.ScaleWidth();
    const float h = single(static_cast<double>(halfOfRounded(w)));
    form1["Hard"].setWidth(h + 75);
    form1["floppy"].setWidth(h + 75);
    form1["floppy"].setLeft(h + 50);
    form1["xtra"].setWidth(w + 75);
    form1["Hardbox"].setWidth(h + 75);
    form1["FlopBox"].setWidth(h + 75);
    form1["FlopBox"].setLeft(h + 50);
}

bool ConfirmExit(Form& form1) {
    if (form1.forms().askYesNo(kExitQuestion, kExitTitle)) form1.forms().End();
    return false;
}

void wireMainWindow(Form& form1, const RegModule& reg) {
    Forms& forms = form1.forms();
    Form* f = &form1;
    bindDrivePane(drivePane(form1, "Hard", "Hardbox", "Label1", "Image1"));
    bindDrivePane(drivePane(form1, "floppy", "FlopBox", "Label3", "Image2"));
    bindWebPane(form1, reg);
    form1["Label10"].setOnClick([&forms, f] { ShowOnePanelView(forms, *f); });
    form1["Label6"].setOnClick([&forms, f] { ShowTwoPanelView(forms, *f); });
    form1["Label9"].setOnClick([&forms, f] { ShowThreePanelView(forms, *f); });
    form1["Label8"].setOnClick([&forms, f] { ShowFourPaneView(forms, *f); });
    form1.setOnMenu("mnuWhat", [&forms] { ShowInfoWindow(forms, "Whats"); });
    form1.setOnMenu("mnHelpi", [&forms] { ShowInfoWindow(forms, "Help"); });
    form1.setOnCloseRequest([f] { return ConfirmExit(*f); });
}

}  // namespace kv
