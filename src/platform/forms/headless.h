// The headless backend for tests: a virtual clock that tests advance, clicks delivered by hit
// testing, message boxes answered (recorded) at once, and the end of the program recorded
// instead of ending the test process.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/forms/forms.h"

namespace forms {

class HeadlessBackend : public Backend {
  public:
    HeadlessBackend();
    // Must be called once the Application exists (the clock drives its timers).
    void Attach(Application& app) { app_ = &app; }

    // Advances the virtual clock by ms, ticking each timer when its time comes, in time order.
    void Advance(std::int64_t ms);

    // A click at the centre of the named control ("lblBaixar", "lblMensagem(3)"), delivered at
    // once through hit testing: whatever lies in front at that point receives it. Returns the
    // display name of the control that received the click ("" when none did).
    std::string Click(Form& form, const std::string& controlName);
    // A click at client twips (x, y), delivered at once.
    std::string ClickAt(Form& form, double x, double y);
    // Queues a click on the named control, delivered at the next yield (DoEvents) while a
    // handler runs, as a user's click during a transfer would be.
    void QueueClick(Form& form, const std::string& controlName);
    // Queues a title-bar close of the form, delivered at the next yield.
    void QueueClose(Form& form);

    // Every message box shown, in order (texts). Answered at once.
    std::vector<std::string> messages;
    std::vector<std::string> titles;

    bool terminated = false;
    int exitCode = -1;

    void SetScreen(double widthTwips, double heightTwips) {
        screenW_ = widthTwips;
        screenH_ = heightTwips;
    }

    // Number of ProcessEvents calls (tests check that transfers yield).
    std::int64_t processEventsCalls = 0;
    std::int64_t copyProgressCalls = 0;

    std::int64_t NowMs() override { return now_; }
    void ProcessEvents() override;
    void MessageBox(const std::string& prompt, const std::string& title) override;
    double ScreenWidth() override { return screenW_; }
    double ScreenHeight() override { return screenH_; }
    double FrameExtraWidth() override { return 2 * 4 * TwipsPerPixel; }
    double FrameExtraHeight() override { return (2 * 4 + 23) * TwipsPerPixel; }
    void Terminate(int code) override {
        terminated = true;
        exitCode = code;
    }
    void CopyProgress(std::uint64_t, std::uint64_t, bool, const std::string&) override {
        ++copyProgressCalls;
    }
    bool ThrottleEvents() const override { return throttle; }
    // Lets the yield skip as on a real clock (which, standing still, never ticks on).
    bool throttle = false;

  private:
    struct Pending {
        Form* form;
        std::string control;  // empty: close the form
    };
    Application* app_ = nullptr;
    std::int64_t now_ = 0;
    double screenW_ = 1920 * TwipsPerPixel;
    double screenH_ = 1080 * TwipsPerPixel;
    std::deque<Pending> pending_;
};

}  // namespace forms
