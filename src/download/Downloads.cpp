// The two transfers of the window: the product archive of the download step and the database
// package of the start phase.
#include <exception>
#include <string>

#include "install/Module2.h"
#include "platform/files/files.h"
#include "window/RunGuard.h"
#include "window/frmInstall.h"

namespace {

constexpr const char* kInstallFolder = "C:\\Quorimetra\\Install";
constexpr forms::Color kGrey = forms::RGB(192, 192, 192);
constexpr forms::Color kRed = forms::RGB(255, 0, 0);
constexpr forms::Color kGreen = forms::RGB(0, 255, 0);

// Removes what a failed transfer left at the local path, so that no later presence test takes
// a partial file for a complete one. Failures are ignored: the red status line follows anyway.
void RemovePartialFile(const std::string& localPath) {
    try {
        if (!files::Dir(localPath).empty()) files::Kill(localPath);
    } catch (const std::exception&) {
    }
}

void ShowStatus(forms::Label& line, forms::Color color, const std::string& text) {
    line.Visible = true;
    line.ForeColor = color;
    line.Caption = text;
}

}  // namespace

void frmInstall::cmdBaixar_Click() {
    // The button stays enabled while a transfer yields; a click then must not start a second one.
    if (downloadRunning) return;
    RunGuard running(downloadRunning);

    mArquivoRemoto = "/kelvoranx.zip";
    mCaminhoLocal = kInstallFolder;
    App().SetMousePointer(forms::MousePointer::Hourglass);

    const std::string server = txtServer.Text;
    const std::string user = txtUser.Text;
    const std::string password = txtPassword.Text;
    if (!mFTP->OpenConnection(server, user, password)) {
        ShowStatus(lblMensagem[1], kRed, "sem conexão, tente mais tarde");
        App().SetMousePointer(forms::MousePointer::Default);
        return;
    }

    mCaminhoLocal += "\\kelvoranX.zip";
    std::string result;
    if (!files::Dir(mCaminhoLocal).empty()) {
        result = "Arquivo copiado com sucesso!";
    } else if (mFTP->FTPDownloadFile(mCaminhoLocal, mArquivoRemoto)) {
        result = "Download efetuado com sucesso!";
    } else {
        // A transfer cut part-way leaves a partial archive that the next run would accept.
        RemovePartialFile(mCaminhoLocal);
        ShowStatus(lblMensagem[1], kRed, "conexão com o servidor foi interrompida.");
        lblTente.Visible = true;
        pbBar.Visible = false;
        App().SetMousePointer(forms::MousePointer::Default);
        return;
    }

    pbVal.BackColor = kGreen;
    ShowStatus(lblMensagem[1], kGrey, result);
    App().DoEvents();
    pbBar.Visible = false;
    pnCheck[1].Visible = true;
    cmdBaixar.Enabled = false;
    lblEtapa[2].Visible = true;
    cmdInstalar.Visible = true;
    App().SetMousePointer(forms::MousePointer::Default);
}

void frmInstall::CopiaArqIniciais() {
    // The package fetch is a transfer too: nothing may start another while it yields.
    if (downloadRunning) return;
    RunGuard running(downloadRunning);

    mArquivoRemoto = "mysql.zip";
    mCaminhoLocal = kInstallFolder;

    const std::string server = txtServer.Text;
    const std::string user = txtUser.Text;
    const std::string password = txtPassword.Text;
    if (!mFTP->OpenConnection(server, user, password)) {
        ShowStatus(lblMensagem[3], kRed, "sem conexão, tente mais tarde");
        lblTenteNovamente.Visible = true;
        App().SetMousePointer(forms::MousePointer::Default);
        return;
    }

    lblMensagem[3].Visible = true;
    if (!mFTP->FTPDownloadFile(mCaminhoLocal + "\\mysql.zip", mArquivoRemoto)) {
        // Same as for the product archive: leave no partial package behind.
        RemovePartialFile(mCaminhoLocal + "\\mysql.zip");
        lblMensagem[3].ForeColor = kRed;
        lblMensagem[3].Caption = "conexão com o servidor foi interrompida.";
        lblTenteNovamente.Visible = true;
        pbBarI.Visible = false;
        App().SetMousePointer(forms::MousePointer::Default);
        return;
    }

    pbValI.BackColor = kGreen;
    lblMensagem[3].ForeColor = kGrey;
    lblMensagem[3].Caption = "Download efetuado com sucesso!";
    App().DoEvents();
    pbBarI.Visible = false;
    App().DoEvents();
    // The extraction reports on the start panel itself; its outcome is not needed here.
    DescompactaArquivo(*this, mCaminhoLocal + "\\mysql.zip", kInstallFolder, true);
    App().SetMousePointer(forms::MousePointer::Default);
}
