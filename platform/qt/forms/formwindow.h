#pragma once

#include <QMainWindow>

namespace kv {

class Form;

// What a form's window asks of the front end that made it.
class FormWindowHost {
  public:
    // The program is ending: every window closes, no handler runs.
    virtual bool ended() const = 0;
    // Whether running file jobs may be stopped (asks over parent when there are any).
    virtual bool mayStopJobs(QWidget* parent) = 0;
    // Moves the focus along the form's own tab order; false when the form has none to move along.
    virtual bool moveFocus(const Form& form, bool forward) = 0;

  protected:
    ~FormWindowHost() = default;
};

// The top-level window of one form. Its client area holds the controls at their twips positions; a
// close request goes to the form's own handler, and the window never closes by itself.
class FormWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Made before its form exists (ahead of time), then attached to the form when it is built.
    explicit FormWindow(FormWindowHost& frontend);

    void attach(Form& form) { m_form = &form; }
    Form* form() const { return m_form; }
    QWidget* client() const { return centralWidget(); }
    // The form is being destroyed; no event reaches it any more.
    void detach() { m_form = nullptr; }
    // Whether the window has been shown before: only its first show takes the state of its record.
    bool shownBefore() const { return m_shownBefore; }
    void setShownBefore() { m_shownBefore = true; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    Form* m_form = nullptr;
    bool m_shownBefore = false;
    FormWindowHost& m_frontend;
};

}  // namespace kv
