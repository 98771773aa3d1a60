#include "app/WindowProgram.h"

#include <cstdint>
#include <iostream>
#include <string>

#include "platform/shell/shell.h"

namespace app {

WindowProgram::WindowProgram(int& argc, char** argv, RunMode mode)
    : backend_(argc, argv), application_(backend_), run_(application_, mode, std::cout) {
    // Nobody is there to answer a box of an unattended run: it is read into the log instead.
    if (mode == RunMode::Passive) backend_.AnswerMessageBoxesAfter(kPassiveMessageMs);
    // A long extraction shows its progress in the window, as the shell's copy window would.
    shell::SetCopyProgressHandler(
        [this](std::uint64_t done, std::uint64_t total, bool finished, const std::string& item) {
            backend_.CopyProgress(done, total, finished, item);
        });
}

WindowProgram::~WindowProgram() { shell::SetCopyProgressHandler(nullptr); }

int WindowProgram::Exec() {
    run_.Load();
    backend_.Show(application_, run_.form());
    return run_.ExitCode(backend_.Exec(application_));
}

}  // namespace app
