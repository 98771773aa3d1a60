// The close button in the states of the window, and the download step's retry link.
#include <string>

#include "support/window_harness.h"

namespace windowtest {
namespace {

using Ending = WindowTest;

TEST_F(Ending, CloseButtonEndsDuringTheFirstSeconds) {
    Write(AppFile("mysql.bat"));
    Write(InstallFile("mysql.bat"), "leftover");
    frmInstall& f = Load();
    window.backend.Advance(1000);
    EXPECT_EQ(window.backend.Click(f, "cmdFechar"), "lblFechar");
    EXPECT_TRUE(window.backend.terminated);
    EXPECT_EQ(window.backend.exitCode, 0);
    // Nothing of the window runs afterwards: the start phase never comes.
    window.backend.Advance(10000);
    EXPECT_TRUE(fs::exists(InstallFile("mysql.bat")));
    EXPECT_TRUE(f.pnInicio.Visible);
    EXPECT_FALSE(WineStarted());
}

TEST_F(Ending, CloseButtonPictureBoxEndsInTheDownloadStep) {
    frmInstall& f = LoadToDownloadStep();
    ASSERT_TRUE(f.cmdBaixar.EffectivelyVisible());
    // Off the caption, on the picture box's own surface.
    EXPECT_EQ(window.backend.ClickAt(f, f.cmdFechar.Left + 20, f.cmdFechar.Top + 20), "cmdFechar");
    EXPECT_TRUE(window.backend.terminated);
    EXPECT_EQ(window.backend.Click(f, "lblBaixar"), "");
    EXPECT_FALSE(f.lblMensagem[1].Visible);
}

TEST_F(Ending, CloseButtonEndsAfterAStartFailure) {
    Write(AppFile("mysql_conector.msi"));
    frmInstall& f = Load();
    window.backend.Advance(5000);
    ASSERT_EQ(f.lblMensagem[3].ForeColor, kRed);
    EXPECT_EQ(window.backend.Click(f, "lblFechar"), "lblFechar");
    EXPECT_TRUE(window.backend.terminated);
}

TEST_F(Ending, TitleBarCloseUnloadsAndEnds) {
    frmInstall& f = Load();
    window.app.CloseForm(f);
    EXPECT_TRUE(window.backend.terminated);
    EXPECT_TRUE(window.backend.messages.empty());
    window.backend.Advance(10000);
    EXPECT_FALSE(f.lblMensagem[3].Visible);
}

using DownloadRetry = WindowTest;

TEST_F(DownloadRetry, WritesWaitingTextThenDownloadsOnceASecondLater) {
    frmInstall& f = LoadToDownloadStep();
    // A transfer failure leaves the red line and the link.
    f.lblMensagem[1].Visible = true;
    f.lblMensagem[1].ForeColor = kRed;
    f.lblMensagem[1].Caption = "conexão com o servidor foi interrompida.";
    f.lblTente.Visible = true;

    EXPECT_EQ(window.backend.Click(f, "lblTente"), "lblTente");
    EXPECT_EQ(f.lblMensagem[1].ForeColor, kGrey);
    EXPECT_EQ(f.lblMensagem[1].Caption.get(), "Aguarde...");
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Hourglass);
    EXPECT_TRUE(f.lblTente.Visible);

    window.backend.Advance(999);
    EXPECT_EQ(f.lblMensagem[1].Caption.get(), "Aguarde...");
    window.backend.Advance(1);
    // The download attempt ran: without a server it stops at the connection.
    EXPECT_EQ(f.lblMensagem[1].Caption.get(), "sem conexão, tente mais tarde");
    EXPECT_EQ(f.lblMensagem[1].ForeColor, kRed);
    EXPECT_EQ(f.Timer3.Interval, 0);

    f.lblMensagem[1].Caption = "marker";
    window.backend.Advance(10000);
    EXPECT_EQ(f.lblMensagem[1].Caption.get(), "marker");
}

}  // namespace
}  // namespace windowtest
