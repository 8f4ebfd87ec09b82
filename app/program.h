#pragma once

#include "platform/forms/forms.h"
#include "resources/windowrecords.h"
#include "settings/regmodule.h"

namespace kv {

// The whole system over a front end and a settings store: every window's behaviour defined, and
// start() bringing up the main window.
class Program {
  public:
    Program(Frontend& frontend, RegistryApi& registry);

    Forms& forms() { return m_forms; }
    const RegModule& reg() const { return m_reg; }

    // Builds and loads the main window, as starting the program does.
    void start();

  private:
    DesignRecords m_records;
    RegModule m_reg;
    Forms m_forms;
};

}  // namespace kv
