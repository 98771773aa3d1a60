// The start phase: its delay, the leftovers of an earlier run, the local road, its failures and
// the start panel's retry link.
#include <unistd.h>

#include <string>

#include "platform/files/files.h"
#include "platform/security/security.h"
#include "support/signing.h"
#include "support/unprivileged.h"
#include "support/window_harness.h"

namespace windowtest {
namespace {

using StartPhase = WindowTest;

TEST_F(StartPhase, RunsFiveSecondsAfterLoadAndNotBefore) {
    Write(AppFile("mysql.bat"));
    Write(InstallFile("mysql.bat"), "old");
    frmInstall& f = Load();
    window.backend.Advance(4999);
    EXPECT_TRUE(fs::exists(InstallFile("mysql.bat")));
    EXPECT_TRUE(f.pnInicio.Visible);
    window.backend.Advance(1);
    EXPECT_FALSE(fs::exists(InstallFile("mysql.bat")));
    EXPECT_FALSE(f.pnInicio.Visible);
    EXPECT_EQ(f.Timer2.Interval, 0);
}

TEST_F(StartPhase, DeletesLeftoversWhateverTheirCase) {
    Write(AppFile("mysql.bat"));
    Write(InstallFile("MYSQL.BAT"));
    Write(InstallFile("Mysql_Conector.MSI"));
    Write(InstallFile("KELVORANX.zip"));
    Write(InstallFile("keep.txt"));
    Load();
    window.backend.Advance(5000);
    EXPECT_FALSE(fs::exists(InstallFile("MYSQL.BAT")));
    EXPECT_FALSE(fs::exists(InstallFile("Mysql_Conector.MSI")));
    EXPECT_FALSE(fs::exists(InstallFile("KELVORANX.zip")));
    EXPECT_TRUE(fs::exists(InstallFile("keep.txt")));
}

TEST_F(StartPhase, LocalRoadWithBatchOnlyStartsItHiddenAndCopiesNothing) {
    Write(AppFile("mysql.bat"), "@echo off\r\n");
    frmInstall& f = Load();
    window.backend.Advance(5000);

    const std::string arguments = WineArguments();
    EXPECT_EQ(arguments, "cmd\n/c\n" + files::AppPath() + "\\mysql.bat\n");
    // It starts in its own folder, where the names it gives are found.
    EXPECT_EQ(wine.Latest("cwd"), std::vector<std::string>{prefix.appDir.string()});
    // Hidden: what it prints goes to the log of started programs, not to ours.
    EXPECT_EQ(WineOutput(), files::StartedProgramsLog().string() + "\n");
    EXPECT_FALSE(fs::exists(InstallFile("kelvoranX.zip")));

    EXPECT_FALSE(f.pnInicio.Visible);
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Default);
    EXPECT_TRUE(f.pnCheck[0].EffectivelyVisible());
    EXPECT_TRUE(f.lblEtapa[1].EffectivelyVisible());
    EXPECT_TRUE(f.cmdBaixar.EffectivelyVisible());
    EXPECT_EQ(f.ActiveControl(), &f.cmdBaixar);
    EXPECT_FALSE(f.pnCheck[1].Visible);
    EXPECT_FALSE(f.cmdInstalar.Visible);
}

TEST_F(StartPhase, LocalRoadCopiesTheArchiveBesideTheInstaller) {
    Write(AppFile("mysql.bat"));
    Write(AppFile("kelvoranx.ZIP"), "archive bytes");
    testsupport::SignFile(AppFile("kelvoranx.ZIP"));
    Write(InstallFile("kelvoranX.zip"), "stale archive of an earlier run");
    frmInstall& f = Load();
    window.backend.Advance(5000);
    EXPECT_EQ(testsupport::TempPrefix::ReadFile(InstallFile("kelvoranX.zip")), "archive bytes");
    EXPECT_TRUE(f.cmdBaixar.EffectivelyVisible());
}

TEST_F(StartPhase, ArchiveBesideTheInstallerThatFailsItsCheckStopsBeforeTheBatch) {
    Write(AppFile("mysql.bat"));
    Write(AppFile("kelvoranX.zip"), "archive bytes");
    testsupport::SignFile(AppFile("kelvoranX.zip"), testsupport::OtherSigningKeyFile());
    std::vector<std::string> log;
    frmInstall& f = Load();
    f.LogLine = [&log](const std::string& text) { log.push_back(text); };
    window.backend.Advance(5000);

    EXPECT_FALSE(WineStarted());
    EXPECT_FALSE(fs::exists(InstallFile("kelvoranX.zip")));
    EXPECT_TRUE(f.pnInicio.Visible);
    EXPECT_EQ(f.lblMensagem[3].Caption.get(),
              "não foi possível verificar a autenticidade do arquivo.");
    EXPECT_EQ(f.lblMensagem[3].ForeColor, kRed);
    EXPECT_FALSE(f.lblTenteNovamente.Visible);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("C:\\Quorimetra\\Install\\kelvoranX.zip: a assinatura não confere"),
              std::string::npos)
        << log[0];
}

// The connector cannot be set up: the start panel says so and offers no retry.
void ExpectConnectorFailure(const frmInstall& f, const forms::Application& app) {
    EXPECT_TRUE(f.pnInicio.Visible);
    EXPECT_TRUE(f.lblMensagem[3].EffectivelyVisible());
    EXPECT_EQ(f.lblMensagem[3].ForeColor, kRed);
    EXPECT_EQ(f.lblMensagem[3].Caption.get(), "Erro ao instalar conector MySql!");
    EXPECT_FALSE(f.lblTenteNovamente.Visible);
    EXPECT_FALSE(f.cmdBaixar.Visible);
    EXPECT_EQ(app.GetMousePointer(), forms::MousePointer::Default);
}

