// The shortcut to an installed program on the current user's desktop.
#include <string>

#include "platform/shell/shell.h"
#include "window/frmInstall.h"

namespace {

// The program's folder, with its trailing "\"; "" for a bare file name.
std::string WorkingFolder(const std::string& programPath) {
    const auto slash = programPath.rfind('\\');
    if (slash == std::string::npos) return "";
    return programPath.substr(0, slash + 1);
}

}  // namespace

void frmInstall::CriaAtalhoDesktop(const std::string& pDescr, const std::string& pFullPathPgm,
                                   const std::string& pAtalhoKey,
                                   const std::string& pAtalhoParams) {
    const std::string workingFolder = WorkingFolder(pFullPathPgm);
    const shell::WshShell wsh;
    const std::string desktop = wsh.SpecialFolders("Desktop");
    auto shortcut = wsh.CreateShortcut(desktop + "\\" + pDescr + ".lnk");
    shortcut->TargetPath = pFullPathPgm;
    shortcut->HotKey = pAtalhoKey;
    shortcut->Arguments = pAtalhoParams;
    shortcut->WorkingDirectory = workingFolder;
    shortcut->Description = pDescr;
    shortcut->Save();
}
