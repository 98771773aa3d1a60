#include "ftptool/options.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

namespace ftptool {

const char* const kUsage =
    "usage: kelvoran-ftp [--server HOST[:PORT]] [--user NAME] [--passive] [--ask-password]\n"
    "                    COMMAND [ARGS]\n"
    "commands:\n"
    "  ls [PATTERN]          list remote entries (type, size, last write, name)\n"
    "  get REMOTE [LOCAL]    download a file\n"
    "  put LOCAL [REMOTE]    upload a file\n"
    "  mv FROM TO            rename a remote file\n"
    "  rm REMOTE             delete a remote file\n"
    "  mkdir DIR             create a remote folder\n"
    "  rmdir DIR             remove a remote folder\n"
    "  pwd                   print the remote current folder\n"
    "The password is the built-in one, or KELVORAN_FTP_PASSWORD, or typed at the terminal\n"
    "with --ask-password; it is never taken from the command line.\n";

namespace {

struct Arity {
    std::size_t min;
    std::size_t max;
};

const std::map<std::string, Arity>& Commands() {
    static const std::map<std::string, Arity> commands = {
        {"ls", {0, 1}}, {"get", {1, 2}},   {"put", {1, 2}},   {"mv", {2, 2}},
        {"rm", {1, 1}}, {"mkdir", {1, 1}}, {"rmdir", {1, 1}}, {"pwd", {0, 0}},
    };
    return commands;
}

bool IsPasswordOption(const std::string& arg) {
    return arg == "-p" || arg == "--password" || arg.rfind("--password=", 0) == 0 ||
           arg == "--pass" || arg.rfind("--pass=", 0) == 0;
}

// Restores the terminal's echo however the read ends.
class EchoOff {
  public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (tcgetattr(fd_, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (active_) tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool active() const { return active_; }

  private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

std::optional<std::string> ReadPasswordFromTerminal() {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> password;
    {
        static const char kPrompt[] = "Password: ";
        if (::write(fd, kPrompt, sizeof kPrompt - 1) < 0) {
            ::close(fd);
            return std::nullopt;
        }
        EchoOff echoOff(fd);
        if (echoOff.active()) {
            std::string line;
            char c = 0;
            // A password line is short; the bound keeps a stuck terminal from growing it.
            while (line.size() < 4096 && ::read(fd, &c, 1) == 1 && c != '\n') line += c;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            password = line;
        }
    }
    if (::write(fd, "\n", 1) < 0) {
        // The newline only tidies the terminal; the password is read either way.
    }
    ::close(fd);
    return password;
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& argv, const std::string& defaultServer,
                             const std::string& defaultUser) {
    Options options;
    options.server = defaultServer;
    options.user = defaultUser;

    std::size_t i = 0;
    for (; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg.empty() || arg[0] != '-') break;
        if (arg == "--") {
            ++i;
            break;
        }
        if (IsPasswordOption(arg)) {
            return {std::nullopt,
                    "a password is not accepted on the command line; set KELVORAN_FTP_PASSWORD "
                    "or use --ask-password"};
        }
        if (arg == "--passive") {
            options.passive = true;
        } else if (arg == "--ask-password") {
            options.askPassword = true;
        } else if (arg == "--server" || arg == "--user") {
            if (i + 1 >= argv.size()) return {std::nullopt, arg + " needs a value"};
            (arg == "--server" ? options.server : options.user) = argv[++i];
        } else if (arg.rfind("--server=", 0) == 0) {
            options.server = arg.substr(9);
        } else if (arg.rfind("--user=", 0) == 0) {
            options.user = arg.substr(7);
        } else {
            return {std::nullopt, "unknown option " + arg};
        }
    }
    if (i >= argv.size()) return {std::nullopt, "no command given"};

    options.command = argv[i++];
    const auto command = Commands().find(options.command);
    if (command == Commands().end()) return {std::nullopt, "unknown command " + options.command};
    options.args.assign(argv.begin() + static_cast<std::ptrdiff_t>(i), argv.end());
    if (options.args.size() < command->second.min || options.args.size() > command->second.max) {
        return {std::nullopt, "wrong number of arguments for " + options.command};
    }
    if (options.server.empty()) return {std::nullopt, "no server given"};
    return {options, {}};
}

std::optional<std::string> ResolvePassword(bool askPassword, const std::string& builtIn) {
    if (askPassword) return ReadPasswordFromTerminal();
    if (const char* fromEnvironment = std::getenv("KELVORAN_FTP_PASSWORD")) {
        return std::string(fromEnvironment);
    }
    return builtIn;
}

}  // namespace ftptool
