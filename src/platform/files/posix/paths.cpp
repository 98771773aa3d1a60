// Windows paths on the host, environment variables and the program's own folder.
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/files/files.h"
#include "platform/files/internal.h"

extern char** environ;

namespace files {
namespace {

namespace fs = std::filesystem;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool Exists(const std::string& hostPath) {
    struct stat st;
    return ::lstat(hostPath.c_str(), &st) == 0;
}

// The entry of `folder` whose name equals `name` without regard to case: the exact name when it
// exists, else the first case-insensitive match in sorted order, else nothing.
std::optional<std::string> FindEntry(const std::string& folder, const std::string& name) {
    if (Exists(folder + "/" + name)) return name;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return std::nullopt;
    const std::string wanted = FoldCase(name);
    std::optional<std::string> best;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view candidate = entry->d_name;
        if (candidate == "." || candidate == "..") continue;
        if (FoldCase(candidate) != wanted) continue;
        if (!best || candidate < *best) best = std::string(candidate);
    }
    ::closedir(dir);
    return best;
}

std::vector<std::string> SplitComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Host folder of a drive letter, or nothing when the prefix does not know that drive.
std::optional<std::string> DriveRoot(char letter) {
    letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    const fs::path prefix = WinePrefix();
    const fs::path link = prefix / "dosdevices" / (std::string(1, letter) + ":");
    std::error_code ec;
    const fs::path target = fs::canonical(link, ec);
    if (!ec) return target.string();
    if (letter == 'c' && fs::is_directory(prefix / "drive_c", ec)) {
        return (prefix / "drive_c").string();
    }
    if (letter == 'z') return std::string("/");
    return std::nullopt;
}

// Walks `components` from `root`, matching each against the existing entries without regard to
// case; once one is missing the rest are taken as given.
std::string Resolve(std::string root, const std::vector<std::string>& components) {
    std::vector<std::string> resolved;
    bool exists = true;
    auto joined = [&] {
        std::string out = root;
        for (const auto& part : resolved) {
            if (out.empty() || out.back() != '/') out += '/';
            out += part;
        }
        return out;
    };
    // ".." is taken lexically; climbing back above a missing component may land on an
    // existing folder again, so the flag is recomputed there.
    for (const auto& part : components) {
        if (part == ".") continue;
        if (part == "..") {
            if (!resolved.empty()) resolved.pop_back();
            exists = Exists(joined());
            continue;
        }
        if (exists) {
            const std::string folder = joined();
            if (auto match = FindEntry(folder, part)) {
                resolved.push_back(*match);
                continue;
            }
            exists = false;
        }
        resolved.push_back(part);
    }
    return joined();
}

}  // namespace

fs::path WinePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
        return fs::path(prefix);
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        if (const passwd* pw = ::getpwuid(::geteuid())) home = pw->pw_dir;
    }
    return fs::path(home != nullptr ? home : "/") / ".wine";
}

fs::path ToHostPath(const std::string& windowsPath) {
    const std::string_view path = windowsPath;
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        const auto root = DriveRoot(path[0]);
        if (!root && (path[0] == 'c' || path[0] == 'C')) {
            throw VbError(vberr::PathNotFound, MissingDriveCText());
        }
        if (!root) throw vberr::Make(vberr::PathNotFound);
        return Resolve(*root, SplitComponents(path.substr(2)));
    }
    if (path.substr(0, 2) == "\\\\") {
        throw vberr::Make(vberr::PathNotFound);  // network paths have no host folder
    }
    if (!path.empty() && IsSeparator(path[0])) return Resolve("/", SplitComponents(path));
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return Resolve(ec ? std::string("/") : cwd.string(), SplitComponents(path));
}

std::string ToWindowsPath(const fs::path& hostPath) {
    std::error_code ec;
    const fs::path absolute = fs::weakly_canonical(fs::absolute(hostPath, ec), ec);
    const auto driveRoot = DriveRoot('c');
    const fs::path driveC = driveRoot ? fs::weakly_canonical(*driveRoot, ec) : fs::path();

    auto relativeUnder = [](const fs::path& path, const fs::path& base) -> std::optional<fs::path> {
        auto p = path.begin();
        for (auto b = base.begin(); b != base.end(); ++b, ++p) {
            if (b->empty()) continue;  // trailing separator of the base
            if (p == path.end() || *p != *b) return std::nullopt;
        }
        fs::path rest;
        for (; p != path.end(); ++p) {
            if (!p->empty()) rest /= *p;
        }
        return rest;
    };

    std::string drive = "Z:";
    fs::path rest;
    if (auto under = driveRoot ? relativeUnder(absolute, driveC) : std::nullopt) {
        drive = "C:";
        rest = *under;
    } else {
        rest = absolute.relative_path();
    }
    std::string out = drive + "\\";
    std::string tail = rest.string();
    std::replace(tail.begin(), tail.end(), '/', '\\');
    while (!tail.empty() && tail.back() == '\\') tail.pop_back();
    return out + tail;
}

std::string Environ(const std::string& name) {
    const std::string wanted = FoldCase(name);
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        const auto equals = text.find('=');
        if (equals == std::string_view::npos || equals == 0) continue;
        if (FoldCase(text.substr(0, equals)) == wanted) return std::string(text.substr(equals + 1));
    }
    return detail::DefaultEnvironment(wanted);
}

std::string UserName() {
    if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0') return user;
    if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) {
        return pw->pw_name;
    }
    return "user";
}

namespace detail {

fs::path RunningProgramFolder() {
    std::error_code ec;
    fs::path folder = fs::read_symlink("/proc/self/exe", ec).parent_path();
    if (ec) folder = fs::current_path(ec);
    return folder;
}

}  // namespace detail

}  // namespace files
