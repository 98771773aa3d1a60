// The start phase's package download and the download step, end to end on the headless backend
// against a pyftpdlib server on loopback.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/crypto.h"
#include "support/ftp_servers.h"
#include "support/signing.h"
#include "support/window_harness.h"

namespace {

namespace fs = std::filesystem;
using testsupport::FtpServer;
using windowtest::kGreen;
using windowtest::kGrey;
using windowtest::kRed;

constexpr auto kNoConnection = "sem conexão, tente mais tarde";
constexpr auto kInterrupted = "conexão com o servidor foi interrompida.";

// A small tmpfs mounted over a folder, so that writes beyond its size meet a full disk; Grow
// makes room again. Unmounted when the object goes away.
class SmallDisk {
  public:
    SmallDisk(const fs::path& folder, const std::string& size) : folder_(folder) {
        fs::create_directories(folder_);
        mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    bool Grow(const std::string& size) {
        return ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT, ("size=" + size).c_str()) ==
               0;
    }

  private:
    fs::path folder_;
    bool mounted_ = false;
};

std::string Sha256Hex(const std::string& bytes) {
    crypto::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return crypto::Hex(hash.Final());
}

class DownloadStage : public windowtest::WindowTest {
  protected:
    void SetUp() override {
        if (!testsupport::ServerAvailable(FtpServer::Kind::Pyftpdlib))
            GTEST_SKIP() << "pyftpdlib is not installed";
        serverRoot = prefix.root / "server";
        fs::create_directories(serverRoot);
    }

    void StartServer(const std::string& fault = "") {
        testsupport::FtpServerOptions options;
        options.root = serverRoot;
        options.fault = fault;
        server = std::make_unique<FtpServer>(FtpServer::Kind::Pyftpdlib, options);
        window.UseServer(server->address());
    }

    // A complete database package on the server; the installer only checks its two files.
    void ServePackage(windowtest::Entries entries = {
                          {"mysql.bat", "@echo off\r\n"},
                          {"mysql_conector.msi", testsupport::Bytes(60000)},
                          {"leia.txt", "leia"}}) {
        windowtest::WriteZip(serverRoot / "mysql.zip", entries);
        testsupport::SignFile(serverRoot / "mysql.zip");
    }
    void ServeProduct() {
        testsupport::TempPrefix::WriteFile(serverRoot / "kelvoranx.zip", product);
        testsupport::SignFile(serverRoot / "kelvoranx.zip");
    }

    // Load, then the start phase's tick five seconds later.
    void StartPhase() {
        window.Load();
        window.backend.Advance(5000);
    }
    void ReachReadyToDownload() {
        ServePackage();
        StartServer();
        StartPhase();
        ASSERT_FALSE(form().pnInicio.Visible) << form().lblMensagem[3].Caption.get();
    }

    fs::path Install(const std::string& name) const {
        return prefix.Host("C:\\Quorimetra\\Install\\" + name);
    }

    fs::path serverRoot;
    std::unique_ptr<FtpServer> server;
    const std::string product = windowtest::ProductPayload();
};

TEST_F(DownloadStage, StartPhaseFetchesPackageStartsConnectorAndOpensDownloadStep) {
    ReachReadyToDownload();

    EXPECT_TRUE(fs::exists(Install("mysql.bat")));
    EXPECT_TRUE(fs::exists(Install("mysql_conector.msi")));
    EXPECT_TRUE(fs::exists(Install("leia.txt")));
    EXPECT_FALSE(fs::exists(Install("mysql.zip")));
    const auto starts = wine.Starts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_NE(starts[0].find("mysql.bat"), std::string::npos) << starts[0];

    EXPECT_EQ(form().lblMensagem[3].Caption.get(), "Download efetuado com sucesso!");
    EXPECT_EQ(form().lblMensagem[3].ForeColor, kGrey);
    EXPECT_FALSE(form().pbBarI.Visible);
    EXPECT_EQ(form().pbValI.BackColor, kGreen);
    EXPECT_GE(form().pbValI.Width, 2895);  // the last event drew the bar full
    EXPECT_TRUE(form().pnCheck[0].Visible);
    EXPECT_TRUE(form().lblEtapa[1].Visible);
    EXPECT_TRUE(form().cmdBaixar.Visible);
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Default);
    EXPECT_EQ(form().mCaminhoLocal, "C:\\Quorimetra\\Install");
    EXPECT_FALSE(form().downloadRunning);
}

