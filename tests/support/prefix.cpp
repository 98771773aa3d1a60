#include "support/prefix.h"

#include <stdlib.h>

#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/files/files.h"

extern char** environ;

namespace testsupport {

namespace fs = std::filesystem;

// Under $TMPDIR or /tmp; not fs::temp_directory_path(), which also reads TEMP, a variable the
// tests set to Windows paths.
fs::path MakeTempFolder(const char* stem) {
    const char* tmpdir = ::getenv("TMPDIR");
    std::error_code ec;
    const fs::path base = tmpdir != nullptr && fs::is_directory(tmpdir, ec) ? tmpdir : "/tmp";
    std::string pattern = (base / (std::string(stem) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return fs::path(pattern);
}

namespace {

// The variables whose defaults the platform supplies; they are saved and unset while a prefix
// lives, whatever the case of their names.
std::vector<std::pair<std::string, std::string>> TakeDefaultedVariables() {
    std::vector<std::pair<std::string, std::string>> taken;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals == std::string::npos) continue;
        const std::string name = text.substr(0, equals);
        const std::string folded = files::FoldCase(name);
        if (folded == "windir" || folded == "commonprogramfiles" ||
            folded == "commonprogramfiles(x86)" || folded == "temp") {
            taken.emplace_back(name, text.substr(equals + 1));
        }
    }
    for (const auto& [name, value] : taken) ::unsetenv(name.c_str());
    return taken;
}

}  // namespace

TempPrefix::TempPrefix() {
    if (const char* old = ::getenv("WINEPREFIX")) {
        hadPrefix_ = true;
        oldPrefix_ = old;
    }
    root = MakeTempFolder("kv-prefix");
    appDir = MakeTempFolder("kv-app");
    ::setenv("WINEPREFIX", root.c_str(), 1);
    const std::string user = files::UserName();
    for (const fs::path& folder :
         {DriveC() / "windows" / "System32", DriveC() / "users" / user / "Temp",
          DriveC() / "users" / user / "Desktop", DriveC() / "Program Files" / "Common Files"}) {
        fs::create_directories(folder);
    }
    // The registrar that Wine keeps in a prefix's system folder.
    WriteFile(DriveC() / "windows" / "System32" / "regsvr32.exe", "MZ");
    savedVariables_ = TakeDefaultedVariables();
    files::SetAppPathForTesting(appDir);
}

TempPrefix::~TempPrefix() {
    files::SetAppPathForTesting({});
    if (hadPrefix_) {
        ::setenv("WINEPREFIX", oldPrefix_.c_str(), 1);
    } else {
        ::unsetenv("WINEPREFIX");
    }
    for (const auto& [name, value] : savedVariables_) ::setenv(name.c_str(), value.c_str(), 1);
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::remove_all(appDir, ec);
}

fs::path TempPrefix::DriveC() const { return root / "drive_c"; }

}  // namespace testsupport
