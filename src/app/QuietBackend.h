// A backend without any window, for unattended runs on machines without a display: a real
// (steady) clock, an event loop that sleeps until the next timer is due, and message boxes
// that count as confirmed at once (the unattended driver logs their texts).
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/forms/forms.h"

namespace app {

class QuietBackend : public forms::Backend {
  public:
    QuietBackend();

    // Runs the timers until the program ends or nothing is left that could ever run; returns
    // the program's exit code, or -1 when it stopped because nothing was armed.
    int Run(forms::Application& app);

    bool terminated() const { return terminated_; }

    std::int64_t NowMs() override;
    void ProcessEvents() override {}
    void MessageBox(const std::string&, const std::string&) override {}
    // The screen of a common desktop; nothing is shown, but the load step places the window.
    double ScreenWidth() override { return 1920.0 * forms::TwipsPerPixel; }
    double ScreenHeight() override { return 1080.0 * forms::TwipsPerPixel; }
    double FrameExtraWidth() override { return 0; }
    double FrameExtraHeight() override { return 0; }
    void Terminate(int exitCode) override;

  private:
    const std::chrono::steady_clock::time_point start_;
    bool terminated_ = false;
    int exitCode_ = 0;
};

}  // namespace app
