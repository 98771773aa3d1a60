// The install step: the product archive extracted into the product folder, the shared
// components deployed, the desktop shortcut, and the window's finished state.
#include <exception>
#include <string>

#include "install/Module1.h"
#include "install/Module2.h"
#include "platform/files/files.h"
#include "platform/files/vb_error.h"
#include "platform/shell/shell.h"
#include "window/RunGuard.h"
#include "window/WindowTexts.h"
#include "window/frmInstall.h"

namespace {

using ui::kGrey;
using ui::kRed;

constexpr const char* kProgram = "C:\\Quorimetra\\Kelvoran\\kelvoranX.exe";

// The why of a failure, as the deployment's message box gives it: number and description.
std::string Reason(const std::exception& e) {
    if (const auto* vb = dynamic_cast<const VbError*>(&e))
        return std::to_string(vb->Number) + " - " + vb->Description;
    return e.what();
}

}  // namespace

void frmInstall::cmdInstalar_Click() {
    // The button stays enabled while the sequence yields; a click then must not start it again.
    if (installRunning) return;
    RunGuard running(installRunning);

    forms::Label& status = lblMensagem[2];
    status.ForeColor = kGrey;
    status.Visible = true;
    status.Caption = "Descompactando arquivos...";
    App().DoEvents();

    if (files::Dir("C:\\Quorimetra\\Kelvoran", files::vbDirectory).empty())
        CriaDiretorio("C:\\Quorimetra\\Kelvoran");

    const bool extracted = DescompactaArquivo(*this, "C:\\Quorimetra\\Install\\kelvoranx.zip",
                                              "C:\\Quorimetra\\Kelvoran\\", true);
    App().DoEvents();
    // A failed extraction keeps its own red report and the button, so the user can try again.
    if (!extracted) {
        cmdInstalar.Enabled = true;
        return;
    }
    // An archive without the program (an empty one, say) must not end with a shortcut to
    // nothing.
    if (!shell::FileSystemObject().FileExists(kProgram)) {
        status.ForeColor = kRed;
        status.Caption =
            std::string("Arquivo: ") + kProgram + "\r" + "Não encontrado ou está corrompido!";
        cmdInstalar.Enabled = true;
        return;
    }

    status.Caption = "Aguarde, registrando Dlls!";
    const bool deployed = RegistraDlls();
    App().DoEvents();
    // A failed deployment must not end as installed; a new click retries the missing components.
    if (!deployed) {
        status.ForeColor = kRed;
        status.Caption =
            "Ocorreu um erro ao preparar a instalação. Tente executar este aplicativo novamente";
        cmdInstalar.Enabled = true;
        return;
    }

    pnCheck[2].Visible = true;
    try {
        CriaAtalhoDesktop("kelvoran X", kProgram, "", "");
    } catch (const std::exception& e) {
        pnCheck[2].Visible = false;
        status.ForeColor = kRed;
        status.Caption = "Erro ao criar o atalho na área de trabalho!";
        cmdInstalar.Enabled = true;
        App().MsgBox("Não foi possível criar o atalho na área de trabalho: " + Reason(e));
        return;
    }
    status.ForeColor = kGrey;
    status.Caption = "Programa instalado com sucesso!";
    cmdInstalar.Enabled = false;
    lblFechar.Caption = "Encerrar";
    installed = true;
}
