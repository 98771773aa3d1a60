// The install step from "Ready to install", its failure roads, and the whole run from load to
// the installed state against a test server.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/files/files.h"
#include "support/ftp_servers.h"
#include "support/signing.h"
#include "support/window_harness.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempPrefix;
using windowtest::kGrey;
using windowtest::kRed;

constexpr auto kInstalled = "Programa instalado com sucesso!";
constexpr auto kSourceDir = "Dlls/WinSysPath/";

class InstallSequence : public windowtest::WindowTest {
  protected:
    void SetUp() override {
        for (const char* name :
             {"COMDLG32.OCX", "htsecurit.ocx", "msado26.tlb", "mscomct2.ocx", "MSCOMCTL.OCX",
              "MSDBRPT.DLL", "MSDBRPT.SRG", "MSDBRPTR.DEP", "MSDBRPTR.DLL", "MSFLXGRD.OCX",
              "MSMASK32.OCX", "MSO.DLL", "MSPPT.OLB", "msstdfmt.dll", "RICHED32.DLL",
              "RICHTX32.OCX", "TABCTL32.OCX", "THREED32.OCX", "VB5DB.DLL"})
            TempPrefix::WriteFile(prefix.appDir / kSourceDir / name, name);
        for (const char* name : {"MSJET35.DLL", "MSJINT35.DLL", "MSJTER35.DLL", "MSRD2X35.DLL",
                                 "msvbvm60.DLL", "VB6STKIT.DLL"})
            TempPrefix::WriteFile(prefix.appDir / "Dlls/WinSysPathSysFile" / name, name);
        TempPrefix::WriteFile(prefix.appDir / "Dlls/MSDAOPath/DAO350.DLL", "dao");
        fs::create_directories(
            prefix.Host("C:\\Program Files\\Common Files\\microsoft shared\\DAO"));
    }

    void WriteProductArchive() {
        windowtest::WriteZip(prefix.Host("C:\\Quorimetra\\Install\\kelvoranX.zip"),
                             {{"kelvoranX.exe", "exe"}, {"dados/", ""}, {"dados/base.mdb", "mdb"}});
    }
    // The window as the download step leaves it, without a server.
    void ReadyToInstall() {
        window.Load();
        window.app.SetMousePointer(forms::MousePointer::Default);
        form().pnInicio.Visible = false;
        form().cmdInstalar.Visible = true;
        form().lblEtapa[2].Visible = true;
    }
    void ExpectNotInstalled() {
        EXPECT_NE(form().lblMensagem[2].Caption.get(), kInstalled);
        EXPECT_EQ(form().lblMensagem[2].ForeColor, kRed);
        EXPECT_FALSE(form().pnCheck[2].Visible);
        EXPECT_FALSE(fs::exists(Shortcut()));
        EXPECT_TRUE(form().cmdInstalar.Enabled);
        EXPECT_EQ(form().lblFechar.Caption.get(), "Cancelar");
        EXPECT_FALSE(form().installRunning);
    }
    void ExpectInstalled() {
        EXPECT_EQ(form().lblMensagem[2].Caption.get(), kInstalled);
        EXPECT_EQ(form().lblMensagem[2].ForeColor, kGrey);
        EXPECT_TRUE(form().lblMensagem[2].Visible);
        EXPECT_TRUE(form().pnCheck[2].Visible);
        EXPECT_FALSE(form().cmdInstalar.Enabled);
        EXPECT_EQ(form().lblFechar.Caption.get(), "Encerrar");
        EXPECT_EQ(TempPrefix::ReadFile(prefix.Host("C:\\Quorimetra\\Kelvoran\\kelvoranX.exe")),
                  "exe");
        EXPECT_TRUE(fs::exists(prefix.Host("C:\\Quorimetra\\Kelvoran\\dados\\base.mdb")));
        EXPECT_EQ(TempPrefix::ReadFile(prefix.Host("C:\\windows\\System32\\MSCOMCTL.OCX")),
                  "MSCOMCTL.OCX");
        EXPECT_EQ(TempPrefix::ReadFile(prefix.Host("C:\\windows\\MSJET35.DLL")), "MSJET35.DLL");
        EXPECT_TRUE(fs::exists(
            prefix.Host("C:\\Program Files\\Common Files\\microsoft shared\\DAO\\DAO350.DLL")));
        EXPECT_TRUE(fs::exists(Shortcut()));
        EXPECT_FALSE(form().installRunning);
    }
    fs::path Shortcut() const {
        return prefix.Host("C:\\users\\" + files::UserName() + "\\Desktop\\kelvoran X.lnk");
    }
};

TEST_F(InstallSequence, InstallsProductComponentsAndShortcut) {
    WriteProductArchive();
    ReadyToInstall();
    ASSERT_FALSE(fs::exists(prefix.Host("C:\\Quorimetra\\Kelvoran")));

    EXPECT_EQ(window.Click("lblInstalar"), "lblInstalar");

    ExpectInstalled();
    EXPECT_TRUE(window.backend.messages.empty());
    EXPECT_EQ(wine.Starts(24).size(), 24u);
}

TEST_F(InstallSequence, ExtractionFailureStopsBeforeDeploymentAndAllowsRetry) {
    ReadyToInstall();

    window.Click("lblInstalar");

    EXPECT_EQ(
        form().lblMensagem[2].Caption.get(),
        "Arquivo: C:\\Quorimetra\\Install\\kelvoranx.zip\rNão encontrado ou está corrompido!");
    ExpectNotInstalled();
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\windows\\System32\\COMDLG32.OCX")));

    WriteProductArchive();
    window.Click("lblInstalar");
    ExpectInstalled();
}

