#pragma once

#include <QMainWindow>

namespace kv {

class Form;
class QtFrontend;

// The top-level window of one form. Its client area holds the controls at their twips positions; a
// close request goes to the form's own handler, and the window never closes by itself.
class FormWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Made before its form exists (ahead of time), then attached to the form when it is built.
    explicit FormWindow(QtFrontend& frontend);

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
    QtFrontend& m_frontend;
};

}  // namespace kv
