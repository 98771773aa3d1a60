// Inside the files layer: the pieces that both platforms share (reading command lines, matching
// wildcards, the environment's defaults) and the few that each platform supplies to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace files::detail {

// Splits the arguments after the program name as the C runtime of Windows does: blanks separate,
// double quotes group, 2n backslashes before a quote give n backslashes and a quote that groups,
// 2n+1 give n backslashes and a literal quote, "" inside quotes is a literal quote.
std::vector<std::string> SplitArguments(std::string_view text);

// The program part of a command line and the rest: the quoted first part; or, unquoted, the
// longest part ended by a blank (before any quote) that names an existing file (as given or with
// ".exe"), as Windows reads a path with blanks in it; else the first word.
std::pair<std::string, std::string_view> SplitProgram(std::string_view line);

// The extension of the last component, folded (".exe"), or "" when it has none.
std::string LowerExtension(const std::string& name);

// Whether a path holds * or ?.
bool HasWildcard(std::string_view name);

// Whether a name matches a folded pattern as on Windows: * any run, ? one character, and
// "name.*" also matches "name" without an extension ("*.*" is everything).
bool MatchesPattern(std::string_view name, const std::string& foldedPattern);

// A Windows path split into its folder (with its separator, or the drive "C:") and its last
// component.
std::pair<std::string, std::string> SplitLast(const std::string& path);

// The value Environ() gives a variable that the process does not set ("" for most).
std::string DefaultEnvironment(const std::string& foldedName);

// Host folder of the running program file. Each platform has its own.
std::filesystem::path RunningProgramFolder();

// The buffer of a BinaryFile, and of a copy that goes through one.
constexpr std::size_t kFileBufferSize = 64 * 1024;

// The raw calls under BinaryFile, each platform's own, on the descriptor that OpenRaw gives.
// OpenRaw throws 53 for a missing file, 76 for a missing folder and 75 for anything that is
// not a file that may be opened; a write creates the file when absent and does not cut it.
int OpenRaw(const std::string& windowsPath, bool forWriting);
// Reads what is there up to n bytes, 0 at the end; 57 when the read fails.
std::size_t ReadRaw(int fd, void* buffer, std::size_t n);
// Writes all n bytes at the current position; 61 when the disk is full, else 57.
void WriteRaw(int fd, const void* data, std::size_t n);
// The file's size on disk; 57 when it cannot be told.
std::int64_t RawSize(int fd);
// Cuts the file at `length` (and leaves the position there); 61/57 on failure.
void TruncateRaw(int fd, std::int64_t length);
// Closes the descriptor: 0, or the error number of a failure that lost written data.
int CloseRaw(int fd);

}  // namespace files::detail
