// The install step: the product archive extracted into the product folder, the shared
// components deployed, the desktop shortcut, and the window's finished state.
#include <string>

#include "install/Module1.h"
#include "install/Module2.h"
#include "platform/files/files.h"
#include "window/RunGuard.h"
#include "window/WindowTexts.h"
#include "window/frmInstall.h"

namespace {

using ui::kGrey;
using ui::kRed;

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
    CriaAtalhoDesktop("kelvoran X", "C:\\Quorimetra\\Kelvoran\\kelvoranX.exe", "", "");
    status.ForeColor = kGrey;
    status.Caption = "Programa instalado com sucesso!";
    cmdInstalar.Enabled = false;
    lblFechar.Caption = "Encerrar";
    installed = true;
}