TEST_F(InstallSequence, DeploymentFailureKeepsButtonAndRetryDeploysTheRest) {
    fs::remove(prefix.appDir / kSourceDir / "MSCOMCTL.OCX");
    WriteProductArchive();
    ReadyToInstall();

    window.Click("lblInstalar");

    ASSERT_EQ(window.backend.messages.size(), 1u);
    EXPECT_NE(window.backend.messages[0].find("MSCOMCTL.OCX"), std::string::npos);
    EXPECT_EQ(form().lblMensagem[2].Caption.get(),
              "Ocorreu um erro ao preparar a instalação. Tente executar este aplicativo "
              "novamente");
    ExpectNotInstalled();  // the extraction had disabled the button: it is enabled again
    EXPECT_EQ(wine.Starts(4).size(), 4u);

    TempPrefix::WriteFile(prefix.appDir / kSourceDir / "MSCOMCTL.OCX", "MSCOMCTL.OCX");
    window.Click("lblInstalar");

    ExpectInstalled();
    // Rows 1 to 4 were in place already: each component is registered once in all.
    EXPECT_EQ(wine.Starts(24).size(), 24u);
    EXPECT_EQ(wine.StartsSettled().size(), 24u);
}

TEST_F(InstallSequence, ClickWhileSequenceYieldsIsIgnored) {
    WriteProductArchive();
    ReadyToInstall();
    int clicks = 0;
    int successes = 0;
    const auto original = form().lblInstalar.Click;
    form().lblInstalar.Click = [&] {
        ++clicks;
        original();
    };
    window.app.AddChangeObserver([&](forms::Control& c, const char* property) {
        if (&c == &form().lblMensagem[2] && std::string(property) == "Caption" &&
            form().lblMensagem[2].Caption.get() == kInstalled)
            ++successes;
    });

    window.backend.QueueClick(form(), "lblInstalar");
    window.Click("lblInstalar");

    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(successes, 1);
    ExpectInstalled();
}

TEST_F(InstallSequence, ShortcutFailureIsShownAndSuccessNotClaimed) {
    WriteProductArchive();
    ReadyToInstall();
    // A file where the desktop folder should be: the shortcut cannot be written.
    const fs::path desktop = prefix.Host("C:\\users\\" + files::UserName() + "\\Desktop");
    fs::remove_all(desktop);
    TempPrefix::WriteFile(desktop, "not a folder");

    window.Click("lblInstalar");

    ASSERT_EQ(window.backend.messages.size(), 1u);
    const std::string why = "Não foi possível criar o atalho na área de trabalho: ";
    EXPECT_EQ(window.backend.messages[0].rfind(why, 0), 0u) << window.backend.messages[0];
    EXPECT_GT(window.backend.messages[0].size(), why.size() + 4) << "a number and a description";
    EXPECT_EQ(form().lblMensagem[2].Caption.get(), "Erro ao criar o atalho na área de trabalho!");
    ExpectNotInstalled();
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Default);
}

// The program itself must have arrived: an empty archive, or one without it, is no install.
TEST_F(InstallSequence, ArchiveWithoutTheProgramIsNotInstalled) {
    ReadyToInstall();
    const fs::path archive = prefix.Host("C:\\Quorimetra\\Install\\kelvoranX.zip");
    // An empty archive is its end record alone.
    TempPrefix::WriteFile(archive, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    window.Click("lblInstalar");
    EXPECT_EQ(
        form().lblMensagem[2].Caption.get(),
        "Arquivo: C:\\Quorimetra\\Kelvoran\\kelvoranX.exe\rNão encontrado ou está corrompido!");
    ExpectNotInstalled();

    windowtest::WriteZip(archive, {{"leia.txt", "sem programa"}});
    window.Click("lblInstalar");
    ExpectNotInstalled();
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\windows\\System32\\COMDLG32.OCX")));
}

// The whole road on the headless backend: load, start phase against the server, download, install.
TEST_F(InstallSequence, FromLoadToInstalledAgainstTestServer) {
    using testsupport::FtpServer;
    if (!testsupport::ServerAvailable(FtpServer::Kind::Pyftpdlib))
        GTEST_SKIP() << "pyftpdlib is not installed";
    const fs::path root = prefix.root / "server";
    windowtest::WriteZip(root / "mysql.zip",
                         {{"mysql.bat", "@echo off\r\n"}, {"mysql_conector.msi", "msi"}});
    windowtest::WriteZip(root / "kelvoranx.zip",
                         {{"kelvoranX.exe", "exe"}, {"dados/", ""}, {"dados/base.mdb", "mdb"}});
    testsupport::SignFile(root / "mysql.zip");
    testsupport::SignFile(root / "kelvoranx.zip");
    testsupport::FtpServerOptions options;
    options.root = root;
    FtpServer server(FtpServer::Kind::Pyftpdlib, options);
    window.UseServer(server.address());

    window.Load();
    window.backend.Advance(5000);
    ASSERT_FALSE(form().pnInicio.Visible) << form().lblMensagem[3].Caption.get();
    ASSERT_EQ(window.Click("lblBaixar"), "lblBaixar");
    ASSERT_EQ(form().lblMensagem[1].Caption.get(), "Download efetuado com sucesso!");
    ASSERT_EQ(window.Click("lblInstalar"), "lblInstalar");

    ExpectInstalled();
    EXPECT_TRUE(window.backend.messages.empty());
    EXPECT_EQ(wine.Starts(25).size(), 25u);  // the connector's batch file and 24 components
}

}  // namespace
