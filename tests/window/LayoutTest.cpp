// The window as it comes up: placement, footer, the start panel over the steps panel, the
// settings boxes, and clicks through hit testing.
#include <ctime>
#include <string>
#include <vector>

#include "support/window_harness.h"

namespace windowtest {
namespace {

using WindowLayout = WindowTest;

TEST_F(WindowLayout, PlacedCentredAndRaisedUsingOuterSizeUnclamped) {
    window.backend.SetScreen(1920 * 15, 1080 * 15);
    frmInstall& f = Load();
    const double outerHeight = 7590 + window.backend.FrameExtraHeight();
    EXPECT_DOUBLE_EQ(f.Left, (28800 - (16560 + window.backend.FrameExtraWidth())) / 2);
    // Floating point: an odd difference keeps its half twip.
    EXPECT_DOUBLE_EQ(f.Top, (16200 - outerHeight) / 2 - 500);

    // A screen smaller than the window puts it partly off screen.
    window.backend.SetScreen(800 * 15, 600 * 15);
    f.Form_Load();
    EXPECT_LT(f.Left, 0);
    EXPECT_DOUBLE_EQ(f.Top, (9000 - outerHeight) / 2 - 500);
    EXPECT_LT(f.Top, 0);
}

TEST_F(WindowLayout, FooterCarriesTheCurrentYear) {
    frmInstall& f = Load();
    const std::time_t now = std::time(nullptr);
    const std::tm local = *std::localtime(&now);
    const std::string year = std::to_string(local.tm_year + 1900);
    const std::string footer = f.lblRodape.Caption;
    EXPECT_EQ(footer.rfind("Instalador KELVORAN 10.0.X | " + year + " | ", 0), 0u) << footer;
    EXPECT_NE(footer.find('@'), std::string::npos) << "support address missing: " << footer;
}

TEST_F(WindowLayout, LoadLeavesTheStartingState) {
    frmInstall& f = Load();
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Hourglass);
    EXPECT_DOUBLE_EQ(f.pnInicio.Top, 1560);
    EXPECT_FALSE(f.pbBarI.Visible);
    EXPECT_EQ(f.Timer2.Interval, 5000);
    EXPECT_EQ(f.mCaminhoLocal, "C:\\Quorimetra\\Install");
    EXPECT_TRUE(fs::is_directory(prefix.DriveC() / "Quorimetra" / "Install"));
    ASSERT_NE(f.mFTP, nullptr);
    EXPECT_EQ(f.mFTP->TransferType(), FTP_TRANSFER_TYPE_BINARY);
    EXPECT_TRUE(f.lblEtapa[3].EffectivelyVisible());
    EXPECT_EQ(f.lblFechar.Caption.get(), "Cancelar");
    EXPECT_TRUE(window.backend.messages.empty());
}

TEST_F(WindowLayout, InstallFolderBlockedByAFileIsNotReported) {
    Write(prefix.DriveC() / "Quorimetra", "in the way");
    frmInstall& f = Load();
    EXPECT_TRUE(fs::is_regular_file(prefix.DriveC() / "Quorimetra"));
    EXPECT_TRUE(window.backend.messages.empty());
    EXPECT_EQ(f.Timer2.Interval, 5000);
}

// Every control of the steps panel, shown as the later steps show them.
std::vector<std::string> StepsPanelTargets() {
    return {"Picture2",   "Picture5",       "Picture6",       "pnCheck(0)",
            "pnCheck(1)", "pnCheck(2)",     "lblEtapa(1)",    "lblEtapa(2)",
            "cmdBaixar",  "lblBaixar",      "cmdInstalar",    "lblInstalar",
            "pbBar",      "lblMensagem(1)", "lblMensagem(2)", "lblTente"};
}

TEST_F(WindowLayout, StartPanelCoversEveryStepControl) {
    frmInstall& f = Load();
    for (const std::string& name : StepsPanelTargets()) f.FindControl(name)->Visible = true;
    for (const std::string& name : StepsPanelTargets()) {
        forms::Control* hit = nullptr;
        const std::string reached = window.backend.Click(f, name);
        if (!reached.empty()) hit = f.FindControl(reached);
        bool insideStartPanel = false;
        for (forms::Control* c = hit; c; c = c->Container()) {
            if (c == &f.pnInicio) insideStartPanel = true;
        }
        EXPECT_TRUE(insideStartPanel) << name << " reached " << reached;
    }
    // The retry link's handler would have written its waiting text.
    EXPECT_EQ(f.lblMensagem[1].Caption.get(), "Fazendo download de arquivos...");
}

TEST_F(WindowLayout, StepsPanelShowsOnlyItsMargin) {
    frmInstall& f = Load();
    // 120 twips at the top, 240 at the left, right and bottom; Picture1 starts at (0, 1440).
    EXPECT_EQ(window.backend.ClickAt(f, 239, 3000), "Picture1");
    EXPECT_EQ(window.backend.ClickAt(f, 240, 3000), "pnInicio");
    EXPECT_EQ(window.backend.ClickAt(f, 8000, 1559), "Picture1");
    EXPECT_EQ(window.backend.ClickAt(f, 8000, 1560), "pnInicio");
    EXPECT_EQ(window.backend.ClickAt(f, 16334, 3000), "pnInicio");
    EXPECT_EQ(window.backend.ClickAt(f, 16335, 3000), "Picture1");
    EXPECT_EQ(window.backend.ClickAt(f, 8000, 4694), "pnInicio");
    EXPECT_EQ(window.backend.ClickAt(f, 8000, 4695), "Picture1");
}

TEST_F(WindowLayout, DownloadCaptionForwardsOnlyWhileTheButtonIsEnabled) {
    frmInstall& f = LoadToDownloadStep();
    f.cmdBaixar.Enabled = false;
    EXPECT_EQ(window.backend.Click(f, "lblBaixar"), "");
    EXPECT_EQ(window.backend.ClickAt(f, f.cmdBaixar.Left + 10, 1440 + f.cmdBaixar.Top + 10), "");
    EXPECT_FALSE(f.lblMensagem[1].Visible);

    // Enabled, the caption that covers the button's middle runs the download attempt, which
    // fails at once without a server.
    f.cmdBaixar.Enabled = true;
    EXPECT_EQ(window.backend.Click(f, "cmdBaixar"), "lblBaixar");
    EXPECT_EQ(f.lblMensagem[1].ForeColor, kRed);
    EXPECT_EQ(f.lblMensagem[1].Caption.get(), "sem conexão, tente mais tarde");
}

TEST_F(WindowLayout, SettingsBoxesNeverTakeTheFocus) {
    frmInstall& f = LoadToDownloadStep();
    ASSERT_EQ(f.ActiveControl(), &f.cmdBaixar);
    for (forms::TextBox* box : {&f.txtServer, &f.txtUser, &f.txtPassword}) {
        box->SetFocus();
        EXPECT_NE(f.ActiveControl(), box) << box->Name;
        EXPECT_FALSE(box->EffectivelyVisible()) << box->Name;
        // Where the box would lie on screen, the click lands on something else or nowhere.
        const std::string reached =
            window.backend.ClickAt(f, 15960 + box->Left + 10, 120 + box->Top + 10);
        EXPECT_NE(reached, box->Name);
    }
}

}  // namespace
}  // namespace windowtest
