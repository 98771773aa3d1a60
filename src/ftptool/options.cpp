#include "ftptool/options.h"

#include <algorithm>
#include <cstdlib>

#include "ftptool/terminal.h"

namespace ftptool {

namespace {

// Where the port of "host:port" or "[v6]:port" starts; npos when none is given.
std::size_t PortStart(const std::string& server) {
    if (!server.empty() && server.front() == '[') {
        const std::size_t close = server.find(']');
        if (close == std::string::npos || close + 1 == server.size()) return std::string::npos;
        return close + 2;
    }
    if (server.find(':') != server.rfind(':')) return std::string::npos;  // a bare IPv6 address
    const std::size_t colon = server.find(':');
    return colon == std::string::npos ? colon : colon + 1;
}

// Whether a port, if given, is 1 to 65535.
bool ValidPort(const std::string& server) {
    const std::size_t start = PortStart(server);
    if (start == std::string::npos) {
        return server.empty() || server.front() != '[' || server.back() == ']';
    }
    if (server[start - 1] != ':') return false;
    const std::string port = server.substr(start);
    if (port.empty() || port.size() > 5) return false;
    for (char c : port) {
        if (c < '0' || c > '9') return false;
    }
    const int value = std::stoi(port);
    return value >= 1 && value <= 65535;
}

bool IsPasswordOption(const std::string& arg) {
    return arg == "-p" || arg == "--password" || arg.rfind("--password=", 0) == 0 ||
           arg == "--pass" || arg.rfind("--pass=", 0) == 0;
}

}  // namespace

std::string ServerWithPort(const std::string& server) {
    if (PortStart(server) != std::string::npos) return server;
    const bool bareIpv6 = server.find(':') != std::string::npos && server.front() != '[';
    return bareIpv6 ? "[" + server + "]:21" : server + ":21";
}

std::string Usage(std::span<const Command> commands, const std::string& defaultServer) {
    std::string text =
        "usage: kelvoran-ftp [--server HOST[:PORT]] [--user NAME] [--active] [--ask-password]\n"
        "                    COMMAND [ARGS]\n"
        "       kelvoran-ftp --help | --version\n"
        "The server is " +
        defaultServer +
        " unless --server names another; transfers use passive mode unless --active.\n"
        "commands:\n";
    for (const Command& command : commands) {
        std::string left = std::string(command.name) + " " + command.arguments;
        left.resize(std::max<std::size_t>(left.size() + 1, 22), ' ');
        text += "  " + left + command.summary + "\n";
    }
    text +=
        "The password is the built-in one, or KELVORAN_FTP_PASSWORD, or typed at the terminal\n"
        "with --ask-password; it is never taken from the command line.\n";
    return text;
}

ParseResult ParseCommandLine(const std::vector<std::string>& argv,
                             std::span<const Command> commands, const std::string& defaultServer,
                             const std::string& defaultUser) {
    ParseResult result;
    Options& options = result.options;
    options.server = defaultServer;
    options.user = defaultUser;
    auto refuse = [&result](std::string why) {
        result.action = ParseResult::Action::Refuse;
        result.error = std::move(why);
        return result;
    };

    std::size_t i = 0;
    for (; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg.empty() || arg[0] != '-' || arg == "-") break;
        if (arg == "--") {
            ++i;
            break;
        }
        if (IsPasswordOption(arg)) {
            return refuse(
                "a password is not accepted on the command line; set KELVORAN_FTP_PASSWORD or "
                "use --ask-password");
        }
        if (arg == "--help" || arg == "-h") {
            result.action = ParseResult::Action::Help;
            return result;
        }
        if (arg == "--version") {
            result.action = ParseResult::Action::Version;
            return result;
        }
        if (arg == "--passive" || arg == "--active") {
            options.passive = arg == "--passive";
        } else if (arg == "--ask-password") {
            options.askPassword = true;
        } else if (arg == "--server" || arg == "--user") {
            if (i + 1 >= argv.size()) return refuse(arg + " needs a value");
            (arg == "--server" ? options.server : options.user) = argv[++i];
        } else if (arg.rfind("--server=", 0) == 0) {
            options.server = arg.substr(9);
        } else if (arg.rfind("--user=", 0) == 0) {
            options.user = arg.substr(7);
        } else {
            return refuse("unknown option " + arg);
        }
    }
    if (i >= argv.size()) return refuse("no command given");

    const std::string name = argv[i++];
    for (const Command& command : commands) {
        if (name == command.name) options.command = &command;
    }
    if (options.command == nullptr) return refuse("unknown command " + name);
    for (; i < argv.size(); ++i) {
        const char* key = options.command->keyOption;
        if (key != nullptr && argv[i] == key) {
            if (i + 1 >= argv.size()) return refuse(argv[i] + " needs a key file");
            options.keyFile = argv[++i];
        } else {
            options.args.push_back(argv[i]);
        }
    }
    if (options.command->keyRequired && options.keyFile.empty())
        return refuse(name + " needs " + options.command->keyOption + " KEY");
    if (options.args.size() < options.command->minArgs ||
        options.args.size() > options.command->maxArgs) {
        return refuse("wrong number of arguments for " + name);
    }
    if (options.server.empty()) return refuse("no server given");
    if (!ValidPort(options.server)) return refuse("invalid port in the server " + options.server);
    result.action = ParseResult::Action::Run;
    return result;
}

std::optional<std::string> ResolvePassword(bool askPassword, const std::string& builtIn) {
    if (askPassword) return ReadPasswordFromTerminal();
    if (const char* fromEnvironment = std::getenv("KELVORAN_FTP_PASSWORD")) {
        return std::string(fromEnvironment);
    }
    return builtIn;
}

}  // namespace ftptool