TEST_F(DownloadStage, DownloadStepFetchesArchiveAndOpensInstallStep) {
    ServeProduct();
    ReachReadyToDownload();

    EXPECT_EQ(window.Click("lblBaixar"), "lblBaixar");

    EXPECT_EQ(form().lblMensagem[1].Caption.get(), "Download efetuado com sucesso!");
    EXPECT_EQ(form().lblMensagem[1].ForeColor, kGrey);
    EXPECT_EQ(testsupport::TempPrefix::ReadFile(Install("kelvoranX.zip")), product);
    EXPECT_EQ(form().mCaminhoLocal, "C:\\Quorimetra\\Install\\kelvoranX.zip");
    EXPECT_EQ(form().pbVal.BackColor, kGreen);
    EXPECT_FALSE(form().pbBar.Visible);
    EXPECT_TRUE(form().pnCheck[1].Visible);
    EXPECT_FALSE(form().cmdBaixar.Enabled);
    EXPECT_TRUE(form().lblEtapa[2].Visible);
    EXPECT_TRUE(form().cmdInstalar.Visible);
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Default);
}

TEST_F(DownloadStage, LocalRoadCopiesArchiveAndDownloadStepAcceptsIt) {
    // No archive on the server: success can only come from the copy in the install folder.
    StartServer();
    testsupport::TempPrefix::WriteFile(prefix.appDir / "mysql.bat", "@echo off\r\n");
    testsupport::TempPrefix::WriteFile(prefix.appDir / "kelvoranX.zip", product);
    testsupport::SignFile(prefix.appDir / "kelvoranX.zip");
    StartPhase();
    ASSERT_FALSE(form().pnInicio.Visible);
    ASSERT_TRUE(fs::exists(Install("kelvoranX.zip")));

    window.Click("lblBaixar");

    EXPECT_EQ(form().lblMensagem[1].Caption.get(), "Arquivo copiado com sucesso!");
    EXPECT_EQ(form().lblMensagem[1].ForeColor, kGrey);
    EXPECT_TRUE(form().cmdInstalar.Visible);
    EXPECT_FALSE(form().cmdBaixar.Enabled);
}

TEST_F(DownloadStage, NoConnectionOnStartPanelOffersRetry) {
    window.UseServer(windowtest::ClosedAddress());
    StartPhase();

    EXPECT_TRUE(form().pnInicio.Visible);
    EXPECT_TRUE(form().lblMensagem[3].Visible);
    EXPECT_EQ(form().lblMensagem[3].Caption.get(), kNoConnection);
    EXPECT_EQ(form().lblMensagem[3].ForeColor, kRed);
    EXPECT_TRUE(form().lblTenteNovamente.Visible);
    EXPECT_FALSE(form().pbBarI.Visible);
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Default);
    EXPECT_FALSE(form().downloadRunning);
}

TEST_F(DownloadStage, NoConnectionInDownloadStepWinsOverArchivePresent) {
    ReachReadyToDownload();
    testsupport::TempPrefix::WriteFile(Install("kelvoranX.zip"), product);
    window.UseServer(windowtest::ClosedAddress());

    window.Click("lblBaixar");

    EXPECT_EQ(form().lblMensagem[1].Caption.get(), kNoConnection);
    EXPECT_EQ(form().lblMensagem[1].ForeColor, kRed);
    EXPECT_FALSE(form().lblTente.Visible);
    EXPECT_TRUE(form().cmdBaixar.Enabled);
    EXPECT_FALSE(form().cmdInstalar.Visible);
    EXPECT_EQ(form().mCaminhoLocal, "C:\\Quorimetra\\Install");
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Default);
}

