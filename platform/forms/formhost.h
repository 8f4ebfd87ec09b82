#pragma once

#include <functional>

namespace kv {

class Form;
class Frontend;

// What a form and its controls ask of the windows they belong to (Forms, the one host): the front end
// that shows them, the running of their event handlers, and the unloading of a form. They call these
// through this interface, so that form.cpp and control.cpp need not include forms.h.
class FormHost {
  public:
    virtual Frontend& frontend() const = 0;
    // Runs one event handler, as Forms::dispatch describes.
    virtual void dispatch(const std::function<void()>& handler) = 0;
    // Hides (when shown) and destroys the form; the next reference builds it afresh.
    virtual void unload(Form& form) = 0;

  protected:
    ~FormHost() = default;
};

}  // namespace kv
