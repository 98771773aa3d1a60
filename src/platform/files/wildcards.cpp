// Wildcard patterns of the presence search and of deletion, matched as Windows matches them.
#include "platform/files/files.h"
#include "platform/files/internal.h"

namespace files::detail {
namespace {

// Windows-style match of a folded name against a folded pattern: * any run, ? one character.
bool Glob(std::string_view name, std::string_view pattern) {
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

bool HasWildcard(std::string_view name) {
    return name.find_first_of("*?") != std::string_view::npos;
}

bool MatchesPattern(std::string_view name, const std::string& foldedPattern) {
    const std::string folded = FoldCase(name);
    if (Glob(folded, foldedPattern)) return true;
    const std::string_view pattern = foldedPattern;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
        return Glob(folded, pattern.substr(0, pattern.size() - 2));
    }
    return false;
}

std::pair<std::string, std::string> SplitLast(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    if (cut != std::string::npos) return {path.substr(0, cut + 1), path.substr(cut + 1)};
    if (path.size() >= 2 && path[1] == ':') return {path.substr(0, 2), path.substr(2)};
    return {"", path};
}

}  // namespace files::detail
