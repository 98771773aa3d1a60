// Files, folders, environment and programs of the platform, addressed by Windows paths. On Linux
// they are resolved on the host as Wine does: drive letters through $WINEPREFIX/dosdevices, else
// C: is $WINEPREFIX/drive_c and Z: is "/"; every path component is matched without regard to
// case. On Windows a Windows path is the host's path as it is. Names are UTF-8 text on both (on
// Windows they cross to UTF-16 at the system's functions). Failures are raised as VbError with
// the runtime's numbers (53, 70, 75, 76, ...), the same on both.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files/vb_error.h"

namespace files {

// The Wine prefix in use: $WINEPREFIX, else ~/.wine. An empty path on Windows.
std::filesystem::path WinePrefix();

// Host path of a Windows path ("C:\Quorimetra\Install" -> <prefix>/drive_c/Quorimetra/Install).
// Existing components are matched without regard to case; missing ones keep the case given.
// Forward slashes are accepted as separators. A relative path is taken from the host's
// current folder. Throws VbError 76 for a drive that cannot be resolved. On Windows: the path
// itself, a relative one taken from the current folder.
std::filesystem::path ToHostPath(const std::string& windowsPath);

// Windows path of a host path: under drive_c as "C:\...", anything else as "Z:\...". On
// Windows: the path itself, with backslashes.
std::string ToWindowsPath(const std::filesystem::path& hostPath);

// A name folded for comparisons that ignore letter case: ASCII and the Latin-1 letters of UTF-8
// text are lowered, everything else is kept byte for byte.
std::string FoldCase(std::string_view name);

// Attribute bits of the presence search.
constexpr int vbNormal = 0;
constexpr int vbDirectory = 16;

// The presence search: the name of the first entry matching the path (its last component may
// hold * and ?), "" when nothing matches. Files only, or files and folders with vbDirectory.
std::string Dir(const std::string& pathPattern, int attributes = vbNormal);

// Copies a file over any existing one. 53 when the source is missing, 76 when the destination's
// folder is missing, 70/75 when it may not be written.
void FileCopy(const std::string& source, const std::string& destination);

// Deletes the files matching a path whose last component may hold * and ?. Folders are never
// removed. 53 when no file matches, 75 when one cannot be deleted.
void Kill(const std::string& pathPattern);

// An environment variable of the process by name, without regard to case. Where it leaves them
// unset, "windir" is C:\windows, "CommonProgramFiles" C:\Program Files\Common Files and "Temp"
// C:\users\<user>\Temp.
std::string Environ(const std::string& name);

// The current user's name as the Wine prefix knows it ($USER, else the account name); on
// Windows the account name of the process.
std::string UserName();

// The folder that holds the running program file, as a Windows path without a trailing "\"
// (the root folder of a drive is "Z:" or "C:", so that AppPath() + "\Dlls" stays a clean path).
std::string AppPath();
// Makes AppPath() answer for another host folder (tests and the demo's staging); an empty path
// goes back to the running program's folder.
void SetAppPathForTesting(const std::filesystem::path& hostFolder);

// The kind of a program file, from its PE header: Bits64 for a PE32+ image (x64, ARM64), Bits32
// for a PE32 image; nothing for a file that is not an image (type libraries, data files, a file
// that cannot be read), which goes where 32-bit programs look.
enum class ImageBits { Bits32, Bits64 };
std::optional<ImageBits> ProgramImageBits(const std::string& windowsPath);

// Registers a type library (a component that is no program image, such as a .tlb, which
// regsvr32 cannot load) under HKCR\TypeLib. On Windows in this process with LoadTypeLibEx: 0, or
// the failure's HRESULT. On Linux nothing reaches a Wine prefix's registrations from outside
// it: nothing is done and nothing returned, and the caller hands the file to the registrar.
std::optional<std::int32_t> RegisterTypeLibrary(const std::string& windowsPath);

// The folders where programs of one kind look for shared components, and the component
// registrar of that kind, as Windows paths. On 64-bit Windows a 32-bit program's "System32" is
// SysWOW64 and its common files folder is "CommonProgramFiles(x86)"; a 32-bit Windows has one
// view. On Linux a prefix is 64-bit when its Windows folder holds "syswow64", and the folders
// come from "windir", "CommonProgramFiles" and "CommonProgramFiles(x86)" as Environ() gives
// them, read anew on each call.
struct ProgramFolders {
    std::string system;       // "C:\windows\syswow64" for a 32-bit program on a 64-bit system
    std::string commonFiles;  // "C:\Program Files (x86)\Common Files" for the same
    std::string registrar;    // regsvr32 of that kind, by full path
};
ProgramFolders FoldersFor(ImageBits bits);

// Window styles of Shell().
constexpr int vbHide = 0;
constexpr int vbNormalFocus = 1;
constexpr int vbMinimizedFocus = 2;

// Starts a program from a command line without waiting and returns its process id.
// On Linux no shell takes part: the quoted first part is the program; unquoted, it is the longest
// part ended by a blank that names an existing file (as given or with ".exe"), as Windows reads a
// path with blanks, else the first word; the rest are its arguments split as Windows splits them.
// A Windows program (.exe, .com) or batch file (.bat, .cmd) runs through Wine where it is
// installed (a batch file through "cmd /c"), with the same WINEPREFIX; a program without a host
// file that Wine would find in its system folder (such as regsvr32) runs through Wine too. What
// the program prints goes to StartedProgramsLog(), never to our own output, and it is reaped when
// it ends.
// On Windows the system starts it (CreateProcessW) from the command line as it is given and reads
// that line itself (a batch file runs as Windows runs it); the window style goes to the program
// (vbHide also keeps a console program from opening a console), its output to the same log
// through inherited handles, and the process id is the system's; no other handle of ours is
// handed on.
// Throws VbError 53 when the program cannot be started.
double Shell(const std::string& commandLine, int windowStyle = vbMinimizedFocus);

// How a batch file is started: the program that runs it, the command line it gets and the
// folder it starts in (the batch file's own). On Windows the system's command interpreter by
// full path, as "<cmd.exe>" /d /s /c ""<batch file>"", so that a path with blanks stays whole;
// on Linux Wine's "cmd /c" with the batch file as one argument.
struct BatchLaunch {
    std::string program;
    std::string commandLine;
    std::string workingFolder;
};
BatchLaunch BatchLaunchFor(const std::string& batchPath);

// Starts a batch file as BatchLaunchFor() says, without waiting, and returns its process id;
// the rest as Shell(). Throws VbError 53 when it cannot be started.
double StartBatch(const std::string& batchPath, int windowStyle);

// Waits at most `timeout` for a program that Shell() started to end: its exit code (128 plus
// the signal's number when killed; on Windows the process's exit code), or nothing while it
// runs or when it is not ours. An exit code is handed out once.
std::optional<int> WaitForProgram(double pid, std::chrono::milliseconds timeout);

// Host path of the log that takes what started programs print: "instalador-programas.log" in
// the Temp folder. Throws VbError 76 when that folder's drive cannot be resolved.
std::filesystem::path StartedProgramsLog();

// The Wine loader that runs Windows programs here: "wine" or "wine64" on PATH, else Debian's
// /usr/lib/wine/wine64; "" when Wine is not installed, and always "" on Windows.
std::string WineLoader();

// Makes the Wine prefix ready before programs are started in it. When Wine is installed and
// has not set the prefix up yet (it holds no registry), `status` is told and "wineboot --init"
// runs without a display, so that no Wine window appears, waited for at most `timeout`. Returns
// "" when the installer can go on; else, when there is no drive C and no Wine to make one, a
// text that names the missing folder and says how to make it. On Windows there is nothing to
// prepare: always "", with nothing told.
std::string PrepareWinePrefix(const std::function<void(const std::string&)>& status,
                              std::chrono::seconds timeout = std::chrono::seconds(300));

// The text above for a missing drive C (also the description of the VbError 76 that a path on
// that drive raises). On Windows, where no path raises it, a plain text of a missing drive C.
std::string MissingDriveCText();

// A local file opened for raw bytes, closed when destroyed. Reads and writes go through a
// buffer of its own (64 KiB), so small chunks cost no system call each. Errors are VbError.
class BinaryFile {
  public:
    enum class Mode { Read, Write };  // Write creates the file when absent and does not cut it.
    BinaryFile(const std::string& windowsPath, Mode mode);
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    std::int64_t Length() const;
    // Reads up to n bytes at the current position; returns the count read.
    std::size_t Read(void* buffer, std::size_t n);
    void Write(const void* buffer, std::size_t n);
    // Cuts the file at the current position.
    void TruncateHere();
    void Close();

  private:
    void Flush();
    void Fail(int errorNumber) const;

    int fd_ = -1;  // on Windows the C runtime's descriptor over the system's file handle
    Mode mode_;
    std::unique_ptr<char[]> buffer_;
    std::size_t bufferStart_ = 0;  // Read: next unread byte in the buffer
    std::size_t bufferEnd_ = 0;    // Read: end of the bytes read ahead; Write: bytes pending
    std::int64_t filePos_ = 0;     // Write: file offset of the first pending byte
};

}  // namespace files
