// The program with its window (the user's run and /passive): the Qt backend, the window, the
// copy window of long extractions and the event loop.
#pragma once

#include "app/CommandLine.h"
#include "app/ProgramRun.h"
#include "platform/forms/forms.h"
#include "platform/forms/qt/qt_backend.h"

namespace app {

class WindowProgram {
  public:
    // Interactive or Passive; the unattended log goes to standard output.
    WindowProgram(int& argc, char** argv, RunMode mode);
    ~WindowProgram();
    WindowProgram(const WindowProgram&) = delete;
    WindowProgram& operator=(const WindowProgram&) = delete;

    frmInstall& form() { return run_.form(); }

    // The load step, the window shown, the event loop; returns the program's exit code (the
    // end of the program itself leaves the process from inside the loop).
    int Exec();

    // How long a message box of /passive waits before it answers itself.
    static constexpr int kPassiveMessageMs = 3000;

  private:
    forms::QtBackend backend_;
    forms::Application application_;
    ProgramRun run_;
};

}  // namespace app
