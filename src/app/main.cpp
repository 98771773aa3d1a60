// The installer program: the window, driven by the user; or, with /passive or /quiet, the same
// window and flow driven by the program itself.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Console.h"
#include "app/Display.h"
#include "app/InstanceLock.h"
#include "app/ProgramRun.h"
#include "app/QuietBackend.h"
#include "app/RunLog.h"
#include "app/UnattendedDriver.h"
#include "app/WindowProgram.h"
#include "platform/files/files.h"
#include "platform/forms/forms.h"
#include "platform/security/security.h"

namespace {

int RunQuiet(std::ostream& log) {
    app::QuietBackend backend;
    forms::Application application(backend);
    app::ProgramRun run(application, app::RunMode::Quiet, &log);
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
    // A run driven by the user prints nothing; the others speak where they were started.
    std::optional<app::ParentConsole> console;
    if (line.mode != app::RunMode::Interactive) console.emplace();
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

    // The unattended modes print their lines and keep them in a log, in the Temp folder unless
    // /log names a file; the user's run keeps them only where /log says.
    const bool unattended = line.mode != app::RunMode::Interactive;
    app::RunLog log(unattended ? &std::cout : nullptr);
    const std::string logPath =
        line.logFile.empty() && unattended ? app::DefaultLogPath() : line.logFile;
    const bool logging = !logPath.empty() && log.Open(logPath);
    if (!logPath.empty() && !logging) {
        std::cerr << "Não foi possível escrever o registro em " << logPath << std::endl;
    }
    std::ostream* lines = unattended || logging ? &log.stream() : nullptr;
    const int code = line.mode == app::RunMode::Quiet
                         ? RunQuiet(log.stream())
                         : app::WindowProgram(argc, argv, line.mode, lines).Exec();
    if (lines) {
        *lines << app::UnattendedDriver::FormatLine("Código de saída: " + std::to_string(code))
               << std::endl;
    }
    return code;
}