TEST_F(DownloadStage, PackageMissingOnServerIsAnInterruptedTransfer) {
    StartServer();
    StartPhase();

    EXPECT_TRUE(form().pnInicio.Visible);
    EXPECT_EQ(form().lblMensagem[3].Caption.get(), kInterrupted);
    EXPECT_EQ(form().lblMensagem[3].ForeColor, kRed);
    EXPECT_TRUE(form().lblTenteNovamente.Visible);
    EXPECT_FALSE(form().pbBarI.Visible);
    EXPECT_FALSE(fs::exists(Install("mysql.zip")));
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Default);
}

TEST_F(DownloadStage, PackageDroppedPartWayHidesTheStartBar) {
    ServePackage();
    StartServer("drop-data-middle");
    StartPhase();

    EXPECT_TRUE(form().pnInicio.Visible);
    EXPECT_GT(form().pbValI.Width, 0);  // the bar was drawn before the drop
    EXPECT_FALSE(form().pbBarI.Visible);
    EXPECT_EQ(form().lblMensagem[3].Caption.get(), kInterrupted);
    EXPECT_TRUE(form().lblTenteNovamente.Visible);
    EXPECT_FALSE(fs::exists(Install("mysql.zip")));
}

TEST_F(DownloadStage, TitleBarCloseClosesTheConnection) {
    ReachReadyToDownload();
    ASSERT_NE(form().mFTP->ConnectionHandle(), nullptr);
    window.app.CloseForm(form());
    EXPECT_EQ(form().mFTP->ConnectionHandle(), nullptr);
    EXPECT_NE(server->ReceivedCommands().find("QUIT"), std::string::npos);
}

// A package changed after it was signed, one without its signature and one signed by another
// key are each removed before anything runs, with the retry link; the good pair then installs.
TEST_F(DownloadStage, PackageThatFailsItsCheckIsRemovedBeforeAnythingRuns) {
    ServePackage();
    const fs::path package = serverRoot / "mysql.zip";
    const std::string signedBytes = testsupport::TempPrefix::ReadFile(package);
    testsupport::TempPrefix::WriteFile(package, signedBytes + "tampered");
    StartServer();
    std::vector<std::string> log;
    window.Load();
    form().LogLine = [&log](const std::string& text) { log.push_back(text); };

    const std::function<void()> breakings[] = {
        [&] {
            testsupport::TempPrefix::WriteFile(package, signedBytes);
            fs::remove(package.string() + ".sig");
        },
        [&] { testsupport::SignFile(package, testsupport::OtherSigningKeyFile()); },
    };
    const char* reasons[] = {"a assinatura não confere", "ausente", "a assinatura não confere"};
    for (int attempt = 0; attempt < 3; ++attempt) {
        window.backend.Advance(attempt == 0 ? 5000 : 3000);
        EXPECT_EQ(form().lblMensagem[3].Caption.get(),
                  "não foi possível verificar a autenticidade do arquivo.");
        EXPECT_EQ(form().lblMensagem[3].ForeColor, kRed);
        EXPECT_TRUE(form().lblTenteNovamente.Visible);
        EXPECT_FALSE(form().pbBarI.Visible);
        EXPECT_FALSE(fs::exists(Install("mysql.zip")));
        EXPECT_FALSE(fs::exists(Install("mysql.zip.sig")));
        EXPECT_FALSE(fs::exists(Install("mysql.bat")));
        EXPECT_TRUE(wine.StartsSettled().empty());
        ASSERT_EQ(log.size(), static_cast<std::size_t>(attempt + 1));
        EXPECT_NE(log.back().find("C:\\Quorimetra\\Install\\mysql.zip: "), std::string::npos);
        EXPECT_NE(log.back().find(reasons[attempt]), std::string::npos) << log.back();
        if (attempt < 2) breakings[attempt]();
        window.Click("lblTenteNovamente");
    }
    testsupport::SignFile(package);
    window.backend.Advance(3000);
    EXPECT_FALSE(form().pnInicio.Visible) << form().lblMensagem[3].Caption.get();
    EXPECT_EQ(log.back(), "Arquivo verificado: C:\\Quorimetra\\Install\\mysql.zip (SHA-256 " +
                              Sha256Hex(signedBytes) + ")");
}

