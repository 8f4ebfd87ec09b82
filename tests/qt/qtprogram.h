#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>
#include <type_traits>

#include "app/program.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/forms/formwindow.h"
#include "platform/qt/forms/qtfrontend.h"
#include "platform/registry/fileregistry.h"

namespace kv::test {

// The real program's windows over a hive file and a home folder of its own.
class QtProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_oldHome = qgetenv("HOME");
        qputenv("HOME", m_dir.filePath("home").toUtf8());
        QDir().mkpath(m_dir.filePath("home"));
        m_registry = std::make_unique<FileRegistry>(m_dir.filePath("settings.reg").toStdString());
        m_frontend = std::make_unique<QtFrontend>();
        m_program = std::make_unique<Program>(*m_frontend, *m_registry);
        // No test reaches outside the machine: the start page is a blank page unless a test says otherwise.
        setStartPage("about:blank");
    }
    void setStartPage(const std::string& page) {
        m_program->reg().WriteRegString(kHkeyCurrentUser, "Software\\Kestrovan1.1", "Startpage", page);
    }
    void TearDown() override {
        m_program.reset();
        m_frontend.reset();
        qputenv("HOME", m_oldHome);
    }

    QString home() const { return m_dir.filePath("home"); }
    Program& program() { return *m_program; }
    Forms& forms() { return m_program->forms(); }
    QtFrontend& frontend() { return *m_frontend; }
    // A pane's browser view is its current tab's.
    template <typename T = QWidget>
    T* widget(const std::string& window, const std::string& control) {
        if constexpr (std::is_same_v<T, BrowserView>)
            return m_frontend->viewOf(forms()[window][control]);
        else
            return qobject_cast<T*>(m_frontend->widgetOf(forms()[window][control]));
    }
    QWidget* window(const std::string& name) { return m_frontend->windowOf(forms()[name]); }

  private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
    std::unique_ptr<FileRegistry> m_registry;
    std::unique_ptr<QtFrontend> m_frontend;
    std::unique_ptr<Program> m_program;
};

}  // namespace kv::test
