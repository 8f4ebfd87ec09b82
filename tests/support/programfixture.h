#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "app/program.h"
#include "platform/registry/fileregistry.h"
#include "support/headlessfrontend.h"

namespace kv::test {

// A whole program over the recording front end and a hive file in a fresh temporary folder.
class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static int counter = 0;
        m_dir = (std::filesystem::temp_directory_path() /
                 ("kv-core-" + std::to_string(std::random_device{}()) + "-" + std::to_string(++counter)))
                    .string();
        std::filesystem::create_directories(m_dir);
        m_registry = std::make_unique<FileRegistry>((std::filesystem::path(m_dir) / "settings.reg").string());
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
