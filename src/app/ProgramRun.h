// One run of the program once a backend exists: the window, the unattended driver when the
// mode asks for one, the load step and the exit code. main() builds one for every mode.
#pragma once

#include <optional>
#include <ostream>

#include "app/CommandLine.h"
#include "app/UnattendedDriver.h"
#include "platform/forms/forms.h"
#include "window/frmInstall.h"

namespace app {

class ProgramRun {
  public:
    // Interactive, Passive or Quiet. The lines of an unattended run go to `log`, which it needs;
    // a run the user drives writes them there when it is given.
    ProgramRun(forms::Application& app, RunMode mode, std::ostream* log);
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    frmInstall& form() { return form_; }
    // The driver of an unattended run; nullptr when the user drives the window.
    const UnattendedDriver* driver() const { return driver_ ? &*driver_ : nullptr; }

    // The window's load step, run as the event loop runs a handler.
    void Load();
    // An unattended run says whether the product got installed; the user's run ends with the
    // code the event loop returned.
    int ExitCode(int loopExitCode) const;

  private:
    forms::Application& app_;
    frmInstall form_;
    const RunMode mode_;
    // After the window: it goes first, as it must.
    std::optional<UnattendedDriver> driver_;
};

}  // namespace app
