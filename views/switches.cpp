#include "views/switches.h"

#include "platform/forms/twips.h"

namespace kv {

namespace {

float halfWidth(const Form& source) {
    return single(static_cast<double>(halfOfRounded(source.ScaleWidth())));
}

}  // namespace

void ShowTwoPanelView(Forms& forms, Form& source) {
    source.Hide();
    // The first reference builds the window, and its load step navigates both views, before any width.
    forms["dublpanl"]["lft"].setWidth(halfWidth(source));
    Form& two = forms["dublpanl"];
    two["rit"].setWidth(halfWidth(source));
    two["lftbox"].setWidth(halfWidth(source));
    two["ritbox"].setWidth(halfWidth(source));
    if (source.name() == "Form3") source.Unload();
    two.Show();
}

void ShowThreePanelView(Forms& forms, Form& source) {
    const bool fromItself = source.name() == "Form3";
    source.Hide();
    Form& three = forms["Form3"];  // built (and its four views navigated) when absent
    if (fromItself) {
        three["Label9"].setVisible(false);
        three.Show();
    } else {
        three.Show();
        three["Label9"].setVisible(false);
    }

    // The fourth pane goes away; its view is disabled as well, so nothing can reach it while hidden.
    three["Fth"].setVisible(false);
    three["Fth"].setEnabled(false);
    three["Image4"].setVisible(false);
    three["Label6"].setVisible(false);
    three["FthBox"].setVisible(false);

    auto S = [&] { return source.ScaleWidth(); };
    auto third = [&] { return S() / 3.0f; };
    three["Fst"].setWidth(third());
    three["Scd"].setWidth(third());
    three["Thd"].setWidth(third());
    three["Fst"].setLeft(50);
    three["Scd"].setLeft(scaledPlus(S(), 0.333, -50));
    three["Thd"].setLeft(scaledPlus(S(), 0.666, -50));
    three["FstBox"].setWidth(third());
    three["ScdBox"].setWidth(third());
    three["ThdBox"].setWidth(third());
    three["FstBox"].setLeft(50);
    three["ScdBox"].setLeft(scaledPlus(S(), 0.333, -50));
    three["ThdBox"].setLeft(scaledPlus(S(), 0.666, -50));
    three["Image2"].setLeft(scaledPlus(S(), 0.666, 0));
    three["Label5"].setLeft(scaledPlus(S(), 0.666, 330));
    three["Image1"].setLeft(scaledPlus(S(), 0.333, 0));
    three["Label2"].setLeft(scaledPlus(S(), 0.333, 330));

    auto F = [&] { return three.ScaleWidth(); };
    auto placeLabel10 = [&] {
        three["Label10"].setLeft(single(static_cast<double>(halfOfRounded(F()) - 690)));
    };
    auto placeLabel3 = [&] { three["Label3"].setLeft(scaledPlus(F(), 0.666, 1575)); };
    if (fromItself) {
        placeLabel3();
        placeLabel10();
    } else {
        placeLabel10();
        placeLabel3();
    }
}

void ShowFourPaneView(Forms& forms, Form& source) {
    source.Hide();
    forms["Form3"].Show();
}

void ShowOnePanelView(Forms& forms, Form& source) {
    source.Hide();
    if (source.name() == "Form3") {
        forms["Big"].Show();
        return;
    }
    // Referring to the drive list builds the window and runs its whole load step first.
    Control& drive1 = forms["Big"]["Drive1"];
    Form& big = forms["Big"];
    drive1.setWidth(source.ScaleWidth() - 100.0f);
    big["WebBrowser1"].setWidth(source.ScaleWidth() - 100.0f);
    big.Show();
}

void BackToMain(Forms& forms, Form& source) {
    source.Hide();
    forms["Form1"].Show();
}

}  // namespace kv
