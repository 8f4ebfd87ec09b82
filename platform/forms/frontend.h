#pragma once

// The seam between the window model and whatever shows it: the Qt front end in the program, a recording
// front end in the tests. The model calls these as its properties change and when a handler uses a platform
// operation; the front end never changes model state behind the model's back, except through the
// user-input entry points of Control (click, change, text typed).

#include <string>

namespace kv {

class Form;
class Control;
struct WindowRecord;

enum class ControlProperty { Left, Top, Width, Height, Visible, Enabled, Caption, Text };
enum class FormProperty { Left, Width };

class Frontend {
  public:
    virtual ~Frontend() = default;

    // Lifecycle of a form's presentation. formBuilt comes before the form's load step runs, so that a
    // load step's ScaleWidth is the real client width.
    virtual void formBuilt(Form& form) = 0;
    // A hint: the window of this record is likely to be shown soon. A front end may make what it
    // needs for it ahead of time, while the program is idle; the form itself is still built, wired
    // and loaded only when it is first referenced.
    virtual void prepareWindow(const WindowRecord& record) { (void)record; }
    virtual void formShown(Form& form) = 0;
    virtual void formHidden(Form& form) = 0;
    virtual void formUnloaded(Form& form) = 0;
    virtual void formChanged(Form& form, FormProperty what) = 0;
    virtual void controlChanged(Control& control, ControlProperty what) = 0;

    // Width of the form's client area in twips, read at the moment it is asked.
    virtual float scaleWidth(const Form& form) = 0;

    // The browser view. A failure is thrown (as std::exception) and ends the handler unless it is caught.
    virtual void navigate(Control& view, const std::string& location) = 0;
    virtual void goBack(Control& view) = 0;
    virtual void stop(Control& view) = 0;
    virtual std::string locationName(const Control& view) = 0;

    // The drive list's current entry.
    virtual std::string drive(const Control& driveList) = 0;

    // Platform services.
    virtual bool askYesNo(const std::string& text, const std::string& title) = 0;
    virtual float screenHeightTwips() = 0;
    virtual void doEvents() = 0;
    // End the program at once: every window closes, no close handler runs.
    virtual void end() = 0;
    // A handler ended early because a step failed.
    virtual void handlerFailed(const std::string& what) = 0;
};

}  // namespace kv
