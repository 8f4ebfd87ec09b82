#include "platform/forms/control.h"

#include "platform/forms/formhost.h"

namespace kv {

Control::Control(Form& form, FormHost& host, const ControlRecord& record)
    : m_form(form),
      m_host(host),
      m_record(record),
      m_left(record.left),
      m_top(record.top),
      m_width(record.width),
      m_height(record.height),
      m_visible(record.visible),
      m_enabled(record.enabled),
      m_caption(record.caption) {}

Frontend& Control::frontend() const {
    return m_host.frontend();
}

void Control::notify(ControlProperty what) {
    frontend().controlChanged(*this, what);
}

void Control::setLeft(float v) {
    m_left = v;
    notify(ControlProperty::Left);
}

void Control::setTop(float v) {
    m_top = v;
    notify(ControlProperty::Top);
}

void Control::setWidth(float v) {
    m_width = v;
    notify(ControlProperty::Width);
}

void Control::setHeight(float v) {
    m_height = v;
    notify(ControlProperty::Height);
}

void Control::setVisible(bool v) {
    m_visible = v;
    notify(ControlProperty::Visible);
}

void Control::setEnabled(bool v) {
    m_enabled = v;
    notify(ControlProperty::Enabled);
}

void Control::setCaption(const std::string& v) {
    m_caption = v;
    notify(m_record.kind == ControlKind::TextBox ? ControlProperty::Text : ControlProperty::Caption);
}

void Control::Navigate(const std::string& location) {
    frontend().navigate(*this, location);
}

void Control::GoBack() {
    frontend().goBack(*this);
}

void Control::Stop() {
    frontend().stop(*this);
}

std::string Control::LocationName() const {
    return frontend().locationName(*this);
}

std::string Control::Drive() const {
    return frontend().drive(*this);
}

void Control::click() {
    if (!m_onClick) return;
    auto handler = m_onClick;  // the handler may unload this control's form
    m_host.dispatch(handler);
}

void Control::change() {
    if (!m_onChange) return;
    auto handler = m_onChange;
    m_host.dispatch(handler);
}

}  // namespace kv
