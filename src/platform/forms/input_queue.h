// Input that a window backend takes down while the system's event handling runs (a click, a
// close request), delivered to the model later, outside the system's frames, so that the end of
// the program can unwind the running handlers safely.
#pragma once

#include <deque>

#include "platform/forms/forms.h"

namespace forms {

// Whether the form is still one of the application's.
bool HasForm(const Application& app, const Form* form);

class InputQueue {
  public:
    // A click released at pixel (x, y) of the form's client area.
    void Click(Form& form, int x, int y) { input_.push_back({&form, x, y, false}); }
    // The window's close box.
    void Close(Form& form) { input_.push_back({&form, 0, 0, true}); }
    bool empty() const { return input_.empty(); }

    // Hands the input to the model in order, until none is left or the program has ended;
    // input for a form that is gone is dropped. A click lands on the pixel's centre in twips,
    // and the model's hit testing decides who gets it.
    void Deliver(Application& app);

  private:
    struct Input {
        Form* form;
        int x;
        int y;
        bool close;
    };
    std::deque<Input> input_;
};

}  // namespace forms
