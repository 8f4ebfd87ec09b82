#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/forms/frontend.h"
#include "platform/forms/record.h"

namespace kv {

class Form;
class FormHost;

// A control of a form: the properties of its record, which the handlers read and set, the platform
// operations of its kind, and its click and change events. `host` is the form's.
class Control {
  public:
    Control(Form& form, FormHost& host, const ControlRecord& record);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    Form& form() const { return m_form; }
    const ControlRecord& record() const { return m_record; }
    const std::string& name() const { return m_record.name; }
    ControlKind kind() const { return m_record.kind; }

    float Left() const { return m_left; }
    float Top() const { return m_top; }
    float Width() const { return m_width; }
    float Height() const { return m_height; }
    bool Visible() const { return m_visible; }
    bool Enabled() const { return m_enabled; }
    const std::string& Caption() const { return m_caption; }
    const std::string& Text() const { return m_caption; }

    void setLeft(float v);
    void setTop(float v);
    void setWidth(float v);
    void setHeight(float v);
    void setVisible(bool v);
    void setEnabled(bool v);
    void setCaption(const std::string& v);
    void setText(const std::string& v) { setCaption(v); }

    // The browser view's operations.
    void Navigate(const std::string& location);
    void GoBack();
    void Stop();
    std::string LocationName() const;

    // The drive list's current entry, as the list shows it.
    std::string Drive() const;

    // Handlers, set by the window that owns the control.
    void setOnClick(std::function<void()> handler) { m_onClick = std::move(handler); }
    void setOnChange(std::function<void()> handler) { m_onChange = std::move(handler); }

    // User input, from the front end: raise the events and take typed text.
    void click();
    void change();
    void textTyped(const std::string& text) { m_caption = text; }

  private:
    Frontend& frontend() const;
    void notify(ControlProperty what);

    Form& m_form;
    FormHost& m_host;
    const ControlRecord& m_record;
    float m_left, m_top, m_width, m_height;
    bool m_visible, m_enabled;
    std::string m_caption;
    std::function<void()> m_onClick;
    std::function<void()> m_onChange;
};

}  // namespace kv
