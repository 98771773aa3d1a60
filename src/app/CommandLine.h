// The installer's command line: no argument for the window, or one flag for an unattended run.
#pragma once

#include <string>
#include <vector>

namespace app {

enum class RunMode {
    Interactive,  // no argument: the window, driven by the user
    Passive,      // the window, driven by the program itself
    Quiet,        // no window at all
    Help,         // print the usage
    Invalid,      // an argument that is not understood
};

struct CommandLine {
    RunMode mode = RunMode::Interactive;
    std::string offending;  // the argument that made the line invalid
    std::string logFile;    // the file after /log; "" when not given
};

// Flags are read without regard to case and may start with "/" or "-"; one run flag at most,
// and "/log <file>" before or after it, once.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string Usage();

// The log of a /passive or /quiet run without /log: this file in the Temp folder (the usage
// names it).
inline constexpr const char* kDefaultLogName = "instalador.log";

// Exit codes of the unattended modes and of a bad command line.
constexpr int kExitInstalled = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// The window was asked for where there is no display to show it.
constexpr int kExitNoDisplay = 2;

}  // namespace app