TEST_F(DownloadStage, ArchiveThatFailsItsCheckIsRemovedAndTheRetryFetchesItAgain) {
    ReachReadyToDownload();
    ServeProduct();
    testsupport::TempPrefix::WriteFile(serverRoot / "kelvoranx.zip", product + "x");

    window.Click("lblBaixar");
    EXPECT_EQ(form().lblMensagem[1].Caption.get(),
              "não foi possível verificar a autenticidade do arquivo.");
    EXPECT_EQ(form().lblMensagem[1].ForeColor, kRed);
    EXPECT_TRUE(form().lblTente.Visible);
    EXPECT_FALSE(form().pbBar.Visible);
    EXPECT_FALSE(form().cmdInstalar.Visible);
    EXPECT_FALSE(fs::exists(Install("kelvoranX.zip")));

    ServeProduct();
    window.Click("lblTente");
    window.backend.Advance(1000);
    EXPECT_EQ(form().lblMensagem[1].Caption.get(), "Download efetuado com sucesso!");
    EXPECT_EQ(testsupport::TempPrefix::ReadFile(Install("kelvoranX.zip")), product);
    EXPECT_FALSE(fs::exists(Install("kelvoranX.zip.sig")));
}

TEST_F(DownloadStage, NoDataConnectionInActiveModeFallsBackToPassiveForGood) {
    ServePackage();
    ServeProduct();
    StartServer("active-425");
    std::vector<std::string> log;
    window.Load();
    form().LogLine = [&log](const std::string& text) { log.push_back(text); };
    window.backend.Advance(5000);
    ASSERT_FALSE(form().pnInicio.Visible) << form().lblMensagem[3].Caption.get();
    window.Click("lblBaixar");
    EXPECT_EQ(form().lblMensagem[1].Caption.get(), "Download efetuado com sucesso!");
    EXPECT_EQ(testsupport::TempPrefix::ReadFile(Install("kelvoranX.zip")), product);

    // One try in active mode, the rest in passive mode.
    std::istringstream commands(server->ReceivedCommands());
    int active = 0, passive = 0;
    for (std::string line; std::getline(commands, line);) {
        active += line.starts_with("PORT") || line.starts_with("EPRT");
        passive += line.starts_with("PASV") || line.starts_with("EPSV");
    }
    EXPECT_EQ(active, 1);
    EXPECT_GE(passive, 4);  // the two archives and their signatures
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0],
              "Sem conexão de dados no modo ativo (425 Can't open data connection.): o "
              "instalador passa ao modo passivo");
}

