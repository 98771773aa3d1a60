// A stand-in for Wine: a "wine" script first on PATH that records every start and runs
// nothing, so that the Windows programs it is asked to run never run. Each start ends with the
// exit code in KV_WINE_STAND_IN_EXIT (0 when unset), as a program that failed would.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "support/env_scope.h"

namespace testsupport {

class WineStandIn {
  public:
    // Missing: PATH holds only an empty folder, as on a machine without Wine.
    enum class Presence { Installed, Missing };

    explicit WineStandIn(Presence presence = Presence::Installed);
    // Starts still under way would find their script gone; they are let land first.
    ~WineStandIn();
    WineStandIn(const WineStandIn&) = delete;
    WineStandIn& operator=(const WineStandIn&) = delete;

    // One line per start, its arguments joined by " | ", waiting (at most five seconds) until
    // there are at least n of them: the programs run detached and log in their own time.
    std::vector<std::string> Starts(std::size_t n = 0) const;
    // The starts after a short settling time, for tests that expect none or no more.
    std::vector<std::string> StartsSettled() const;

    // What the latest start saw, one line per item: "argv" its arguments, "prefix" WINEPREFIX,
    // "cwd" the folder it started in, "display" DISPLAY ("unset" without one), "stdout" where
    // its output went, "fds" its open descriptors. Every start also prints a line to its output
    // and one to its errors.
    std::vector<std::string> Latest(const std::string& record) const;

  private:
    std::filesystem::path folder_;
    ScopedEnv path_;
};

}  // namespace testsupport
