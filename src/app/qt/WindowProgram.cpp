#include "app/WindowProgram.h"

#include <cstdint>
#include <iostream>
#include <string>

#include "platform/forms/forms.h"
#include "platform/forms/qt/qt_backend.h"
#include "platform/shell/shell.h"

namespace app {

struct WindowProgram::Impl {
    Impl(int& argc, char** argv, RunMode mode, std::ostream* log)
        : backend(argc, argv), application(backend), run(application, mode, log) {}

    forms::QtBackend backend;
    forms::Application application;
    ProgramRun run;
};

WindowProgram::WindowProgram(int& argc, char** argv, RunMode mode, std::ostream* log)
    : impl_(std::make_unique<Impl>(argc, argv, mode, log)) {
    // Nobody is there to answer a box of an unattended run: it is read into the log instead.
    if (mode == RunMode::Passive) impl_->backend.AnswerMessageBoxesAfter(kPassiveMessageMs);
    // A long extraction shows its progress in the window, as the shell's copy window would.
    shell::SetCopyProgressHandler(
        [this](std::uint64_t done, std::uint64_t total, bool finished, const std::string& item) {
            impl_->backend.CopyProgress(done, total, finished, item);
        });
}

WindowProgram::~WindowProgram() { shell::SetCopyProgressHandler(nullptr); }

frmInstall& WindowProgram::form() { return impl_->run.form(); }

int WindowProgram::Exec() {
    impl_->run.Load();
    impl_->backend.Show(impl_->application, impl_->run.form());
    return impl_->run.ExitCode(impl_->backend.Exec(impl_->application));
}

void WindowProgram::ShowMessage(int& argc, char** argv, RunMode mode, const std::string& text) {
    forms::QtBackend backend(argc, argv);
    if (mode == RunMode::Passive) backend.AnswerMessageBoxesAfter(kPassiveMessageMs);
    forms::Application application(backend);
    application.MsgBox(text);
}

}  // namespace app