TEST_F(DownloadStage, DroppedTransferLeavesNoPartialArchiveAndRetryLinkSucceeds) {
    ServeProduct();
    StartServer("drop-first-transfer");
    testsupport::TempPrefix::WriteFile(prefix.appDir / "mysql.bat", "@echo off\r\n");
    StartPhase();
    ASSERT_FALSE(form().pnInicio.Visible);

    window.Click("lblBaixar");
    EXPECT_EQ(form().lblMensagem[1].Caption.get(), kInterrupted);
    EXPECT_EQ(form().lblMensagem[1].ForeColor, kRed);
    EXPECT_TRUE(form().lblTente.Visible);
    EXPECT_FALSE(form().pbBar.Visible);
    EXPECT_TRUE(form().cmdBaixar.Enabled);
    EXPECT_FALSE(fs::exists(Install("kelvoranX.zip")));
    EXPECT_EQ(form().mCaminhoLocal, "C:\\Quorimetra\\Install\\kelvoranX.zip");

    EXPECT_EQ(window.Click("lblTente"), "lblTente");
    EXPECT_EQ(form().lblMensagem[1].Caption.get(), "Aguarde...");
    EXPECT_EQ(form().lblMensagem[1].ForeColor, kGrey);
    window.backend.Advance(1000);

    EXPECT_EQ(form().lblMensagem[1].Caption.get(), "Download efetuado com sucesso!");
    EXPECT_EQ(testsupport::TempPrefix::ReadFile(Install("kelvoranX.zip")), product);
    EXPECT_EQ(form().mCaminhoLocal, "C:\\Quorimetra\\Install\\kelvoranX.zip");
    EXPECT_FALSE(form().lblTente.Visible);
}

TEST_F(DownloadStage, FullDiskLeavesNoArchiveAndTheNextClickTransfersAgain) {
    ServeProduct();
    ReachReadyToDownload();
    SmallDisk disk(prefix.Host("C:\\Quorimetra\\Install"), "64k");
    if (!disk.mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here";

    window.Click("lblBaixar");
    ASSERT_EQ(window.backend.messages.size(), 1u);
    EXPECT_FALSE(fs::exists(Install("kelvoranX.zip")));

    ASSERT_TRUE(disk.Grow("4m"));
    window.Click("lblBaixar");
    EXPECT_EQ(form().lblMensagem[1].Caption.get(), "Download efetuado com sucesso!");
    EXPECT_EQ(testsupport::TempPrefix::ReadFile(Install("kelvoranX.zip")), product);
}

TEST_F(DownloadStage, FullDiskInStartPhaseShowsTheFailureWithRetry) {
    ServePackage();
    StartServer();
    SmallDisk disk(prefix.Host("C:\\Quorimetra\\Install"), "16k");
    if (!disk.mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here";
    StartPhase();

    EXPECT_TRUE(form().pnInicio.Visible);
    EXPECT_TRUE(form().lblMensagem[3].Visible);
    EXPECT_EQ(form().lblMensagem[3].ForeColor, kRed);
    EXPECT_NE(form().lblMensagem[3].Caption.get().find("mysql.zip"), std::string::npos);
    EXPECT_TRUE(form().lblTenteNovamente.Visible);
    EXPECT_FALSE(form().pbBarI.Visible);
    EXPECT_FALSE(fs::exists(Install("mysql.zip")));
    EXPECT_TRUE(window.backend.messages.empty());

    ASSERT_TRUE(disk.Grow("4m"));
    EXPECT_EQ(window.Click("lblTenteNovamente"), "lblTenteNovamente");
    window.backend.Advance(3000);
    EXPECT_FALSE(form().pnInicio.Visible) << form().lblMensagem[3].Caption.get();
}

TEST_F(DownloadStage, CompletionTextIsDrawnBeforeTheBarGoes) {
    ServeProduct();
    ReachReadyToDownload();
    // A clock that stands still: every yield comes within one tick of the one before.
    window.backend.throttle = true;
    std::int64_t drawnByText = -1, drawnByHiding = -1;
    window.app.AddChangeObserver([&](forms::Control& control, const char* property) {
        const std::string_view name(property);
        if (&control == &form().lblMensagem[1] && name == "Caption" &&
            form().lblMensagem[1].Caption.get() == "Download efetuado com sucesso!")
            drawnByText = window.backend.processEventsCalls;
        if (&control == &form().pbBar && name == "Visible" && !form().pbBar.Visible)
            drawnByHiding = window.backend.processEventsCalls;
    });

    window.Click("lblBaixar");

    ASSERT_GE(drawnByText, 0);
    EXPECT_GT(drawnByHiding, drawnByText);
}

TEST_F(DownloadStage, ClickDuringTransferDoesNotStartSecondRun) {
    ServeProduct();
    ReachReadyToDownload();
    int clicks = 0;
    const auto original = form().lblBaixar.Click;
    form().lblBaixar.Click = [&] {
        ++clicks;
        original();
    };

    window.backend.QueueClick(form(), "lblBaixar");
    window.Click("lblBaixar");

    EXPECT_EQ(clicks, 2);  // the queued click arrived while the first run yielded
    EXPECT_EQ(form().lblMensagem[1].Caption.get(), "Download efetuado com sucesso!");
    EXPECT_EQ(testsupport::TempPrefix::ReadFile(Install("kelvoranX.zip")), product);
    EXPECT_FALSE(form().downloadRunning);
}

TEST_F(DownloadStage, UnwritableInstallFolderIsShownAndNextClickWorks) {
    ServeProduct();
    ReachReadyToDownload();
    const fs::path folder = prefix.Host("C:\\Quorimetra\\Install");
    fs::remove_all(folder);

    window.Click("lblBaixar");

    ASSERT_EQ(window.backend.messages.size(), 1u);
    EXPECT_FALSE(window.backend.messages[0].empty());
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Default);
    EXPECT_FALSE(form().downloadRunning);
    EXPECT_TRUE(form().cmdBaixar.Enabled);

    fs::create_directories(folder);
    window.Click("lblBaixar");
    EXPECT_EQ(form().lblMensagem[1].Caption.get(), "Download efetuado com sucesso!");
    EXPECT_EQ(testsupport::TempPrefix::ReadFile(Install("kelvoranX.zip")), product);
}

TEST_F(DownloadStage, CorruptPackageIsReportedWithoutRetryOrConnectorStart) {
    testsupport::TempPrefix::WriteFile(serverRoot / "mysql.zip", "this is not a zip archive");
    testsupport::SignFile(serverRoot / "mysql.zip");
    StartServer();
    StartPhase();

    EXPECT_TRUE(form().pnInicio.Visible);
    EXPECT_EQ(form().lblMensagem[3].Caption.get().rfind("Error ", 0), 0u)
        << form().lblMensagem[3].Caption.get();
    EXPECT_EQ(form().lblMensagem[3].ForeColor, kRed);
    EXPECT_FALSE(form().lblTenteNovamente.Visible);
    EXPECT_FALSE(form().cmdBaixar.Visible);
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Default);
    EXPECT_TRUE(wine.StartsSettled().empty());
}

