#include "platform/forms/form.h"

#include <stdexcept>

#include "platform/forms/formhost.h"
#include "platform/forms/frontend.h"

namespace kv {

Form::Form(Forms& forms, FormHost& host, const WindowRecord& record)
    : m_forms(forms), m_host(host), m_record(record) {
    m_controls.reserve(record.controls.size());
    for (const auto& c : record.controls) m_controls.push_back(std::make_unique<Control>(*this, host, c));
    m_width = static_cast<float>(record.clientWidth);
}

Control* Form::find(std::string_view controlName) const {
    for (const auto& c : m_controls)
        if (c->name() == controlName) return c.get();
    return nullptr;
}

Control& Form::operator[](std::string_view controlName) const {
    if (Control* c = find(controlName)) return *c;
    throw std::out_of_range("no control " + std::string(controlName) + " on " + name());
}

void Form::Show() {
    m_visible = true;
    m_host.frontend().formShown(*this);
}

void Form::Hide() {
    m_visible = false;
    m_host.frontend().formHidden(*this);
}

void Form::Unload() {
    m_host.unload(*this);
}

float Form::ScaleWidth() const {
    return m_host.frontend().scaleWidth(*this);
}

void Form::setLeft(float v) {
    m_left = v;
    m_host.frontend().formChanged(*this, FormProperty::Left);
}

void Form::setWidth(float v) {
    m_width = v;
    m_host.frontend().formChanged(*this, FormProperty::Width);
}

bool Form::closeRequested() {
    if (!m_onCloseRequest) return true;
    bool allow = false;
    auto handler = m_onCloseRequest;
    m_host.dispatch([&] { allow = handler(); });
    return allow;
}

void Form::setOnMenu(const std::string& itemName, std::function<void()> handler) {
    m_menuHandlers[itemName] = std::move(handler);
}

void Form::menuChosen(const std::string& itemName) {
    auto it = m_menuHandlers.find(itemName);
    if (it == m_menuHandlers.end()) return;
    auto handler = it->second;
    m_host.dispatch(handler);
}

}  // namespace kv
