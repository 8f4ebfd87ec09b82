// The program's front end (QtFrontend): the window lifecycle of every form, from its window built (or
// taken from those made ahead) to its unloading, and the model's changes followed on the widgets.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/forms/frontend.h"
#include "platform/forms/record.h"
#include "platform/qt/forms/formwindow.h"
#include "platform/qt/forms/widgetfactory.h"

namespace kv {

class BrowserView;
class OwnedPaneServices;

// The program's front end: every form becomes a top-level window with absolutely placed child widgets
// at twips / 15 logical pixels, following every property the model changes.
class QtFrontend : public QObject, public Frontend, public FormWindowHost {
    Q_OBJECT
  public:
    QtFrontend();
    ~QtFrontend() override;

    bool ended() const override { return m_ended; }
    FormWindow* windowOf(const Form& form) const;
    QWidget* widgetOf(const Control& control) const;
    BrowserView* viewOf(const Control& control) const;
    // Whether the widgets of this window were made ahead and wait for its form.
    bool isPrepared(const std::string& windowName) const { return m_shells.count(windowName) != 0; }
    // Moves the keyboard focus from the form's control that holds it to the next (or previous) one in
    // the form's tab order; false when the focus is in none of its controls.
    bool moveFocus(const Form& form, bool forward) override;
    // The desktop session is ending: whether it may end. A window that asks before closing asks when
    // the session lets it (mayAsk), and a No keeps the program and the session; without asking, the
    // program ends as on a Yes.
    bool sessionEnding(bool mayAsk);
    // Before a close that may end the program: while file jobs run, the user is told which and
    // chooses to stop them (true: the close goes on to its own question) or to let them finish.
    bool mayStopJobs(QWidget* parent) override;

    void formBuilt(Form& form) override;
    void prepareWindow(const WindowRecord& record) override;
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
    float screenHeightTwips() override;
    void doEvents() override;
    void end() override;
    void handlerFailed(const std::string& what) override;

  private:
    void connectControl(Control& control, QWidget* widget);
    void prepareNext();
    void place(const Control& control);
    void restack(const Form& form);
    void raiseSmallWindows();
    // Runs a user event on a control that still exists.
    void raise(Control* control, void (Control::*event)());

    std::map<const Form*, FormWindow*> m_windows;
    std::map<const Control*, QWidget*> m_widgets;
    std::set<const Control*> m_bands;             // background labels that other controls lie on
    std::map<std::string, WindowShell> m_shells;  // made ahead, by record name, for no form yet
    std::vector<const WindowRecord*> m_toPrepare;
    QTimer* m_prepareTimer = nullptr;
    bool m_ended = false;
    // Shared by every folder view (one undo stack, one folder watch, ...), and destroyed after them all.
    std::unique_ptr<OwnedPaneServices> m_services;
    WidgetFactory m_factory;  // makes the windows' widgets, for this front end and these services
    std::vector<QPointer<FormWindow>> m_unloaded;  // deleted later, or by the destructor
};

}  // namespace kv
