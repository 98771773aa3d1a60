// The installer program: the window, driven by the user; or, with /passive or /quiet, the same
// window and flow driven by the program itself.
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/ProgramRun.h"
#include "app/QuietBackend.h"
#include "app/UnattendedDriver.h"
#include "platform/files/files.h"
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
        [&backend](std::uint64_t done, std::uint64_t total, bool finished,
                   const std::string& item) {
            backend.CopyProgress(done, total, finished, item);
        });
    run.Load();
    backend.Show(application, run.form());
    const int exitCode = backend.Exec(application);
    shell::SetCopyProgressHandler(nullptr);
    return run.ExitCode(exitCode);
}

int RunQuiet() {
    app::QuietBackend backend(std::cerr);
    forms::Application application(backend);
    app::ProgramRun run(application, app::RunMode::Quiet, std::cout);
    run.Load();
    return run.ExitCode(backend.Run(application));
}

// Wine sets a new prefix up at the first program started in it, with a window of its own over
// ours: the prefix is made ready first. Without a drive C, the flow's own failure says the same.
void PrepareWine() {
    const std::string noDriveC = files::PrepareWinePrefix([](const std::string& text) {
        std::cout << app::UnattendedDriver::FormatLine(text) << std::endl;
    });
    if (!noDriveC.empty()) std::cerr << noDriveC << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const app::CommandLine line = app::ParseCommandLine(arguments);
    if (line.mode != app::RunMode::Help && line.mode != app::RunMode::Invalid) PrepareWine();
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
