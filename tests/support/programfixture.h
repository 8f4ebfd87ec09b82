#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/program.h"
#include "platform/registry/fileregistry.h"
#include "support/headlessfrontend.h"

namespace kv::test {

// A whole program over the recording front end and a hive file in a fresh temporary folder.
class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kv-core-XXXXXX";
        m_dir = mkdtemp(tmpl);
        m_registry = std::make_unique<FileRegistry>(m_dir + "/settings.reg");
        m_program = std::make_unique<Program>(ui, *m_registry);
    }
    void TearDown() override {
        m_program.reset();
        std::filesystem::remove_all(m_dir);
    }

    Program& program() { return *m_program; }
    Forms& forms() { return m_program->forms(); }
    const RegModule& reg() { return m_program->reg(); }
    RegistryApi& registry() { return *m_registry; }

    // Starts the program and forgets what the start recorded.
    Form& started() {
        program().start();
        ui.clear();
        return forms()["Form1"];
    }
    void click(const std::string& window, const std::string& control) { forms()[window][control].click(); }

    HeadlessFrontend ui;

  private:
    std::string m_dir;
    std::unique_ptr<FileRegistry> m_registry;
    std::unique_ptr<Program> m_program;
};

}  // namespace kv::test
