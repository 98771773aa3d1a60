// A throwaway Wine-style prefix for a test: WINEPREFIX points at a fresh temporary folder with
// drive_c/windows/System32 (with a regsvr32.exe), drive_c/users/<user>/{Temp,Desktop} and
// drive_c/Program Files/Common Files; "windir", "CommonProgramFiles" and "Temp" are left unset so
// the defaults apply; the installer's own folder is a fresh host folder (AppPath). Everything
// is removed and the environment restored when the object goes away.
// On Windows (support/windows/prefix.cpp) drive C is the system's own: root is a fresh temporary
// folder that "TEMP" points at, the installer's own folder is under it, and the installer's
// folders on drive C (C:\Quorimetra) are cleared before and after.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testsupport {

// A fresh empty folder "<stem>-XXXXXX" under $TMPDIR or /tmp.
std::filesystem::path MakeTempFolder(const char* stem);

class TempPrefix {
  public:
    TempPrefix();
    ~TempPrefix();
    TempPrefix(const TempPrefix&) = delete;
    TempPrefix& operator=(const TempPrefix&) = delete;

    std::filesystem::path root;    // the prefix ($WINEPREFIX)
    std::filesystem::path appDir;  // the installer's own folder on the host

    std::filesystem::path DriveC() const;
    // Host path of a Windows path in this prefix.
    std::filesystem::path Host(const std::string& windowsPath) const;
    // Writes a file (creating its folders).
    static void WriteFile(const std::filesystem::path& path, std::string_view content);
    static std::string ReadFile(const std::filesystem::path& path);

  private:
    std::string oldPrefix_;
    bool hadPrefix_ = false;
    std::vector<std::pair<std::string, std::string>> savedVariables_;  // unset while we live
};

}  // namespace testsupport
