#include "platform/forms/forms.h"

#include <exception>

namespace kv {

Forms::Forms(Frontend& frontend, const RecordSource& records) : m_frontend(frontend), m_records(records) {}

Forms::~Forms() = default;

void Forms::define(const std::string& windowName, Step wire, Step load) {
    m_behaviour[windowName] = Behaviour{std::move(wire), std::move(load)};
}

bool Forms::exists(const std::string& windowName) const {
    return m_forms.count(windowName) != 0;
}

Form& Forms::get(const std::string& windowName) {
    if (auto it = m_forms.find(windowName); it != m_forms.end()) return *it->second;
    const WindowRecord* record = m_records.find(windowName);
    if (!record) throw std::out_of_range("no window record " + windowName);
    FormHost& host = *this;  // the base is private: converted here, not in make_unique
    auto owned = std::make_unique<Form>(*this, host, *record);
    Form& form = *owned;
    m_forms.emplace(windowName, std::move(owned));
    m_frontend.formBuilt(form);
    auto behaviour = m_behaviour.find(windowName);
    if (behaviour != m_behaviour.end()) {
        if (behaviour->second.wire) behaviour->second.wire(form);
        if (behaviour->second.load) behaviour->second.load(form);
    }
    return form;
}

void Forms::unload(Form& form) {
    auto it = m_forms.find(form.name());
    if (it == m_forms.end() || it->second.get() != &form) return;
    if (form.Visible()) form.Hide();
    m_frontend.formUnloaded(form);
    std::unique_ptr<Form> owned = std::move(it->second);
    m_forms.erase(it);
    if (m_depth > 0) m_unloaded.push_back(std::move(owned));  // the running handler may still refer to it
}

void Forms::dispatch(const std::function<void()>& handler) {
    if (m_ended) return;
    ++m_depth;
    try {
        handler();
    } catch (const ProgramEnded&) {
        m_ended = true;
    } catch (const std::exception& e) {
        m_frontend.handlerFailed(e.what());
    }
    if (--m_depth == 0) m_unloaded.clear();
}

void Forms::DoEvents() {
    m_frontend.doEvents();
    // An event handled meanwhile may have ended the program: the waiting handler stops here too.
    if (m_ended) throw ProgramEnded{};
}

void Forms::End() {
    m_ended = true;
    m_frontend.end();
    throw ProgramEnded{};
}

}  // namespace kv
