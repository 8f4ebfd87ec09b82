#include "platform/forms/form.h"

#include <stdexcept>

#include "platform/forms/forms.h"

namespace kv {

Form::Form(Forms& forms, const WindowRecord& record) : m_forms(forms), m_record(record) {
    m_controls.reserve(record.controls.size());
    for (const auto& c : record.controls) m_controls.push_back(std::make_unique<Control>(*this, c));
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
    m_forms.frontend().formShown(*this);
}

void Form::Hide() {
    m_visible = false;
    m_forms.frontend().formHidden(*this);
}

void Form::Unload() {
    m_forms.unload(*this);
}

float Form::ScaleWidth() const {
    return m_forms.frontend().scaleWidth(*this);
}

void Form::setLeft(float v) {
    m_left = v;
    m_forms.frontend().formChanged(*this, FormProperty::Left);
}

void Form::setWidth(float v) {
    m_width = v;
    m_forms.frontend().formChanged(*this, FormProperty::Width);
}

bool Form::closeRequested() {
    if (!m_onCloseRequest) return true;
    bool allow = false;
    auto handler = m_onCloseRequest;
    m_forms.dispatch([&] { allow = handler(); });
    return allow;
}

void Form::setOnMenu(const std::string& itemName, std::function<void()> handler) {
    m_menuHandlers[itemName] = std::move(handler);
}

void Form::menuChosen(const std::string& itemName) {
    auto it = m_menuHandlers.find(itemName);
    if (it == m_menuHandlers.end()) return;
    auto handler = it->second;
    m_forms.dispatch(handler);
}

}  // namespace kv
