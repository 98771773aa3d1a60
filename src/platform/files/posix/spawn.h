// Inside the files layer: starting a host program with its output in the log of started
// programs, waited for by the reaper so that it never stays a zombie.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace files::detail {

// Starts argv[0] (a host path) with argv, without a shell; the environment is ours with
// WINEPREFIX set, less the variables named in dropEnvironment, plus the NAME=value texts of
// extraEnvironment; it starts in workingFolder (a host path) when one is given. Nothing when the
// program cannot be started.
std::optional<pid_t> Spawn(const std::vector<std::string>& argv,
                           const std::vector<std::string>& dropEnvironment,
                           const std::vector<std::string>& extraEnvironment,
                           const std::string& workingFolder = {});

}  // namespace files::detail
