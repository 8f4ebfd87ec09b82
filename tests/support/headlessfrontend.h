#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/forms/control.h"
#include "platform/forms/form.h"
#include "platform/forms/frontend.h"

namespace kv::test {

// A front end with no display: it records every property change and platform call in order, and lets
// a test pick drives, answer the message box, size windows and make navigations fail.
class HeadlessFrontend : public Frontend {
  public:
    // What happened, one line each: "build Form3", "show Form3", "nav Form3.Fst /home [Home]",
    // "set Form3.Fst.Width 4000", "form Big.Left 0", "doEvents", "ask <text>", "end", "goBack Form1.xtra".
    std::vector<std::string> log;

    float screenWidth = 15360;                  // twips; a maximized window's client width unless set below
    float screenHeight = 11520;                 // twips
    std::map<std::string, float> scaleWidths;   // by form name
    std::map<std::string, std::string> drives;  // by "Form.Control"; else defaultDrive
    std::string defaultDrive = "/home/user [Home]";
    std::set<std::string> failingViews;         // "Form.Control" whose Navigate throws
    std::deque<bool> answers;                   // the message box's next answers (default No)
    std::function<void()> duringDoEvents;       // events that arrive while a handler yields
    std::map<std::string, std::string> titles;  // a view's LocationName after navigating to a text

    // Only the lines that start with one of the prefixes.
    std::vector<std::string> lines(const std::vector<std::string>& prefixes) const;
    void clear() { log.clear(); }

    std::string locationOf(const std::string& view) const;

    void formBuilt(Form& form) override;
    void formShown(Form& form) override;
    void formHidden(Form& form) override;
    void formUnloaded(Form& form) override;
    void formChanged(Form& form, FormProperty what) override;
    void controlChanged(Control& control, ControlProperty what) override;
    float scaleWidth(const Form& form) override;
    void navigate(Control& view, const std::string& location) override;
    void goBack(Control& view) override;
    void stop(Control& view) override;
    std::string locationName(const Control& view) override;
    std::string drive(const Control& driveList) override;
    bool askYesNo(const std::string& text, const std::string& title) override;
    float screenHeightTwips() override { return screenHeight; }
    void doEvents() override;
    void end() override;
    void handlerFailed(const std::string& what) override;

  private:
    struct History {
        std::vector<std::string> pages;
    };
    std::map<std::string, History> m_histories;
};

std::string id(const Control& c);
std::string fmt(float v);

}  // namespace kv::test
