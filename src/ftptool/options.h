// The command line of kelvoran-ftp: options, the command and its arguments, and the password,
// which comes from the built-in setting, the environment or the terminal, never the command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ftptool {

struct Options {
    std::string server;
    std::string user;
    bool passive = false;
    bool askPassword = false;
    std::string command;
    std::vector<std::string> args;
};

struct ParseResult {
    std::optional<Options> options;
    std::string error;  // why the command line was refused, when options is empty
};

extern const char* const kUsage;

// Parses argv (without the program name) over the built-in defaults.
ParseResult ParseCommandLine(const std::vector<std::string>& argv, const std::string& defaultServer,
                             const std::string& defaultUser);

// The password: KELVORAN_FTP_PASSWORD when set, read from the terminal without echo with
// askPassword, else the built-in one. Nothing when the terminal cannot be read.
std::optional<std::string> ResolvePassword(bool askPassword, const std::string& builtIn);

}  // namespace ftptool
