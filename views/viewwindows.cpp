#include "views/viewwindows.h"

#include "panes/drivepane.h"
#include "views/switches.h"

namespace kv {

namespace {

DrivePane multiPane(Form& f, int column) {
    switch (column) {
        case 0:
            return drivePane(f, "Fst", "FstBox", "Label4", "Image3");
        case 1:
            return drivePane(f, "Scd", "ScdBox", "Label2", "Image1");
        case 2:
            return drivePane(f, "Thd", "ThdBox", "Label5", "Image2");
        default:
            return drivePane(f, "Fth", "FthBox", "Label6", "Image4");
    }
}

DrivePane rightPane(Form& f) {
    return drivePane(f, "rit", "ritbox", "Label2", "Image1");
}
DrivePane leftPane(Form& f) {
    return drivePane(f, "lft", "lftbox", "Label1", "Image2");
}
DrivePane singlePane(Form& f) {
    return drivePane(f, "WebBrowser1", "Drive1", "Label4", "Image3");
}

}  // namespace

void wireMultiPanel(Form& form3) {
    Forms& forms = form3.forms();
    Form* f = &form3;
    for (int column = 0; column < 4; ++column) bindDrivePane(multiPane(form3, column));
    form3["Label1"].setOnClick([&forms, f] {
        f->Hide();
        f->Unload();
        forms["Form1"].Show();
    });
    form3["Image5"].setOnClick([&forms, f] { BackToMain(forms, *f); });
    form3["Label10"].setOnClick([&forms, f] { ShowOnePanelView(forms, *f); });
    form3["Label3"].setOnClick([&forms, f] { ShowTwoPanelView(forms, *f); });
    form3["Label9"].setOnClick([&forms, f] { ShowThreePanelView(forms, *f); });
}

void loadMultiPanel(Form& form3) {
    for (int column = 0; column < 4; ++column) ShowDrive(multiPane(form3, column));
}

void wireTwoPanel(Form& dublpanl) {
    Forms& forms = dublpanl.forms();
    Form* f = &dublpanl;
    bindDrivePane(leftPane(dublpanl));
    bindDrivePane(rightPane(dublpanl));
    dublpanl["Label3"].setOnClick([&forms, f] { BackToMain(forms, *f); });
    dublpanl["Image3"].setOnClick([&forms, f] { BackToMain(forms, *f); });
}

void loadTwoPanel(Form& dublpanl) {
    ShowDrive(rightPane(dublpanl));
    ShowDrive(leftPane(dublpanl));
}

void wireSinglePanel(Form& big) {
    Forms& forms = big.forms();
    Form* f = &big;
    bindDrivePane(singlePane(big));
    big["Label3"].setOnClick([&forms, f] { BackToMain(forms, *f); });
    big["Image1"].setOnClick([&forms, f] { BackToMain(forms, *f); });
    big["Label6"].setOnClick([&forms, f] { ShowTwoPanelView(forms, *f); });
    big["Label9"].setOnClick([&forms, f] { ShowThreePanelView(forms, *f); });
    big["Label8"].setOnClick([&forms, f] { ShowFourPaneView(forms, *f); });
}

void loadSinglePanel(Form& big) {
    Control& drive1 = big["Drive1"];
    Control& view = big["WebBrowser1"];
    const std::string drive = drive1.Drive();  // read before anything moves
    big.setLeft(0);
    view.Navigate(drive);
    big.setWidth(big.ScaleWidth());
    view.setWidth(big.ScaleWidth() - 100.0f);
    drive1.setWidth(big.ScaleWidth() - 100.0f);
    view.setLeft(50);
    drive1.setLeft(50);
    view.setHeight(big.forms().screenHeightTwips() - 1425.0f);
}

}  // namespace kv
