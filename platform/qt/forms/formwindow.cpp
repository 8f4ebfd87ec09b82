#include "platform/qt/forms/formwindow.h"

#include <QCloseEvent>

#include "platform/forms/form.h"

namespace kv {

FormWindow::FormWindow(FormWindowHost& frontend) : m_frontend(frontend) {}

void FormWindow::closeEvent(QCloseEvent* event) {
    if (m_frontend.ended()) {
        event->accept();
        return;
    }
    // Ending the program closes every window; a "No" keeps this one as it was.
    event->ignore();
    if (m_form && m_form->asksBeforeClosing() && !m_frontend.mayStopJobs(this)) return;
    if (m_form) m_form->closeRequested();
}

bool FormWindow::focusNextPrevChild(bool next) {
    // The form's own tab order, which passes into the browser views; elsewhere (the menu bar) Qt's.
    if (m_form && !m_frontend.ended() && m_frontend.moveFocus(*m_form, next)) return true;
    return QMainWindow::focusNextPrevChild(next);
}

}  // namespace kv
