#include "app/WindowProgram.h"

#include <iostream>
#include <string>

#include "platform/forms/forms.h"
#include "platform/forms/win32/win32_backend.h"
#include "platform/kernel/windows/windows_api.h"

namespace app {

struct WindowProgram::Impl {
    Impl(RunMode mode, std::ostream* log) : application(backend), run(application, mode, log) {}

    forms::Win32Backend backend;
    forms::Application application;
    ProgramRun run;
};

WindowProgram::WindowProgram(int&, char**, RunMode mode, std::ostream* log)
    : impl_(std::make_unique<Impl>(mode, log)) {
    // Nobody is there to answer a box of an unattended run: it is read into the log instead.
    if (mode == RunMode::Passive) impl_->backend.AnswerMessageBoxesAfter(kPassiveMessageMs);
}

WindowProgram::~WindowProgram() = default;

frmInstall& WindowProgram::form() { return impl_->run.form(); }

int WindowProgram::Exec() {
    impl_->run.Load();
    impl_->backend.Show(impl_->application, impl_->run.form());
    return impl_->run.ExitCode(impl_->backend.Exec(impl_->application));
}

void WindowProgram::ShowMessage(int&, char**, RunMode mode, const std::string& text) {
    forms::Win32Backend backend;
    if (mode == RunMode::Passive) backend.AnswerMessageBoxesAfter(kPassiveMessageMs);
    forms::Application application(backend);
    application.MsgBox(text);
}

}  // namespace app
