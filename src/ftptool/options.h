// The command line of kelvoran-ftp: options, the command and its arguments, and the password,
// which comes from the built-in setting, the environment or the terminal, never the command line.
// The commands are one table (name, arguments, handler) that the parser, the usage text and the
// dispatch all read.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ftptool {

struct Session;
using Handler = int (*)(Session&, const std::vector<std::string>&);

struct Command {
    const char* name;
    std::size_t minArgs;
    std::size_t maxArgs;
    const char* arguments;  // as the usage shows them
    const char* summary;
    Handler handler;
    // The command's own option naming a key file ("--sign", "--key"), given after the command's
    // name; whether the command needs it.
    const char* keyOption = nullptr;
    bool keyRequired = false;
};

struct Options {
    std::string server;
    std::string user;
    bool passive = true;
    bool askPassword = false;
    const Command* command = nullptr;
    std::vector<std::string> args;
    std::string keyFile;  // the file of the command's key option
};

struct ParseResult {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Refuse;
    Options options;
    std::string error;  // why the command line was refused
};

// The server as errors name it: with its port, the default one when none is given.
std::string ServerWithPort(const std::string& server);

// The usage text, naming the built-in server.
std::string Usage(std::span<const Command> commands, const std::string& defaultServer);

// Parses argv (without the program name) over the built-in defaults.
ParseResult ParseCommandLine(const std::vector<std::string>& argv,
                             std::span<const Command> commands, const std::string& defaultServer,
                             const std::string& defaultUser);

// The password: KELVORAN_FTP_PASSWORD when set, read from the terminal without echo with
// askPassword, else the built-in one. Nothing when the terminal cannot be read.
std::optional<std::string> ResolvePassword(bool askPassword, const std::string& builtIn);

}  // namespace ftptool