TEST_F(StartPhase, ConnectorPackageWithoutBatchStopsWithoutRetry) {
    Write(AppFile("mysql_conector.msi"));
    frmInstall& f = Load();
    window.backend.Advance(5000);
    EXPECT_FALSE(WineStarted());
    ExpectConnectorFailure(f, window.app);
}

TEST_F(StartPhase, BatchThatCannotStartStopsWithoutRetry) {
    if (fs::exists("/usr/lib/wine/wine64")) GTEST_SKIP() << "a real Wine is installed";
    Write(AppFile("mysql.bat"));
    ::setenv("PATH", "/nonexistent", 1);
    frmInstall& f = Load();
    window.backend.Advance(5000);
    ExpectConnectorFailure(f, window.app);
}

TEST_F(StartPhase, LeftoverThatCannotBeDeletedOffersRetry) {
    Write(AppFile("mysql.bat"));
    Write(InstallFile("mysql_conector.msi"));
    testsupport::RunUnprivileged({prefix.root, prefix.appDir}, [&] {
        frmInstall& f = Load();
        const fs::path folder = InstallFile("");
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        window.backend.Advance(5000);
        fs::permissions(folder, fs::perms::owner_all);
        EXPECT_TRUE(fs::exists(InstallFile("mysql_conector.msi")));
        EXPECT_EQ(f.lblMensagem[3].ForeColor, kRed);
        EXPECT_NE(f.lblMensagem[3].Caption.get().find("Path/File access error"), std::string::npos)
            << f.lblMensagem[3].Caption.get();
        EXPECT_TRUE(f.lblTenteNovamente.EffectivelyVisible());
        EXPECT_FALSE(WineStarted());
    });
}

// Another user's link in place of C:\Quorimetra would lead the batch file elsewhere.
TEST_F(StartPhase, InstallFolderBehindALinkStopsWithRetry) {
    Write(AppFile("mysql.bat"));
    const fs::path elsewhere = prefix.DriveC() / "elsewhere";
    fs::create_directories(elsewhere / "Install");
    fs::create_directory_symlink(elsewhere, prefix.DriveC() / "Quorimetra");
    Write(elsewhere / "Install" / "mysql.bat", "old");
    frmInstall& f = Load();
    window.backend.Advance(5000);
    EXPECT_EQ(f.lblMensagem[3].Caption.get(), security::LinkRefusedText("C:\\Quorimetra"));
    EXPECT_EQ(f.lblMensagem[3].ForeColor, kRed);
    EXPECT_TRUE(f.lblTenteNovamente.EffectivelyVisible());
    EXPECT_TRUE(fs::exists(elsewhere / "Install" / "mysql.bat"));
    EXPECT_FALSE(WineStarted());
}

// A folder where the archive's copy should go makes the copy fail, whoever runs the test.
TEST_F(StartPhase, FailedArchiveCopyOffersRetryThatRunsThePhaseAgain) {
    Write(AppFile("mysql.bat"));
    Write(AppFile("kelvoranX.zip"), "archive bytes");
    testsupport::SignFile(AppFile("kelvoranX.zip"));
    fs::create_directories(InstallFile("kelvoranX.zip"));
    frmInstall& f = Load();
    window.backend.Advance(5000);
    EXPECT_FALSE(WineStarted());
    EXPECT_TRUE(f.pnInicio.Visible);
    EXPECT_EQ(f.lblMensagem[3].ForeColor, kRed);
    EXPECT_NE(f.lblMensagem[3].Caption.get().find("kelvoranX.zip"), std::string::npos);
    EXPECT_TRUE(f.lblTenteNovamente.EffectivelyVisible());
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Default);

    // The user clears the way and asks for another try.
    fs::remove(InstallFile("kelvoranX.zip"));
    Write(InstallFile("mysql_conector.msi"), "leftover");
    EXPECT_EQ(window.backend.Click(f, "lblTenteNovamente"), "lblTenteNovamente");
    EXPECT_FALSE(f.lblTenteNovamente.Visible);
    EXPECT_FALSE(f.lblMensagem[3].Visible);
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Hourglass);
    EXPECT_EQ(f.Timer2.Interval, 3000);

    window.backend.Advance(2999);
    EXPECT_TRUE(fs::exists(InstallFile("mysql_conector.msi")));
    window.backend.Advance(1);
    EXPECT_FALSE(fs::exists(InstallFile("mysql_conector.msi")));
    EXPECT_EQ(testsupport::TempPrefix::ReadFile(InstallFile("kelvoranX.zip")), "archive bytes");
    EXPECT_FALSE(f.pnInicio.Visible);
    EXPECT_TRUE(f.cmdBaixar.EffectivelyVisible());
    EXPECT_FALSE(WineArguments().empty());
}

TEST_F(StartPhase, NeverRunsTwiceFromOneArming) {
    frmInstall& f = LoadToDownloadStep();
    ASSERT_FALSE(f.pnInicio.Visible);
    Write(InstallFile("mysql.bat"), "written after the phase");
    window.backend.Advance(60000);
    EXPECT_TRUE(fs::exists(InstallFile("mysql.bat")));
    EXPECT_EQ(f.Timer2.Interval, 0);
}

}  // namespace
}  // namespace windowtest
