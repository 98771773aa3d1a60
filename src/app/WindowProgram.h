// The program with its window (the user's run and /passive): the system's window backend (Qt on
// Linux, Win32 on Windows), the window, the copy window of long extractions and the event loop.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "app/CommandLine.h"
#include "app/ProgramRun.h"

namespace app {

class WindowProgram {
  public:
    // Interactive or Passive; the run's lines go to `log` (needed for Passive; nullptr for a
    // user's run that keeps none).
    WindowProgram(int& argc, char** argv, RunMode mode, std::ostream* log);
    ~WindowProgram();
    WindowProgram(const WindowProgram&) = delete;
    WindowProgram& operator=(const WindowProgram&) = delete;

    frmInstall& form();

    // The load step, the window shown, the event loop; returns the program's exit code (the
    // end of the program itself leaves the process from inside the loop).
    int Exec();

    // One message box and nothing else (the window is not built), answered by itself after
    // kPassiveMessageMs in /passive.
    static void ShowMessage(int& argc, char** argv, RunMode mode, const std::string& text);

    // How long a message box of /passive waits before it answers itself.
    static constexpr int kPassiveMessageMs = 3000;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace app
