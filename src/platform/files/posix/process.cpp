// Starting programs from a Windows command line, without a shell and without waiting.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/files/files.h"
#include "platform/files/internal.h"
#include "platform/files/posix/spawn.h"

extern char** environ;

namespace files {
namespace {

namespace fs = std::filesystem;

bool IsRegularFile(const std::string& hostPath) {
    struct stat st;
    return ::stat(hostPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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

// The child's environment: ours, with WINEPREFIX set to the prefix we resolve paths in, less
// the variables named in `drop`, plus `extra`.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& drop,
                                          const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        const std::string_view name = text.substr(0, text.find('='));
        if (name == "WINEPREFIX") continue;
        if (std::find(drop.begin(), drop.end(), name) != drop.end()) continue;
        env.emplace_back(text);
    }
    env.push_back("WINEPREFIX=" + WinePrefix().string());
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (auto& text : texts) out.push_back(text.data());
    out.push_back(nullptr);
    return out;
}

// The log of started programs, opened for appending with a line that names the program; or
// /dev/null when the Temp folder cannot take it.
int OpenOutput(const std::vector<std::string>& argv) {
    std::string log;
    try {
        log = StartedProgramsLog().string();
    } catch (const VbError&) {
    }
    int fd =
        log.empty() ? -1 : ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string header = std::string("--- ") + stamp + " ";
    for (const auto& arg : argv) header += (&arg == &argv.front() ? "" : " ") + arg;
    header += '\n';
    [[maybe_unused]] const auto written = ::write(fd, header.data(), header.size());
    return fd;
}

// Programs started here, each waited for by a thread of its own so that none stays a zombie
// once it ends; their exit codes are kept until asked for. Only our own children are waited
// for: other parts of the process may wait for theirs.
struct Reaper {
    std::mutex mutex;
    std::condition_variable ended;
    std::map<pid_t, std::optional<int>> programs;
};

Reaper& TheReaper() {
    static auto* reaper = new Reaper;  // never destroyed: its threads may outlive main()
    return *reaper;
}

void Reap(pid_t pid) {
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    int code = -1;
    if (result == pid) code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    Reaper& reaper = TheReaper();
    std::lock_guard lock(reaper.mutex);
    reaper.programs[pid] = code;
    reaper.ended.notify_all();
}

void Watch(pid_t pid) {
    Reaper& reaper = TheReaper();
    {
        std::lock_guard lock(reaper.mutex);
        // Exit codes nobody asked for are dropped once they pile up.
        if (reaper.programs.size() > 512) {
            std::erase_if(reaper.programs,
                          [](const auto& entry) { return entry.second.has_value(); });
        }
        reaper.programs[pid] = std::nullopt;
    }
    try {
        std::thread(Reap, pid).detach();
    } catch (const std::system_error&) {
        Reap(pid);  // no thread to spare: wait here rather than leave a zombie
    }
}

}  // namespace

namespace detail {

std::optional<pid_t> Spawn(const std::vector<std::string>& argv,
                           const std::vector<std::string>& dropEnvironment,
                           const std::vector<std::string>& extraEnvironment,
                           const std::string& workingFolder) {
    const int output = OpenOutput(argv);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (output >= 0) {
        posix_spawn_file_actions_adddup2(&actions, output, 1);
        posix_spawn_file_actions_adddup2(&actions, output, 2);
    }
    // Nothing of ours (sockets, archives being written) is handed on to the program.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());

    auto env = ChildEnvironment(dropEnvironment, extraEnvironment);
    auto args = argv;
    auto argvPointers = Pointers(args);
    auto envPointers = Pointers(env);

    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argvPointers.data(),
                                    envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (output >= 0) ::close(output);
    if (error != 0) return std::nullopt;
    Watch(pid);
    return pid;
}

}  // namespace detail

std::string WineLoader() { return FindWine().value_or(""); }

std::optional<int> WaitForProgram(double pid, std::chrono::milliseconds timeout) {
    Reaper& reaper = TheReaper();
    std::unique_lock lock(reaper.mutex);
    const auto key = static_cast<pid_t>(pid);
    const auto done = [&] {
        const auto it = reaper.programs.find(key);
        return it == reaper.programs.end() || it->second.has_value();
    };
    reaper.ended.wait_for(lock, timeout, done);
    const auto it = reaper.programs.find(key);
    if (it == reaper.programs.end() || !it->second) return std::nullopt;
    const int code = *it->second;
    reaper.programs.erase(it);
    return code;
}

double Shell(const std::string& commandLine, int windowStyle) {
    (void)windowStyle;  // no window to show or hide on this host: the output goes to the log
    const auto [program, rest] = detail::SplitProgram(commandLine);
    if (program.empty()) throw vberr::Make(vberr::InvalidProcedureCall);
    const std::vector<std::string> arguments = detail::SplitArguments(rest);

    const bool bareName = program.find_first_of("\\/:") == std::string::npos;
    std::optional<std::string> host;
    if (!bareName) {
        try {
            host = ToHostPath(program).string();
        } catch (const VbError&) {
            throw vberr::Make(vberr::FileNotFound);
        }
        if (!IsRegularFile(*host)) throw vberr::Make(vberr::FileNotFound);
    }

    const std::string extension = detail::LowerExtension(program);
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

    const auto pid = detail::Spawn(argv, {}, {});
    if (!pid) throw vberr::Make(vberr::FileNotFound);
    return static_cast<double>(*pid);
}

BatchLaunch BatchLaunchFor(const std::string& batchPath) {
    const std::string folder = detail::SplitLast(batchPath).first;
    return {
        WineLoader(), "cmd /c \"" + batchPath + "\"",
        folder.size() > 3 && folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder};
}

double StartBatch(const std::string& batchPath, int windowStyle) {
    (void)windowStyle;  // as Shell(): no window here, the output goes to the log
    std::string host;
    try {
        host = ToHostPath(batchPath).string();
    } catch (const VbError&) {
        throw vberr::Make(vberr::FileNotFound);
    }
    const auto wine = FindWine();
    if (!wine || !IsRegularFile(host)) throw vberr::Make(vberr::FileNotFound);
    // The batch file starts in its own folder, so that the names it gives are found beside it.
    const auto pid = detail::Spawn({*wine, "cmd", "/c", ToWindowsPath(host)}, {}, {},
                                   fs::path(host).parent_path().string());
    if (!pid) throw vberr::Make(vberr::FileNotFound);
    return static_cast<double>(*pid);
}

}  // namespace files
