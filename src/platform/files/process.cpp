// Starting programs from a Windows command line, without a shell and without waiting.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/files/files.h"

extern char** environ;

namespace files {
namespace {

namespace fs = std::filesystem;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits the arguments after the program name as the C runtime of Windows does: blanks separate,
// double quotes group, 2n backslashes before a quote give n backslashes and a quote that groups,
// 2n+1 give n backslashes and a literal quote, "" inside quotes is a literal quote.
std::vector<std::string> SplitArguments(std::string_view text) {
    std::vector<std::string> args;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i >= text.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < text.size() && (quoted || !IsBlank(text[i]))) {
            if (text[i] == '\\') {
                std::size_t slashes = 0;
                while (i < text.size() && text[i] == '\\') ++slashes, ++i;
                if (i < text.size() && text[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
                continue;
            }
            if (text[i] == '"') {
                if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += text[i++];
        }
        args.push_back(std::move(arg));
    }
    return args;
}

// The program part of a command line: the quoted first part, or the first word. Backslashes are
// plain characters there, as in a Windows path.
std::pair<std::string, std::string_view> SplitProgram(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    std::string program;
    if (i < line.size() && line[i] == '"') {
        const auto close = line.find('"', i + 1);
        const auto end = close == std::string_view::npos ? line.size() : close;
        program = std::string(line.substr(i + 1, end - i - 1));
        i = close == std::string_view::npos ? line.size() : close + 1;
    } else {
        const auto start = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        program = std::string(line.substr(start, i - start));
    }
    return {program, line.substr(i)};
}

bool IsExecutable(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> FindWine() {
    const char* pathVariable = std::getenv("PATH");
    const std::string_view search = pathVariable != nullptr ? pathVariable : "";
    for (const char* name : {"wine", "wine64"}) {
        std::size_t start = 0;
        while (start <= search.size()) {
            auto end = search.find(':', start);
            if (end == std::string_view::npos) end = search.size();
            const std::string folder(search.substr(start, end - start));
            const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
            if (IsExecutable(candidate)) return candidate;
            start = end + 1;
        }
    }
    if (IsExecutable("/usr/lib/wine/wine64")) return std::string("/usr/lib/wine/wine64");
    return std::nullopt;
}

std::string LowerExtension(const std::string& name) {
    const auto dot = name.find_last_of('.');
    const auto slash = name.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return FoldCase(name.substr(dot));
}

// The programs started here, reaped on later calls so that none stays a zombie for long. Only
// our own children are waited for: other parts of the process may wait for theirs.
std::mutex& ChildrenMutex() {
    static std::mutex mutex;
    return mutex;
}
std::vector<pid_t>& Children() {
    static std::vector<pid_t> children;
    return children;
}

void ReapFinishedChildren() {
    auto& children = Children();
    children.erase(std::remove_if(children.begin(), children.end(),
                                  [](pid_t pid) {
                                      int status = 0;
                                      return ::waitpid(pid, &status, WNOHANG) != 0;
                                  }),
                   children.end());
}

// The child's environment: ours, with WINEPREFIX set to the prefix we resolve paths in.
std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> env;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "WINEPREFIX=", 11) == 0) continue;
        env.emplace_back(*entry);
    }
    env.push_back("WINEPREFIX=" + WinePrefix().string());
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (auto& text : texts) out.push_back(text.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

double Shell(const std::string& commandLine, int windowStyle) {
    const auto [program, rest] = SplitProgram(commandLine);
    if (program.empty()) throw vberr::Make(vberr::InvalidProcedureCall);
    const std::vector<std::string> arguments = SplitArguments(rest);

    const bool bareName = program.find_first_of("\\/:") == std::string::npos;
    std::optional<std::string> host;
    if (!bareName) {
        try {
            host = ToHostPath(program).string();
        } catch (const VbError&) {
            throw vberr::Make(vberr::FileNotFound);
        }
        struct stat st;
        if (::stat(host->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            throw vberr::Make(vberr::FileNotFound);
        }
    }

    const std::string extension = LowerExtension(program);
    const bool windowsProgram = bareName || extension == ".exe" || extension == ".com" ||
                                extension == ".bat" || extension == ".cmd";
    std::vector<std::string> argv;
    if (windowsProgram) {
        const auto wine = FindWine();
        if (!wine) throw vberr::Make(vberr::FileNotFound);
        argv.push_back(*wine);
        if (extension == ".bat" || extension == ".cmd") {
            argv.insert(argv.end(), {"cmd", "/c", host ? ToWindowsPath(*host) : program});
        } else {
            argv.push_back(host ? *host : program);
        }
    } else {
        // A host program of its own (a script or native executable) is started directly.
        if (!IsExecutable(*host)) throw vberr::Make(vberr::FileNotFound);
        argv.push_back(*host);
    }
    argv.insert(argv.end(), arguments.begin(), arguments.end());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (windowStyle == vbHide) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    // Nothing of ours (sockets, archives being written) is handed on to the program.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    auto env = ChildEnvironment();
    auto argvPointers = Pointers(argv);
    auto envPointers = Pointers(env);

    std::lock_guard lock(ChildrenMutex());
    ReapFinishedChildren();
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argvPointers.data(),
                                    envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw vberr::Make(vberr::FileNotFound);
    Children().push_back(pid);
    return static_cast<double>(pid);
}

}  // namespace files
