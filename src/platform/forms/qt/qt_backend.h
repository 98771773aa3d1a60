// The Qt 6 Widgets backend: the real window, one widget per control, drawn from the model.
// Model changes reach the widgets when events are processed.
#pragma once

#include <memory>

#include "platform/forms/forms.h"

namespace forms {

class QtBackend : public Backend {
  public:
    QtBackend(int& argc, char** argv);
    ~QtBackend() override;

    // Builds the widgets of the form and shows it (call after the form's load step).
    void Show(Application& app, Form& form);
    // Runs the event loop until the program ends; returns the exit code.
    int Exec(Application& app);
    // Applies pending model changes to the widgets now (tests and screenshots).
    void Sync();
    // The top-level widget of a shown form (a QWidget*), for tests.
    void* WidgetOf(Form& form);
    // The widget of a control (a QWidget*), nullptr for timers, for tests.
    void* WidgetOf(Control& control);
    // Message boxes answer themselves after ms milliseconds (0: they wait for the user), for
    // runs that nobody watches. On the offscreen platform they answer at once anyway.
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
    bool ApplyChanges() override;
    void PointerChanged(MousePointer pointer) override;
    void FocusChanged(Control* control) override;
    void CopyProgress(std::uint64_t done, std::uint64_t total, bool finished,
                      const std::string& item) override;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace forms
