#include "app/ProgramRun.h"

namespace app {

ProgramRun::ProgramRun(forms::Application& app, RunMode mode, std::ostream* log)
    : app_(app), form_(app), mode_(mode) {
    // The driver takes over the window's handlers, so it comes before the load step.
    if (mode == RunMode::Passive || mode == RunMode::Quiet) {
        driver_.emplace(app, form_, *log);
    } else if (log) {
        driver_.emplace(app, form_, *log, UnattendedDriver::Role::LogOnly);
    }
}

void ProgramRun::Load() {
    app_.Dispatch([this] { form_.Form_Load(); });
    // With no window to greet from, there is nothing to wait for: the start phase runs at once.
    if (mode_ == RunMode::Quiet && form_.Timer2.Interval > 0) form_.Timer2.Interval = 1;
}

int ProgramRun::ExitCode(int loopExitCode) const {
    return mode_ == RunMode::Interactive ? loopExitCode : driver_->ExitCode();
}

}  // namespace app
