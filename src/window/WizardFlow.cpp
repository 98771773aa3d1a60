// The window's own flow: the load step, the start phase and its retry, the opening of the
// download step, the download retry, the label forwarding and the end of the program.
#include <exception>
#include <string>

#include "install/Module1.h"
#include "platform/files/files.h"
#include "platform/files/vb_error.h"
#include "platform/kernel/kernel.h"
#include "window/WindowTexts.h"
#include "window/frmInstall.h"

namespace {

using ui::kInstallFolder;
using ui::kRed;
constexpr const char* kFooterPrefix = "Instalador KELVORAN 10.0.X";
constexpr const char* kFooterTail = "Quorimetra Sistemas - suporte@quorimetra.com.br";

std::string CurrentYear() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return std::to_string(now.wYear);
}

}  // namespace

void frmInstall::Form_Load() {
    Left = (App().ScreenWidth() - Width) / 2;
    Top = (App().ScreenHeight() - Height) / 2 - 500;

    lblRodape.Caption = std::string(kFooterPrefix) + " | " + CurrentYear() + " | " + kFooterTail;

    mFTP = std::make_unique<cFTP>(cFTP::Host{[this] { App().DoEvents(); },
                                             [this](const std::string& s) { App().MsgBox(s); }});
    mFTP->FileTransferProgress = [this](std::int32_t& lCurrentBytes, std::int32_t& lTotalBytes) {
        mFTP_FileTransferProgress(lCurrentBytes, lTotalBytes);
    };
    mFTP->SetModeActive();
    mFTP->SetTransferBinary();

    pnInicio.Top = 1560;

    mCaminhoLocal = kInstallFolder;
    if (files::Dir(mCaminhoLocal, files::vbDirectory).empty()) CriaDiretorio(mCaminhoLocal);
    // At once, so that a folder made just now is not open to other users while the window
    // greets; the start phase checks again and reports what stands in the way.
    mPastaInstalacao.Secure(mCaminhoLocal);

    App().SetMousePointer(forms::MousePointer::Hourglass);
    pbBarI.Visible = false;
    Timer2.Interval = 5000;
}

void frmInstall::Form_Unload() {
    if (mFTP) mFTP->CloseConnection();
}

void frmInstall::Timer2_Timer() {
    Timer2.Interval = 0;

    // The start phase stops on the start panel, in red, where a file operation fails; with
    // offerRetry the user can run the phase again once the cause is gone.
    const auto startFailed = [this](const std::string& text, bool offerRetry) {
        lblMensagem[3].ForeColor = kRed;
        lblMensagem[3].Caption = text;
        lblMensagem[3].Visible = true;
        pbBarI.Visible = false;
        if (offerRetry) lblTenteNovamente.Visible = true;
        App().SetMousePointer(forms::MousePointer::Default);
    };

    const std::string install = kInstallFolder;
    // Nothing is taken from or started in a folder that another user could still change.
    const std::string unsafe = mPastaInstalacao.Secure(install);
    if (!unsafe.empty()) {
        startFailed(unsafe, true);
        return;
    }
    for (const char* name : {"mysql.bat", "mysql_conector.msi", "kelvoranX.zip"}) {
        const std::string leftover = install + "\\" + name;
        try {
            if (!files::Dir(leftover).empty()) files::Kill(leftover);
        } catch (const std::exception& e) {
            startFailed("Não foi possível excluir " + leftover + "\r" + vberr::Text(e), true);
            return;
        }
    }

    const std::string appPath = files::AppPath();
    const bool hasConnector = !files::Dir(appPath + "\\mysql_conector.msi").empty();
    const bool hasBatch = !files::Dir(appPath + "\\mysql.bat").empty();
    if (!hasConnector && !hasBatch) {
        // A failure the package download does not expect (a full disk) must not strand the
        // start panel: it ends the phase in red, with the retry.
        try {
            CopiaArqIniciais();
        } catch (const std::exception& e) {
            startFailed("Não foi possível baixar " + install + "\\mysql.zip\r" + vberr::Text(e),
                        true);
        }
        return;
    }

    const std::string localArchive = appPath + "\\kelvoranX.zip";
    const std::string copied = install + "\\kelvoranX.zip";
    bool hasArchive = false;
    try {
        hasArchive = !files::Dir(localArchive).empty();
        if (hasArchive) files::FileCopy(localArchive, copied);
    } catch (const std::exception& e) {
        startFailed("Não foi possível copiar " + localArchive + "\r" + vberr::Text(e), true);
        return;
    }
    // The copy is what the install step extracts, so the copy is what is checked; one that
    // fails goes before the batch file runs, and running the phase again would not change it.
    if (hasArchive && !VerificaAssinatura(copied, localArchive + ".sig")) {
        try {
            files::Kill(copied);
        } catch (const std::exception&) {
        }
        startFailed(ui::kNotVerified, false);
        return;
    }

    // Without a batch file that starts, the connector cannot be set up; running the phase again
    // would not change that, so only the close button is offered.
    if (!hasBatch) {
        startFailed("Erro ao instalar conector MySql!", false);
        return;
    }
    try {
        files::StartBatch(appPath + "\\mysql.bat", files::vbHide);
    } catch (const std::exception&) {
        startFailed("Erro ao instalar conector MySql!", false);
        return;
    }

    pnInicio.Visible = false;
    App().SetMousePointer(forms::MousePointer::Default);
    LiberaDownload();
}

void frmInstall::Timer3_Timer() {
    Timer3.Interval = 0;
    cmdBaixar_Click();
}

void frmInstall::LiberaDownload() {
    pnCheck[0].Visible = true;
    lblEtapa[1].Visible = true;
    cmdBaixar.Visible = true;
    cmdBaixar.SetFocus();
}

void frmInstall::lblTenteNovamente_Click() {
    App().SetMousePointer(forms::MousePointer::Hourglass);
    lblMensagem[3].Visible = false;
    lblTenteNovamente.Visible = false;
    Timer2.Interval = 3000;
}

void frmInstall::lblTente_Click() {
    lblMensagem[1].ForeColor = ui::kGrey;
    lblMensagem[1].Caption = "Aguarde...";
    App().SetMousePointer(forms::MousePointer::Hourglass);
    Timer3.Interval = 1000;
}

void frmInstall::cmdFechar_Click() { App().End(); }

void frmInstall::lblFechar_Click() { cmdFechar_Click(); }

void frmInstall::lblBaixar_Click() { cmdBaixar_Click(); }

void frmInstall::lblInstalar_Click() { cmdInstalar_Click(); }

forms::Label& frmInstall::CurrentStatusLine() {
    if (pnInicio.Visible) return lblMensagem[3];
    return cmdInstalar.Visible ? lblMensagem[2] : lblMensagem[1];
}
