// The Win32 backend: one window of the form's size, drawn with GDI from the model; clicks and
// closes reach the model outside the window procedure, so that the end of the program can
// unwind the running handlers safely; the model's timers wake the loop through SetTimer.
#pragma once

#include <memory>

#include "platform/forms/forms.h"

namespace forms {

class Win32Backend : public Backend {
  public:
    Win32Backend();
    ~Win32Backend() override;

    // Creates the form's window and shows it (call after the form's load step).
    void Show(Application& app, Form& form);
    // Runs the message loop until the program ends; returns the exit code.
    int Exec(Application& app);
    // The window of a shown form (an HWND), nullptr when it has none.
    void* WindowOf(Form& form);
    // Message boxes answer themselves after ms milliseconds (0: they wait for the user), for
    // runs that nobody watches.
    void AnswerMessageBoxesAfter(int ms);

    std::int64_t NowMs() override;
    void ProcessEvents() override;
    void MessageBox(const std::string& prompt, const std::string& title) override;
    double ScreenWidth() override;
    double ScreenHeight() override;
    double FrameExtraWidth() override;
    double FrameExtraHeight() override;
    void Terminate(int exitCode) override;
    void Invalidate(Control& control) override;
    void PointerChanged(MousePointer pointer) override;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace forms