TEST_F(DownloadStage, PackageWithEscapingEntryWritesNothing) {
    ServePackage({{"mysql.bat", "@echo off\r\n"},
                  {"mysql_conector.msi", "msi"},
                  {"../fora.txt", "escaped"}});
    StartServer();
    StartPhase();

    EXPECT_TRUE(form().pnInicio.Visible);
    EXPECT_EQ(form().lblMensagem[3].Caption.get().rfind("Error ", 0), 0u)
        << form().lblMensagem[3].Caption.get();
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\Quorimetra\\fora.txt")));
    EXPECT_FALSE(fs::exists(Install("mysql.bat")));
    EXPECT_TRUE(wine.StartsSettled().empty());
}

TEST_F(DownloadStage, PackageWithoutConnectorPackageStopsStartPhase) {
    ServePackage({{"mysql.bat", "@echo off\r\n"}});
    StartServer();
    StartPhase();

    EXPECT_TRUE(form().pnInicio.Visible);
    EXPECT_EQ(form().lblMensagem[3].Caption.get(), "Erro ao instalar conector MySql!");
    EXPECT_EQ(form().lblMensagem[3].ForeColor, kRed);
    EXPECT_TRUE(fs::exists(Install("mysql.zip")));
    EXPECT_FALSE(form().lblTenteNovamente.Visible);
    EXPECT_EQ(window.app.GetMousePointer(), forms::MousePointer::Default);
    EXPECT_TRUE(wine.StartsSettled().empty());
}

}  // namespace
