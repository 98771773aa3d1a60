// The installer program: the window, driven by the user; or, with /passive or /quiet, the same
// window and flow driven by the program itself.
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Display.h"
#include "app/InstanceLock.h"
#include "app/ProgramRun.h"
#include "app/QuietBackend.h"
#include "app/UnattendedDriver.h"
#include "app/WindowProgram.h"
#include "platform/files/files.h"
#include "platform/forms/forms.h"
#include "platform/security/security.h"

namespace {

int RunQuiet() {
    app::QuietBackend backend;
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

// Another installer is at work: say so, the way the mode speaks, and touch nothing.
int RefuseSecondInstance(int& argc, char** argv, app::RunMode mode) {
    if (mode != app::RunMode::Interactive) {
        std::cout << app::UnattendedDriver::FormatLine(app::InstanceLock::kAlreadyRunning)
                  << std::endl;
    }
    if (mode != app::RunMode::Quiet) {
        app::WindowProgram::ShowMessage(argc, argv, mode, app::InstanceLock::kAlreadyRunning);
    }
    return app::kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any library is loaded on demand (wininet.dll among them).
    security::LoadLibrariesFromSystemFolderOnly();
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
        case app::RunMode::Passive:
        case app::RunMode::Interactive:
            break;
    }
    // Without a display Qt would abort; say what to do instead.
    if (line.mode != app::RunMode::Quiet && !app::DisplayAvailable(argc, argv)) {
        std::cerr << app::NoDisplayMessage();
        return app::kExitNoDisplay;
    }
    const app::InstanceLock lock;
    if (!lock.acquired()) return RefuseSecondInstance(argc, argv, line.mode);
    PrepareWine();
    if (line.mode == app::RunMode::Quiet) return RunQuiet();
    return app::WindowProgram(argc, argv, line.mode).Exec();
}
