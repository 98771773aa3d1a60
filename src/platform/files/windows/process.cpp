// Starting programs on Windows: CreateProcessW takes the command line as it is given and reads
// it itself (a batch file runs through the command interpreter, as Windows runs it); what the
// program prints goes to the log of started programs through inherited handles.
#include <algorithm>
#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <vector>

#include "platform/files/files.h"
#include "platform/kernel/windows/utf16.h"

namespace files {
namespace {

// The show command in STARTUPINFO for a window style of Shell().
WORD ShowCommand(int windowStyle) {
    switch (windowStyle) {
        case vbHide:
            return SW_HIDE;
        case vbMinimizedFocus:
            return SW_SHOWMINIMIZED;
        default:
            return SW_SHOWNORMAL;
    }
}

// A handle that the started program inherits and that we close once it has it.
class InheritedHandle {
  public:
    explicit InheritedHandle(HANDLE handle) : handle_(handle) {}
    ~InheritedHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    InheritedHandle(const InheritedHandle&) = delete;
    InheritedHandle& operator=(const InheritedHandle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

HANDLE OpenInheritable(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The log of started programs, opened for appending with a line that names the program; or the
// null device when the Temp folder cannot take it.
HANDLE OpenOutput(const std::string& commandLine) {
    HANDLE log = INVALID_HANDLE_VALUE;
    try {
        log = OpenInheritable(StartedProgramsLog().native(), FILE_APPEND_DATA, OPEN_ALWAYS);
    } catch (const VbError&) {
    }
    if (log == INVALID_HANDLE_VALUE) return OpenInheritable(L"NUL", GENERIC_WRITE, OPEN_EXISTING);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    const std::string header = std::string("--- ") + stamp + " " + commandLine + "\n";
    DWORD written = 0;
    WriteFile(log, header.data(), static_cast<DWORD>(header.size()), &written, nullptr);
    return log;
}

// Processes started here, by id, with their handles, which stay open until their exit code is
// asked for.
struct Programs {
    std::mutex mutex;
    std::map<DWORD, HANDLE> handles;
};

Programs& ThePrograms() {
    static auto* programs = new Programs;  // never destroyed: programs may outlive main()
    return *programs;
}

void Keep(DWORD pid, HANDLE process) {
    Programs& programs = ThePrograms();
    std::lock_guard lock(programs.mutex);
    // Exit codes nobody asked for are dropped once they pile up.
    if (programs.handles.size() > 512) {
        std::erase_if(programs.handles, [](const auto& entry) {
            if (WaitForSingleObject(entry.second, 0) != WAIT_OBJECT_0) return false;
            CloseHandle(entry.second);
            return true;
        });
    }
    programs.handles[pid] = process;
}

}  // namespace

std::string WineLoader() { return ""; }

std::string PrepareWinePrefix(const std::function<void(const std::string&)>&,
                              std::chrono::seconds) {
    return "";  // programs run on the system itself: nothing to prepare
}

std::string MissingDriveCText() { return "A unidade C: não existe."; }

std::optional<int> WaitForProgram(double pid, std::chrono::milliseconds timeout) {
    Programs& programs = ThePrograms();
    const auto key = static_cast<DWORD>(pid);
    HANDLE waitable = nullptr;
    {
        std::lock_guard lock(programs.mutex);
        const auto it = programs.handles.find(key);
        if (it == programs.handles.end()) return std::nullopt;
        // A handle of our own to wait on: another caller may take the exit code meanwhile.
        if (!DuplicateHandle(GetCurrentProcess(), it->second, GetCurrentProcess(), &waitable, 0,
                             FALSE, DUPLICATE_SAME_ACCESS)) {
            return std::nullopt;
        }
    }
    const auto millis = std::clamp<std::int64_t>(timeout.count(), 0, INFINITE - 1);
    const DWORD waited = WaitForSingleObject(waitable, static_cast<DWORD>(millis));
    CloseHandle(waitable);
    if (waited != WAIT_OBJECT_0) return std::nullopt;

    std::lock_guard lock(programs.mutex);
    const auto it = programs.handles.find(key);
    if (it == programs.handles.end()) return std::nullopt;
    DWORD code = 0;
    const bool known = GetExitCodeProcess(it->second, &code);
    CloseHandle(it->second);
    programs.handles.erase(it);
    if (!known) return std::nullopt;
    return static_cast<int>(code);
}

namespace {

// Starts a process from a command line, the program by full path when one is given (else the
// system reads it from the line), in a working folder when one is given.
double Start(const std::string& program, const std::string& commandLine,
             const std::string& workingFolder, int windowStyle) {
    InheritedHandle input(OpenInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING));
    InheritedHandle output(OpenOutput(commandLine));

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = ShowCommand(windowStyle);
    startup.StartupInfo.hStdInput = input.get();
    startup.StartupInfo.hStdOutput = output.get();
    startup.StartupInfo.hStdError = output.get();

    // Only these two handles are handed on: nothing else of ours (sockets, archives being
    // written) that happens to be inheritable.
    HANDLE inherited[] = {input.get(), output.get()};
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<char> list(listSize);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
    DWORD flags = 0;
    if (InitializeProcThreadAttributeList(attributes, 1, 0, &listSize)) {
        if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                      sizeof inherited, nullptr, nullptr)) {
            startup.lpAttributeList = attributes;
            flags |= EXTENDED_STARTUPINFO_PRESENT;
        }
    }
    // A hidden console program gets no console window at all.
    if (windowStyle == vbHide) flags |= CREATE_NO_WINDOW;

    std::wstring line = kernel::Widen(commandLine);
    const std::wstring application = kernel::Widen(program);
    const std::wstring folder = kernel::Widen(workingFolder);
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(
        program.empty() ? nullptr : application.c_str(), line.data(), nullptr, nullptr, TRUE, flags,
        nullptr, workingFolder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo, &process);
    if (startup.lpAttributeList != nullptr) DeleteProcThreadAttributeList(attributes);
    if (!started) throw vberr::Make(vberr::FileNotFound);
    CloseHandle(process.hThread);
    Keep(process.dwProcessId, process.hProcess);
    return static_cast<double>(process.dwProcessId);
}

}  // namespace

double Shell(const std::string& commandLine, int windowStyle) {
    if (commandLine.find_first_not_of(" \t") == std::string::npos) {
        throw vberr::Make(vberr::InvalidProcedureCall);
    }
    return Start("", commandLine, "", windowStyle);
}

BatchLaunch BatchLaunchFor(const std::string& batchPath) {
    std::wstring system(MAX_PATH, L'\0');
    const UINT length = GetSystemDirectoryW(system.data(), MAX_PATH);
    system.resize(length < MAX_PATH ? length : 0);
    const std::string interpreter = kernel::Narrow(system) + "\\cmd.exe";
    std::string folder = batchPath.substr(0, batchPath.find_last_of("\\/") + 1);
    if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    // With /s the interpreter drops only the outermost pair of quotes, so the inner pair keeps a
    // path with blanks (or with & and parentheses) whole; /d skips the AutoRun commands.
    return {interpreter, "\"" + interpreter + "\" /d /s /c \"\"" + batchPath + "\"\"", folder};
}

double StartBatch(const std::string& batchPath, int windowStyle) {
    const BatchLaunch launch = BatchLaunchFor(batchPath);
    return Start(launch.program, launch.commandLine, launch.workingFolder, windowStyle);
}

}  // namespace files
