#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms/control.h"
#include "platform/forms/record.h"

namespace kv {

class FormHost;
class Forms;

// A window built from its record. It exists at most once (Forms sees to that); it is shown modeless,
// hidden, or unloaded, after which the next use builds a new one from the record. Forms builds it and is
// both `forms` and `host`.
class Form {
  public:
    Form(Forms& forms, FormHost& host, const WindowRecord& record);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    Forms& forms() const { return m_forms; }
    const WindowRecord& record() const { return m_record; }
    const std::string& name() const { return m_record.name; }

    // Controls by name; an unknown name is a programming error and throws std::out_of_range.
    Control& operator[](std::string_view controlName) const;
    Control* find(std::string_view controlName) const;
    const std::vector<std::unique_ptr<Control>>& controls() const { return m_controls; }

    void Show();
    void Hide();
    // Hides (when shown) and destroys the form; the next reference builds it afresh.
    void Unload();
    bool Visible() const { return m_visible; }

    // Client width in twips at this moment.
    float ScaleWidth() const;

    float Left() const { return m_left; }
    float Width() const { return m_width; }
    void setLeft(float v);
    void setWidth(float v);

    // A close request from the user or the session. The handler answers whether the window may close;
    // a form without one closes.
    void setOnCloseRequest(std::function<bool()> handler) { m_onCloseRequest = std::move(handler); }
    bool closeRequested();
    bool asksBeforeClosing() const { return static_cast<bool>(m_onCloseRequest); }

    // The menu bar's items, by the name of their record.
    void setOnMenu(const std::string& itemName, std::function<void()> handler);
    void menuChosen(const std::string& itemName);

  private:
    Forms& m_forms;
    FormHost& m_host;
    const WindowRecord& m_record;
    std::vector<std::unique_ptr<Control>> m_controls;
    bool m_visible = false;
    float m_left = 0;
    float m_width = 0;
    std::function<bool()> m_onCloseRequest;
    std::map<std::string, std::function<void()>> m_menuHandlers;
};

}  // namespace kv
