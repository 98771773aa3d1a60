// The installer program: the window, driven by the user; or, with /passive or /quiet, the same
// window and flow driven by the program itself.
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/ProgramRun.h"
#include "app/QuietBackend.h"
#include "platform/forms/forms.h"
#include "platform/forms/qt/qt_backend.h"
#include "platform/shell/shell.h"

namespace {

int RunWindow(int& argc, char** argv, app::RunMode mode) {
    forms::QtBackend backend(argc, argv);
    forms::Application application(backend);
    app::ProgramRun run(application, mode, std::cout);
    // A long extraction shows its progress in the window, as the shell's copy window would.
    shell::SetCopyProgressHandler(
        [&backend](std::uint64_t done, std::uint64_t total, bool finished) {
            backend.CopyProgress(done, total, finished);
        });
    run.Load();
    backend.Show(application, run.form());
    const int exitCode = backend.Exec(application);
    shell::SetCopyProgressHandler(nullptr);
    return run.ExitCode(exitCode);
}

int RunQuiet() {
    app::QuietBackend backend;
    forms::Application application(backend);
    app::ProgramRun run(application, app::RunMode::Quiet, std::cout);
    run.Load();
    return run.ExitCode(backend.Run(application));
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const app::CommandLine line = app::ParseCommandLine(arguments);
    switch (line.mode) {
        case app::RunMode::Help:
            std::cout << app::Usage();
            return 0;
        case app::RunMode::Invalid:
            std::cerr << "Argumento desconhecido: " << line.offending << "\n\n" << app::Usage();
            return app::kExitUsage;
        case app::RunMode::Quiet:
            return RunQuiet();
        case app::RunMode::Passive:
            return RunWindow(argc, argv, line.mode);
        case app::RunMode::Interactive:
            break;
    }
    return RunWindow(argc, argv, app::RunMode::Interactive);
}
