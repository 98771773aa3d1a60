// The installer program: the window, driven by the user; or, with /passive or /quiet, the same
// window and flow driven by the program itself.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/QuietBackend.h"
#include "app/UnattendedDriver.h"
#include "platform/forms/forms.h"
#include "platform/forms/qt/qt_backend.h"
#include "platform/shell/shell.h"
#include "window/frmInstall.h"

namespace {

int RunWindow(int& argc, char** argv, bool passive) {
    forms::QtBackend backend(argc, argv);
    forms::Application app(backend);
    frmInstall form(app);
    // A long extraction shows its progress in the window, as the shell's copy window would.
    shell::SetCopyProgressHandler(
        [&backend](std::uint64_t done, std::uint64_t total, bool finished) {
            backend.CopyProgress(done, total, finished);
        });
    std::optional<app::UnattendedDriver> driver;
    if (passive) driver.emplace(app, form, std::cout);

    app.Dispatch([&] { form.Form_Load(); });
    backend.Show(app, form);
    const int exitCode = backend.Exec(app);
    shell::SetCopyProgressHandler(nullptr);
    return driver ? driver->ExitCode() : exitCode;
}

int RunQuiet() {
    app::QuietBackend backend(std::cerr);
    forms::Application app(backend);
    frmInstall form(app);
    app::UnattendedDriver driver(app, form, std::cout);
    app.Dispatch([&] { form.Form_Load(); });
    backend.Run(app);
    return driver.ExitCode();
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
            return RunWindow(argc, argv, true);
        case app::RunMode::Interactive:
            break;
    }
    return RunWindow(argc, argv, false);
}
