// The two transfers of the window: the product archive of the download step and the database
// package of the start phase.
#include <exception>
#include <string>
#include <utility>

#include "install/Module2.h"
#include "platform/files/files.h"
#include "window/RunGuard.h"
#include "window/WindowTexts.h"
#include "window/frmInstall.h"

namespace {

using ui::kGreen;
using ui::kGrey;
using ui::kInstallFolder;
using ui::kRed;

// The local file of one transfer, removed when the transfer does not complete: a false result,
// a raised error (a full disk) or the end of the program part-way. A partial file would pass
// the next run's presence test as a complete archive.
class PartialFile {
  public:
    explicit PartialFile(std::string path) : path_(std::move(path)) {}
    ~PartialFile() {
        if (kept_) return;
        // Failures are ignored: the failure that got us here is reported anyway.
        try {
            if (!files::Dir(path_).empty()) files::Kill(path_);
        } catch (const std::exception&) {
        }
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    const std::string& path() const { return path_; }
    void Keep() { kept_ = true; }

  private:
    std::string path_;
    bool kept_ = false;
};

// Whether the client's last failure is a data connection that could not be made: the server
// said so (425), or the wait for it ran out (12002) or was refused (12029).
bool DataConnectionFailed(const cFTP& ftp) {
    const std::string message = ftp.GetLastErrorMessage();
    if (message.starts_with("425")) return true;
    for (const char* code : {" error code: 12002 ", " error code: 12029 "}) {
        if (message.find(code) != std::string::npos) return true;
    }
    return false;
}

void ShowStatus(forms::Label& line, forms::Color color, const std::string& text) {
    line.Visible = true;
    line.ForeColor = color;
    line.Caption = text;
}

}  // namespace

bool frmInstall::Download(const std::string& pLocal, const std::string& pRemoto) {
    PartialFile local(pLocal);
    bool done = mFTP->FTPDownloadFile(local.path(), pRemoto);
    // Active mode needs the server to connect back, which routers and firewalls often stop: a
    // data connection that cannot be made is tried once more in passive mode, which then stays.
    const bool active = (mFTP->ConnectFlags() & INTERNET_FLAG_PASSIVE) == 0;
    if (!done && active && DataConnectionFailed(*mFTP)) {
        if (LogLine) {
            std::string why = mFTP->GetLastErrorMessage();
            while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
            LogLine("Sem conexão de dados no modo ativo (" + why +
                    "): o instalador passa ao modo passivo");
        }
        mFTP->SetModePassive();
        const std::string server = txtServer.Text;
        const std::string user = txtUser.Text;
        const std::string password = txtPassword.Text;
        done = mFTP->OpenConnection(server, user, password) &&
               mFTP->FTPDownloadFile(local.path(), pRemoto);
    }
    if (done) local.Keep();
    return done;
}

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
        ShowStatus(lblMensagem[1], kRed, ui::kNoConnection);
        App().SetMousePointer(forms::MousePointer::Default);
        return;
    }

    mCaminhoLocal += "\\kelvoranX.zip";
    std::string result = "Arquivo copiado com sucesso!";
    if (files::Dir(mCaminhoLocal).empty()) {
        AnnounceDownload(server);
        const bool downloaded = Download(mCaminhoLocal, mArquivoRemoto);
        if (!downloaded || !ConfereDownload(mCaminhoLocal, mArquivoRemoto)) {
            ShowStatus(lblMensagem[1], kRed, downloaded ? ui::kNotVerified : ui::kInterrupted);
            lblTente.Visible = true;
            pbBar.Visible = false;
            App().SetMousePointer(forms::MousePointer::Default);
            return;
        }
        result = ui::kDownloaded;
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
        ShowStatus(lblMensagem[3], kRed, ui::kNoConnection);
        lblTenteNovamente.Visible = true;
        App().SetMousePointer(forms::MousePointer::Default);
        return;
    }

    AnnounceDownload(server);
    // A retry's line still holds the last failure: it must not come back before the transfer.
    lblMensagem[3].ForeColor = kGrey;
    lblMensagem[3].Caption = ui::kDownloading;
    lblMensagem[3].Visible = true;
    const std::string package = mCaminhoLocal + "\\mysql.zip";
    const bool downloaded = Download(package, mArquivoRemoto);
    if (!downloaded || !ConfereDownload(package, mArquivoRemoto)) {
        lblMensagem[3].ForeColor = kRed;
        lblMensagem[3].Caption = downloaded ? ui::kNotVerified : ui::kInterrupted;
        lblTenteNovamente.Visible = true;
        pbBarI.Visible = false;
        App().SetMousePointer(forms::MousePointer::Default);
        return;
    }

    pbValI.BackColor = kGreen;
    lblMensagem[3].ForeColor = kGrey;
    lblMensagem[3].Caption = ui::kDownloaded;
    App().DoEvents();
    pbBarI.Visible = false;
    App().DoEvents();
    // The extraction reports on the start panel itself; its outcome is not needed here.
    DescompactaArquivo(*this, package, kInstallFolder, true);
    App().SetMousePointer(forms::MousePointer::Default);
}

void frmInstall::AnnounceDownload(const std::string& server) {
    if (DownloadStarting) DownloadStarting(mArquivoRemoto, server);
}
