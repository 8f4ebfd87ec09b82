#include "app/program.h"

#include "app/startup.h"
#include "settings/settingskeys.h"
#include "views/infowindows.h"
#include "views/mainwindow.h"
#include "views/viewwindows.h"

namespace kv {

Program::Program(Frontend& frontend, RegistryApi& registry) : m_reg(registry), m_forms(frontend, m_records) {
    const RegModule* reg = &m_reg;
    // The first start for this user is the one that finds no settings key yet; the agreement record is
    // never read.
    m_forms.define(
        "Form1", [reg](Form& f) { wireMainWindow(f, *reg); },
        [reg](Form& f) { LoadMainWindow(f, *reg, !reg->KeyExists(kHkeyCurrentUser, kSettingsKey)); });
    m_forms.define("Eula", [reg](Form& f) { wireAgreementWindow(f, *reg); });
    m_forms.define("Form3", wireMultiPanel, loadMultiPanel);
    m_forms.define("dublpanl", wireTwoPanel, loadTwoPanel);
    m_forms.define("Big", wireSinglePanel, loadSinglePanel);
    m_forms.define("Whats", wireInfoWindow);
    m_forms.define("Help", wireInfoWindow);
}

void Program::start() {
    m_forms.dispatch([this] { m_forms.get("Form1"); });
    // The view windows are a click away from the main window.
    for (const char* name : {"Big", "dublpanl", "Form3"})
        if (const WindowRecord* record = m_records.find(name)) m_forms.frontend().prepareWindow(*record);
}

}  // namespace kv
