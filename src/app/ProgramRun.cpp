#include "app/ProgramRun.h"

namespace app {

ProgramRun::ProgramRun(forms::Application& app, RunMode mode, std::ostream& statusOut)
    : app_(app), form_(app) {
    // The driver takes over the window's handlers, so it comes before the load step.
    if (mode == RunMode::Passive || mode == RunMode::Quiet) driver_.emplace(app, form_, statusOut);
}

void ProgramRun::Load() {
    app_.Dispatch([this] { form_.Form_Load(); });
}

int ProgramRun::ExitCode(int loopExitCode) const {
    return driver_ ? driver_->ExitCode() : loopExitCode;
}

}  // namespace app
