#include "ftptool/terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace ftptool {

namespace {

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

}  // namespace

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

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

void BinaryStandardOutput() {}  // POSIX streams never translate line ends

long ProcessId() { return static_cast<long>(::getpid()); }

}  // namespace ftptool
