// Deployment of the shared components: each one missing from its system folder is copied there
// from the Dlls folder beside the installer and, unless it is a data file, registered. Each goes
// where programs of its own kind look (its PE header tells 32 from 64 bits) and is registered by
// the regsvr32 of that kind, by full path, waited for and its exit code read.
#include <array>
#include <chrono>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "install/Module1.h"
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

// How long one registration may take before it counts as failed: a first start of the
// registrar can be slow (a cold Wine prefix), a hung one must not hold the install for ever.
constexpr auto kRegistrationBound = std::chrono::seconds(120);
// Windows' own number for a wait that ran out.
constexpr int kTimedOut = 1460;

// A component that was not registered: the number and the text of the message box.
struct RegistrationFailure {
    int number;
    std::string text;
};

// The destination of a row as a program of the component's kind sees it: "System32" and the
// common files folder of that kind; the Windows folder itself is the same for both kinds.
std::string Destination(const Component& row, const files::ProgramFolders& folders) {
    constexpr std::string_view kSystem = "\\System32\\";
    const std::string_view rest = row.destination;
    if (std::string_view(row.root) == "CommonProgramFiles")
        return folders.commonFiles + row.destination;
    if (rest.starts_with(kSystem))
        return folders.system + "\\" + std::string(rest.substr(kSystem.size()));
    return files::Environ(row.root) + row.destination;
}

// The registrar's exit codes, as regsvr32 documents them.
std::string ExitReason(int code) {
    switch (code) {
        case 1:
            return "argumentos inválidos";
        case 2:
            return "o OLE não pôde ser iniciado";
        case 3:
            return "o arquivo não pôde ser carregado";
        case 4:
            return "o arquivo não tem a função de registro";
        case 5:
            return "a função de registro falhou";
        default:
            return "o registrador terminou com o código " + std::to_string(code);
    }
}

// Registers one component with the registrar of its kind and reads the result.
void Register(const std::string& registrar, const std::string& destination) {
    double pid = 0;
    try {
        pid = files::Shell("\"" + registrar + "\" /s \"" + destination + "\"",
                           files::vbMinimizedFocus);
    } catch (const VbError& e) {
        throw RegistrationFailure{
            e.Number,
            "O registrador " + registrar + " não pôde ser iniciado para registrar " + destination};
    }
    const std::optional<int> code = files::WaitForProgram(pid, kRegistrationBound);
    if (!code) {
        throw RegistrationFailure{kTimedOut, "O registrador " + registrar + " não terminou em " +
                                                 std::to_string(kRegistrationBound.count()) +
                                                 " s ao registrar " + destination};
    }
    if (*code != 0) {
        throw RegistrationFailure{*code, destination + " não foi registrado: " + ExitReason(*code)};
    }
}

// Registers a copied component: a type library (no program image) in this process where the
// system allows it, anything else by the registrar of its kind. Returns the line the log keeps.
std::string RegisterComponent(bool image, const files::ProgramFolders& folders,
                              const std::string& destination) {
    if (!image) {
        if (const auto result = files::RegisterTypeLibrary(destination)) {
            if (*result == 0) return "Biblioteca de tipos " + destination + " registrada";
            throw RegistrationFailure{
                *result, "A biblioteca de tipos " + destination + " não pôde ser registrada"};
        }
    }
    Register(folders.registrar, destination);
    return folders.registrar + " registrou " + destination + " (código 0)";
}

}  // namespace

bool frmInstall::RegistraDlls() {
    std::string source;
    try {
        const std::string appFolder = files::AppPath();
        for (const Component& row : kComponents) {
            source = appFolder + row.source;
            const std::optional<files::ImageBits> image = files::ProgramImageBits(source);
            const files::ProgramFolders folders =
                files::FoldersFor(image.value_or(files::ImageBits::Bits32));
            const std::string destination = Destination(row, folders);
            if (!files::Dir(destination).empty()) continue;
            // A fresh system may lack a component's folder (the database engine's shared one).
            CriaDiretorio(destination.substr(0, destination.find_last_of('\\')));
            files::FileCopy(source, destination);
            if (LogLine) LogLine("Copiado " + source + " para " + destination);
            if (!row.registered) continue;
            const std::string registered =
                RegisterComponent(image.has_value(), folders, destination);
            if (LogLine) LogLine(registered);
        }
        return true;
    } catch (const RegistrationFailure& failure) {
        App().MsgBox("Ocorreu um erro na instalação: " + std::to_string(failure.number) + " - " +
                     failure.text);
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
