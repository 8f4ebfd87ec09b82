#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/forms/form.h"
#include "platform/forms/formhost.h"
#include "platform/forms/frontend.h"
#include "platform/forms/record.h"

namespace kv {

// Thrown by End() to unwind the handler that ended the program.
struct ProgramEnded {};

// The program's windows. A form is built from its record the first time code asks for it, then its
// handlers are attached and its load step runs; it exists at most once until it is unloaded.
class Forms final : private FormHost {
  public:
    using Step = std::function<void(Form&)>;

    Forms(Frontend& frontend, const RecordSource& records);
    ~Forms();
    Forms(const Forms&) = delete;
    Forms& operator=(const Forms&) = delete;

    // The behaviour of a window: wire attaches its event handlers, load is its load step.
    void define(const std::string& windowName, Step wire, Step load = {});

    // The form, built (and loaded) first if it does not exist.
    Form& get(const std::string& windowName);
    Form& operator[](const std::string& windowName) { return get(windowName); }
    bool exists(const std::string& windowName) const;

    Frontend& frontend() const override { return m_frontend; }

    // Runs one event handler: a failing step ends the handler (the steps done stay done), an ended
    // program ignores every later event, and a form unloaded by its own handler is destroyed only
    // once the handler has returned.
    void dispatch(const std::function<void()>& handler) override;

    // Let pending window events run.
    void DoEvents();
    // End the program at once.
    [[noreturn]] void End();
    bool ended() const { return m_ended; }

    // Platform services used by handlers.
    bool askYesNo(const std::string& text, const std::string& title) {
        return m_frontend.askYesNo(text, title);
    }
    float screenHeightTwips() { return m_frontend.screenHeightTwips(); }

  private:
    void unload(Form& form) override;

    struct Behaviour {
        Step wire;
        Step load;
    };

    Frontend& m_frontend;
    const RecordSource& m_records;
    std::map<std::string, Behaviour> m_behaviour;
    std::map<std::string, std::unique_ptr<Form>> m_forms;
    std::vector<std::unique_ptr<Form>> m_unloaded;  // kept until the running handler returns
    int m_depth = 0;
    bool m_ended = false;
};

}  // namespace kv
