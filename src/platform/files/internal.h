// Inside the files layer: the pieces that both platforms share (reading command lines, matching
// wildcards, the environment's defaults) and the few that each platform supplies to them.
#pragma once

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

}  // namespace files::detail
