// Command lines read as Windows reads them: the program part, then the arguments.
#include <algorithm>
#include <optional>

#include "platform/files/files.h"
#include "platform/files/internal.h"

namespace files::detail {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The Windows program path as given or, without an extension, with ".exe", whichever names an
// existing file.
std::optional<std::string> ProgramFile(const std::string& windowsPath) {
    if (windowsPath.find_first_of("\\/:") == std::string::npos) return std::nullopt;
    std::vector<std::string> candidates{windowsPath};
    if (LowerExtension(windowsPath).empty()) candidates.push_back(windowsPath + ".exe");
    for (const std::string& candidate : candidates) {
        try {
            std::error_code ec;
            if (std::filesystem::is_regular_file(ToHostPath(candidate), ec)) return candidate;
        } catch (const VbError&) {
            return std::nullopt;  // a drive that cannot be resolved
        }
    }
    return std::nullopt;
}

}  // namespace

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

std::string LowerExtension(const std::string& name) {
    const auto dot = name.find_last_of('.');
    const auto slash = name.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return FoldCase(name.substr(dot));
}

std::pair<std::string, std::string_view> SplitProgram(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i < line.size() && line[i] == '"') {
        const auto close = line.find('"', i + 1);
        const auto end = close == std::string_view::npos ? line.size() : close;
        const auto next = close == std::string_view::npos ? line.size() : close + 1;
        return {std::string(line.substr(i + 1, end - i - 1)), line.substr(next)};
    }
    // Backslashes are plain characters in the program part.
    const std::size_t start = i;
    std::size_t firstEnd = start;
    while (firstEnd < line.size() && !IsBlank(line[firstEnd])) ++firstEnd;
    const std::size_t quote = std::min(line.find('"', start), line.size());
    for (std::size_t end = quote; end > firstEnd; --end) {
        if (end < line.size() && !IsBlank(line[end])) continue;
        if (IsBlank(line[end - 1])) continue;
        const std::string candidate(line.substr(start, end - start));
        if (auto program = ProgramFile(candidate)) return {*program, line.substr(end)};
    }
    return {std::string(line.substr(start, firstEnd - start)), line.substr(firstEnd)};
}

}  // namespace files::detail
