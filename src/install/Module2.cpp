// Extraction of a zip archive through the shell's zip folders. While the start panel is up the
// archive is the database package: its connector set-up is started and the start phase ends.
#include "install/Module2.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/files/files.h"
#include "platform/files/vb_error.h"
#include "platform/shell/shell.h"
#include "window/WindowTexts.h"
#include "window/frmInstall.h"

namespace {

constexpr const char* kConnectorBatch = "C:\\Quorimetra\\Install\\mysql.bat";
constexpr const char* kConnectorPackage = "C:\\Quorimetra\\Install\\mysql_conector.msi";
using ui::kGrey;
using ui::kRed;

// The runtime's error for a member used on an object that was never obtained.

// The status line of the phase under way: the start panel's while it is visible, else the
// install step's.
forms::Label& CurrentStatusLine(frmInstall& form) {
    return form.pnInicio.Visible ? form.lblMensagem[3] : form.lblMensagem[2];
}

// A failure in red on the current status line, shown even where the line was still hidden.
void ReportFailure(frmInstall& form, const std::string& text) {
    forms::Label& line = CurrentStatusLine(form);
    if (!line.Visible) line.Visible = true;
    line.ForeColor = kRed;
    line.Caption = text;
}

std::string InFolder(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + name;
    return folder + "\\" + name;
}

// A name with wildcard characters cannot be a Windows file name; deleting by it would take
// other files along.
bool HasWildcards(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

std::unique_ptr<shell::Folder> OpenFolder(const shell::ShellApplication& app,
                                          const std::string& path) {
    auto folder = app.NameSpace(path);
    if (!folder) throw vberr::Make(vberr::ObjectNotSet);
    return folder;
}

// Everything up to and including the copy; any failure here ends the call on the error road.
// Returns false when the archive file is missing (already reported).
bool Extract(frmInstall& form, const std::string& pArquivo, const std::string& pDestino,
             bool pSobrescrever) {
    const shell::FileSystemObject fso;
    if (!fso.folderexists(pDestino)) throw VbError(vberr::FileNotFound, "Folder not found");
    const std::string& destino = pDestino;

    if (!fso.FileExists(pArquivo)) {
        ReportFailure(form, "Arquivo: " + pArquivo + "\r" + "Não encontrado ou está corrompido!");
        return false;
    }

    const shell::ShellApplication app;
    auto archive = OpenFolder(app, pArquivo);
    const shell::FolderItems items = archive->Items();
    auto target = OpenFolder(app, destino);
    // The whole archive is checked before anything is deleted for it: a refused archive leaves
    // the target folder as it was.
    target->CheckCopy(items);
    if (pSobrescrever) {
        // Only the archive's top level: clashes inside sub-folders are the copy's to replace.
        for (const shell::FolderItem& item : items) {
            if (HasWildcards(item.Name)) continue;
            const std::string existing = InFolder(destino, item.Name);
            if (fso.FileExists(existing)) files::Kill(existing);
        }
    }
    target->CopyHere(items);
    archive.reset();
    return true;
}

template <class Step>
void IgnoringFailure(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

bool ConnectorFilesPresent() {
    try {
        return !files::Dir(kConnectorBatch).empty() && !files::Dir(kConnectorPackage).empty();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

bool DescompactaArquivo(frmInstall& form, const std::string& pArquivo, const std::string& pDestino,
                        bool pSobrescrever) {
    try {
        if (!Extract(form, pArquivo, pDestino, pSobrescrever)) return false;
    } catch (const std::exception& e) {
        ReportFailure(form, vberr::Text(e));
        return false;
    }

    // From here on a failing step is passed over: the files are already in place.
    IgnoringFailure([] { files::Kill(files::Environ("Temp") + "\\Temporary Directory*"); });

    if (!form.pnInicio.Visible) {
        IgnoringFailure([&] {
            form.lblMensagem[2].ForeColor = kGrey;
            form.lblMensagem[2].Caption = "Arquivos extraídos com sucesso!";
        });
        IgnoringFailure([&] { form.cmdInstalar.Enabled = false; });
        return true;
    }

    if (!ConnectorFilesPresent()) {
        IgnoringFailure([&] {
            form.lblMensagem[3].ForeColor = kRed;
            form.lblMensagem[3].Caption = "Erro ao instalar conector MySql!";
        });
        return false;
    }
    IgnoringFailure([] { files::StartBatch(kConnectorBatch, files::vbHide); });
    IgnoringFailure([&] { files::Kill(pArquivo); });
    IgnoringFailure([&] { form.App().DoEvents(); });
    IgnoringFailure([&] { form.pnInicio.Visible = false; });
    IgnoringFailure([&] { form.LiberaDownload(); });
    return true;
}
