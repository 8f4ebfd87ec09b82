#include "support/headlessfrontend.h"

#include <cstdio>
#include <stdexcept>

#include "platform/forms/forms.h"

namespace kv::test {

std::string id(const Control& c) {
    return c.form().name() + "." + c.name();
}

std::string fmt(float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(v));
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

std::vector<std::string> HeadlessFrontend::lines(const std::vector<std::string>& prefixes) const {
    std::vector<std::string> out;
    for (const auto& l : log)
        for (const auto& p : prefixes)
            if (l.rfind(p, 0) == 0) {
                out.push_back(l);
                break;
            }
    return out;
}

std::string HeadlessFrontend::locationOf(const std::string& view) const {
    auto it = m_histories.find(view);
    if (it == m_histories.end() || it->second.pages.empty()) return {};
    return it->second.pages.back();
}

void HeadlessFrontend::formBuilt(Form& form) {
    log.push_back("build " + form.name());
}
void HeadlessFrontend::formShown(Form& form) {
    log.push_back("show " + form.name());
}
void HeadlessFrontend::formHidden(Form& form) {
    log.push_back("hide " + form.name());
}

void HeadlessFrontend::formUnloaded(Form& form) {
    log.push_back("unload " + form.name());
    for (const auto& c : form.controls()) m_histories.erase(id(*c));
}

void HeadlessFrontend::formChanged(Form& form, FormProperty what) {
    if (what == FormProperty::Left) log.push_back("form " + form.name() + ".Left " + fmt(form.Left()));
    if (what == FormProperty::Width) {
        log.push_back("form " + form.name() + ".Width " + fmt(form.Width()));
        scaleWidths[form.name()] = form.Width();  // no border: the client is the whole window
    }
}

void HeadlessFrontend::controlChanged(Control& c, ControlProperty what) {
    std::string v;
    switch (what) {
        case ControlProperty::Left:
            v = "Left " + fmt(c.Left());
            break;
        case ControlProperty::Top:
            v = "Top " + fmt(c.Top());
            break;
        case ControlProperty::Width:
            v = "Width " + fmt(c.Width());
            break;
        case ControlProperty::Height:
            v = "Height " + fmt(c.Height());
            break;
        case ControlProperty::Visible:
            v = std::string("Visible ") + (c.Visible() ? "1" : "0");
            break;
        case ControlProperty::Enabled:
            v = std::string("Enabled ") + (c.Enabled() ? "1" : "0");
            break;
        case ControlProperty::Caption:
            v = "Caption " + c.Caption();
            break;
        case ControlProperty::Text:
            v = "Text " + c.Text();
            break;
    }
    log.push_back("set " + id(c) + "." + v);
}

float HeadlessFrontend::scaleWidth(const Form& form) {
    if (auto it = scaleWidths.find(form.name()); it != scaleWidths.end()) return it->second;
    if (form.record().state == WindowState::Maximized) return screenWidth;
    return static_cast<float>(form.record().clientWidth);
}

void HeadlessFrontend::navigate(Control& view, const std::string& location) {
    log.push_back("nav " + id(view) + " " + location);
    if (failingViews.count(id(view))) throw std::runtime_error("navigation failed");
    m_histories[id(view)].pages.push_back(location);
}

void HeadlessFrontend::goBack(Control& view) {
    log.push_back("goBack " + id(view));
    // Like the real view: with no earlier page there is nothing to go back to, and that is no error.
    auto& pages = m_histories[id(view)].pages;
    if (pages.size() >= 2) pages.pop_back();
}

void HeadlessFrontend::stop(Control& view) {
    log.push_back("stop " + id(view));
}

std::string HeadlessFrontend::locationName(const Control& view) {
    const std::string where = locationOf(id(view));
    if (auto it = titles.find(where); it != titles.end()) return it->second;
    return where;
}

std::string HeadlessFrontend::drive(const Control& driveList) {
    if (auto it = drives.find(id(driveList)); it != drives.end()) return it->second;
    return defaultDrive;
}

bool HeadlessFrontend::askYesNo(const std::string& text, const std::string& title) {
    log.push_back("ask " + title + ": " + text);
    if (answers.empty()) return false;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

void HeadlessFrontend::doEvents() {
    log.push_back("doEvents");
    if (duringDoEvents) {
        auto events = std::move(duringDoEvents);
        duringDoEvents = nullptr;
        events();
    }
}

void HeadlessFrontend::end() {
    log.push_back("end");
}

void HeadlessFrontend::handlerFailed(const std::string& what) {
    log.push_back("failed " + what);
}

}  // namespace kv::test
