// Deployment of the shared components: each one missing from its system folder is copied there
// from the Dlls folder beside the installer and, unless it is a data file, handed to regsvr32.
#include <array>
#include <exception>
#include <filesystem>
#include <string>

#include "platform/files/files.h"
#include "platform/files/vb_error.h"
#include "window/frmInstall.h"

namespace {

struct Component {
    const char* source;       // under the installer's folder
    const char* root;         // environment variable of the destination's root
    const char* destination;  // under that root
    bool registered;
};

constexpr std::array<Component, 26> kComponents{{
    {"\\Dlls\\WinSysPath\\COMDLG32.OCX", "windir", "\\System32\\COMDLG32.OCX", true},
    {"\\Dlls\\WinSysPath\\htsecurit.ocx", "windir", "\\System32\\htsecurit.ocx", true},
    {"\\Dlls\\WinSysPath\\msado26.tlb", "windir", "\\System32\\msado26.tlb", true},
    {"\\Dlls\\WinSysPath\\mscomct2.ocx", "windir", "\\System32\\mscomct2.ocx", true},
    {"\\Dlls\\WinSysPath\\MSCOMCTL.OCX", "windir", "\\System32\\MSCOMCTL.OCX", true},
    {"\\Dlls\\WinSysPath\\MSDBRPT.DLL", "windir", "\\System32\\MSDBRPT.DLL", true},
    {"\\Dlls\\WinSysPath\\MSDBRPT.SRG", "windir", "\\System32\\MSDBRPT.SRG", false},
    {"\\Dlls\\WinSysPath\\MSDBRPTR.DEP", "windir", "\\System32\\MSDBRPTR.DEP", false},
    {"\\Dlls\\WinSysPath\\MSDBRPTR.DLL", "windir", "\\System32\\MSDBRPTR.DLL", true},
    {"\\Dlls\\WinSysPath\\MSFLXGRD.OCX", "windir", "\\System32\\MSFLXGRD.OCX", true},
    {"\\Dlls\\WinSysPath\\MSMASK32.OCX", "windir", "\\System32\\MSMASK32.OCX", true},
    {"\\Dlls\\WinSysPath\\MSO.DLL", "windir", "\\System32\\MSO.DLL", true},
    {"\\Dlls\\WinSysPath\\MSPPT.OLB", "windir", "\\System32\\MSPPT.OLB", true},
    {"\\Dlls\\WinSysPath\\msstdfmt.dll", "windir", "\\System32\\msstdfmt.dll", true},
    {"\\Dlls\\WinSysPath\\RICHED32.DLL", "windir", "\\System32\\RICHED32.DLL", true},
    {"\\Dlls\\WinSysPath\\RICHTX32.OCX", "windir", "\\System32\\RICHTX32.OCX", true},
    {"\\Dlls\\WinSysPath\\TABCTL32.OCX", "windir", "\\System32\\TABCTL32.OCX", true},
    {"\\Dlls\\WinSysPath\\THREED32.OCX", "windir", "\\System32\\THREED32.OCX", true},
    {"\\Dlls\\WinSysPath\\VB5DB.DLL", "windir", "\\System32\\VB5DB.DLL", true},
    {"\\Dlls\\WinSysPathSysFile\\MSJET35.DLL", "windir", "\\MSJET35.DLL", true},
    {"\\Dlls\\WinSysPathSysFile\\MSJINT35.DLL", "windir", "\\MSJINT35.DLL", true},
    {"\\Dlls\\WinSysPathSysFile\\MSJTER35.DLL", "windir", "\\MSJTER35.DLL", true},
    {"\\Dlls\\WinSysPathSysFile\\MSRD2X35.DLL", "windir", "\\MSRD2X35.DLL", true},
    {"\\Dlls\\WinSysPathSysFile\\msvbvm60.DLL", "windir", "\\msvbvm60.DLL", true},
    {"\\Dlls\\WinSysPathSysFile\\VB6STKIT.DLL", "windir", "\\VB6STKIT.DLL", true},
    {"\\Dlls\\MSDAOPath\\DAO350.DLL", "CommonProgramFiles", "\\microsoft shared\\DAO\\DAO350.DLL",
     true},
}};

}  // namespace

bool frmInstall::RegistraDlls() {
    std::string source;
    try {
        const std::string appFolder = files::AppPath();
        for (const Component& row : kComponents) {
            source = appFolder + row.source;
            const std::string destination = files::Environ(row.root) + row.destination;
            if (!files::Dir(destination).empty()) continue;
            files::FileCopy(source, destination);
            if (row.registered)
                files::Shell("regsvr32 /s \"" + destination + "\"", files::vbMinimizedFocus);
        }
        return true;
    } catch (const std::exception& e) {
        const VbError error = vberr::From(e);
        if (error.Number == vberr::FileNotFound) {
            App().MsgBox("Ocorreu um erro na instalação, arquivo não encontrado: " + source);
        } else {
            App().MsgBox("Ocorreu um erro na instalação: " + std::to_string(error.Number) + " - " +
                         error.Description);
        }
    }
    return false;
}
