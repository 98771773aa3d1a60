// The installer's one window: its controls in their design-time state, the load step, the start
// phase, the retry links, the label forwarding and the end of the program. The operations that
// belong to the download and install stages are members defined in src/download and
// src/install.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ftp/cFTP.h"
#include "platform/forms/forms.h"
#include "platform/security/security.h"

class frmInstall : public forms::Form {
  public:
    explicit frmInstall(forms::Application& app);
    ~frmInstall() override;

    // Top level, front first.
    forms::Timer Timer3{this, "Timer3"};
    forms::Timer Timer2{this, "Timer2"};
    forms::PictureBox pnInicio{this, "pnInicio"};
    forms::PictureBox Picture7{this, "Picture7"};
    forms::PictureBox cmdFechar{this, "cmdFechar"};
    forms::PictureBox Picture4{this, "Picture4"};
    forms::PictureBox Picture8{this, "Picture8"};
    forms::PictureBox Picture1{this, "Picture1"};
    forms::Label lblInicio{this, "lblInicio"};

    // Start panel.
    forms::PictureBox pbBarI{&pnInicio, "pbBarI"};
    forms::PictureBox pbValI{&pbBarI, "pbValI"};
    forms::Label lblTenteNovamente{&pnInicio, "lblTenteNovamente"};

    // Footer strip, close button, settings boxes.
    forms::Label lblRodape{&Picture7, "lblRodape"};
    forms::Label lblFechar{&cmdFechar, "lblFechar"};
    forms::TextBox txtServer{&Picture4, "txtServer"};
    forms::TextBox txtUser{&Picture4, "txtUser"};
    forms::TextBox txtPassword{&Picture4, "txtPassword"};

    // Steps panel.
    forms::PictureBox Picture2{&Picture1, "Picture2"};
    forms::PictureBox Picture5{&Picture1, "Picture5"};
    forms::PictureBox Picture6{&Picture1, "Picture6"};
    forms::Line Line1{&Picture1, "Line1"};
    forms::PictureBox cmdBaixar{&Picture1, "cmdBaixar"};
    forms::PictureBox cmdInstalar{&Picture1, "cmdInstalar"};
    forms::PictureBox pbBar{&Picture1, "pbBar"};
    forms::PictureBox pbVal{&pbBar, "pbVal"};
    forms::Label lblTente{&Picture1, "lblTente"};
    forms::Label Label6{&Picture2, "Label6"};
    forms::Label Label7{&Picture5, "Label7"};
    forms::Label Label10{&Picture6, "Label10"};
    forms::Label lblBaixar{&cmdBaixar, "lblBaixar"};
    forms::Label lblInstalar{&cmdInstalar, "lblInstalar"};

    // Control arrays: 1 download step, 2 install step, 3 start panel; pnCheck 0..2 by step.
    forms::ControlArray<forms::Label> lblEtapa{"lblEtapa"};
    forms::ControlArray<forms::Label> lblMensagem{"lblMensagem"};
    forms::ControlArray<forms::PictureBox> pnCheck{"pnCheck"};

    // Window-level variables.
    std::unique_ptr<cFTP> mFTP;
    std::string mCaminhoLocal;
    std::string mArquivoRemoto;
    // The PEM public key that archives' signatures are checked against; empty, unchecked. The
    // build's key unless a test puts its own.
    std::string mChavePublica;
    // The install folder, kept out of other users' reach while the program runs: what is put
    // there runs with administrator's rights.
    security::AdminFolder mPastaInstalacao;

    // Window operations (src/window).
    void Form_Load();
    void Form_Unload();
    void Timer2_Timer();
    void Timer3_Timer();
    void lblTenteNovamente_Click();
    void lblTente_Click();
    void cmdFechar_Click();
    void lblFechar_Click();
    void lblBaixar_Click();
    void lblInstalar_Click();
    void LiberaDownload();

    // Download stage (src/download).
    void cmdBaixar_Click();
    void CopiaArqIniciais();
    void AnnounceDownload(const std::string& server);
    void mFTP_FileTransferProgress(std::int32_t& lCurrentBytes, std::int32_t& lTotalBytes);
    // Downloads into the local path, keeping the file only when the whole of it arrived; in
    // active mode a data connection that cannot be made is tried again in passive mode.
    bool Download(const std::string& pLocal, const std::string& pRemoto);
    // Whether the file matches its signature file under mChavePublica; the log says which file
    // was checked, with its SHA-256 or the reason it failed.
    bool VerificaAssinatura(const std::string& pArquivo, const std::string& pAssinatura);
    // Fetches the signature published beside the remote file and checks the downloaded copy
    // against it; a copy that fails is removed.
    bool ConfereDownload(const std::string& pLocal, const std::string& pRemoto);

    // Install stage (src/install).
    void cmdInstalar_Click();
    // True when every component is in place.
    bool RegistraDlls();
    void CriaAtalhoDesktop(const std::string& pDescr, const std::string& pFullPathPgm,
                           const std::string& pAtalhoKey, const std::string& pAtalhoParams);

    // Told before each transfer which remote file is fetched from which server; the unattended
    // log names them.
    std::function<void(const std::string& sRemote, const std::string& sServer)> DownloadStarting;
    // Told what the log records beside the status lines: the files checked and how, each
    // component copied and each registration's result.
    std::function<void(const std::string& sText)> LogLine;

    // Set while a download run or the install sequence is under way: a run that starts while
    // another is in progress does nothing.
    bool downloadRunning = false;
    bool installRunning = false;
    // Set by the install sequence once the product is in place, its shortcut included: what an
    // unattended run reports, whatever the status lines say.
    bool installed = false;

    // The status line of the step under way: the start panel's while it is up, the install
    // step's once its button shows, else the download step's.
    forms::Label& CurrentStatusLine();

  private:
    void SetDesignTimeState();
};
