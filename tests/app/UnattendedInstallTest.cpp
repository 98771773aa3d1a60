// Whole unattended runs, in process on the headless backend's virtual clock, against a test
// FTP server that offers the demo payload: the installed product, the retries and the status
// lines; and the user's run, in which nothing is pressed for them.
#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/ProgramRun.h"
#include "platform/crypto/crypto.h"
#include "platform/files/files.h"
#include "platform/forms/headless.h"
#include "support/ftp_servers.h"
#include "support/prefix.h"
#include "support/signing.h"
#include "support/wine_stand_in.h"

namespace {

namespace fs = std::filesystem;
using app::UnattendedDriver;
using testsupport::FtpServer;
using testsupport::TempPrefix;

constexpr auto kInterrupted = "conexão com o servidor foi interrompida.";
constexpr auto kNoConnection = "sem conexão, tente mais tarde";

// The lines of a whole installation, in the order the window writes them: the start panel's
// package download, the download step, then the install step.
// The check of each download is logged with the file's SHA-256.
std::vector<std::string> InstalledRun(const std::string& server, const fs::path& payload) {
    const auto verified = [&payload](const std::string& served, const std::string& local) {
        crypto::Sha256 hash;
        const std::string bytes = TempPrefix::ReadFile(payload / served);
        hash.Update(bytes.data(), bytes.size());
        return "Arquivo verificado: C:\\Quorimetra\\Install\\" + local + " (SHA-256 " +
               crypto::Hex(hash.Final()) + ")";
    };
    return {"Baixando mysql.zip do servidor " + server,
            "Fazendo download de arquivos...",
            verified("mysql.zip", "mysql.zip"),
            "Download efetuado com sucesso!",
            "Baixando /kelvoranx.zip do servidor " + server,
            "Fazendo download de arquivos...",
            verified("kelvoranx.zip", "kelvoranX.zip"),
            "Download efetuado com sucesso!",
            "Descompactando arquivos...",
            "Arquivos extraídos com sucesso!",
            "Aguarde, registrando Dlls!",
            "Programa instalado com sucesso!"};
}

// The file names inside an archive with their bytes; folders are left out.
std::vector<std::pair<std::string, std::string>> ArchiveFiles(const fs::path& path) {
    std::vector<std::pair<std::string, std::string>> files;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive) return files;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        if (zip_stat_index(archive, i, 0, &stat) != 0) continue;
        const std::string name = stat.name;
        if (name.empty() || name.back() == '/') continue;
        std::string content(stat.size, '\0');
        zip_file_t* entry = zip_fopen_index(archive, i, 0);
        if (!entry) continue;
        const zip_int64_t read = zip_fread(entry, content.data(), content.size());
        zip_fclose(entry);
        if (read != static_cast<zip_int64_t>(stat.size)) content = "<short read>";
        files.emplace_back(name, content);
    }
    zip_close(archive);
    return files;
}

std::string WindowsPath(std::string relative) {
    for (char& c : relative) {
        if (c == '/') c = '\\';
    }
    return relative;
}

class UnattendedInstall : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testsupport::ServerAvailable(FtpServer::Kind::Pyftpdlib))
            GTEST_SKIP() << "pyftpdlib is not installed";
        payload = prefix.root / "payload";
        const std::string command = std::string(INSTALLER_PYTHON) +
                                    " '" INSTALLER_SOURCE_DIR "/demo/make_payload.py' '" +
                                    payload.string() + "' --sign '" +
                                    testsupport::SigningKeyFile().string() + "' >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        // The installer's own folder holds the shared components; the workstation has the
        // database engine's shared folder.
        fs::copy(payload / "Dlls", prefix.appDir / "Dlls", fs::copy_options::recursive);
        fs::create_directories(
            prefix.Host("C:\\Program Files\\Common Files\\microsoft shared\\DAO"));
        backend.Attach(app);
    }
    void TearDown() override { run.reset(); }

    void StartServer(const std::string& fault = "") {
        testsupport::FtpServerOptions options;
        options.root = payload;
        options.fault = fault;
        server = std::make_unique<FtpServer>(FtpServer::Kind::Pyftpdlib, options);
    }

    // Starts the program with the arguments, its settings pointed at the address, and lets
    // virtual time run until the program ends or a minute and a half has passed.
    void RunProgram(const std::vector<std::string>& arguments, const std::string& address) {
        const app::CommandLine line = app::ParseCommandLine(arguments);
        const bool logged = line.mode != app::RunMode::Interactive || !line.logFile.empty();
        run = std::make_unique<app::ProgramRun>(app, line.mode, logged ? &out : nullptr);
        run->form().txtServer.Text = address;
        run->form().mChavePublica = testsupport::PublicKey();
        run->Load();
        for (int step = 0; step < 900 && !backend.terminated; ++step) backend.Advance(100);
    }

    // The printed lines without their times, each checked to carry one.
    std::vector<std::string> PrintedTexts() const {
        static const std::regex timed(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (.*))");
        std::vector<std::string> texts;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) {
            std::smatch match;
            EXPECT_TRUE(std::regex_match(line, match, timed)) << line;
            texts.push_back(match.size() > 1 ? match[1].str() : line);
        }
        return texts;
    }
    // Those the window's status lines, message boxes and transfers gave, without the
    // components' steps.
    std::vector<std::string> StatusTexts() const {
        std::vector<std::string> texts;
        for (const std::string& text : PrintedTexts()) {
            if (!IsComponentStep(text)) texts.push_back(text);
        }
        return texts;
    }
    static bool IsComponentStep(const std::string& text) {
        return text.starts_with("Copiado ") || text.find(" registrou ") != std::string::npos;
    }
    int PackageFetches() const {
        std::istringstream in(server->ReceivedCommands());
        int n = 0;
        for (std::string line; std::getline(in, line);) {
            n += line.starts_with("RETR") && line.ends_with("mysql.zip");
        }
        return n;
    }

    frmInstall& form() { return run->form(); }
    const UnattendedDriver& driver() { return *run->driver(); }
    int exitCode() { return run->ExitCode(backend.exitCode); }

    void ExpectProductInstalled() {
        const auto product = ArchiveFiles(payload / "kelvoranx.zip");
        ASSERT_GT(product.size(), 300u);
        int matching = 0;
        for (const auto& [name, content] : product) {
            const fs::path installed =
                prefix.Host("C:\\Quorimetra\\Kelvoran\\" + WindowsPath(name));
            const bool same =
                fs::is_regular_file(installed) && TempPrefix::ReadFile(installed) == content;
            EXPECT_TRUE(same) << name;
            matching += same ? 1 : 0;
        }
        EXPECT_EQ(matching, static_cast<int>(product.size()));
    }
    void ExpectComponentsInPlace() {
        int placed = 0;
        for (const auto& entry : fs::recursive_directory_iterator(payload / "Dlls")) {
            if (!entry.is_regular_file()) continue;
            const std::string folder = entry.path().parent_path().filename().string();
            const std::string name = entry.path().filename().string();
            std::string destination;
            if (folder == "WinSysPath") destination = "C:\\windows\\System32\\" + name;
            if (folder == "WinSysPathSysFile") destination = "C:\\windows\\" + name;
            if (folder == "MSDAOPath") {
                destination = "C:\\Program Files\\Common Files\\microsoft shared\\DAO\\" + name;
            }
            ASSERT_FALSE(destination.empty()) << entry.path();
            const fs::path host = prefix.Host(destination);
            const bool same = fs::is_regular_file(host) &&
                              TempPrefix::ReadFile(host) == TempPrefix::ReadFile(entry.path());
            EXPECT_TRUE(same) << destination;
            placed += same ? 1 : 0;
        }
        EXPECT_EQ(placed, 26);
    }
    void ExpectShortcutOnDesktop() {
        const fs::path link =
            prefix.Host("C:\\users\\" + files::UserName() + "\\Desktop\\kelvoran X.lnk");
        ASSERT_TRUE(fs::is_regular_file(link));
        // A shell link starts with its header size, 0x4C, as a little-endian 32-bit number.
        EXPECT_EQ(TempPrefix::ReadFile(link).substr(0, 4), std::string("\x4C\0\0\0", 4));
    }

    TempPrefix prefix;
    testsupport::WineStandIn wine;
    fs::path payload;
    std::unique_ptr<FtpServer> server;
    forms::HeadlessBackend backend;
    forms::Application app{backend};
    std::ostringstream out;
    std::unique_ptr<app::ProgramRun> run;
};

TEST_F(UnattendedInstall, QuietRunInstallsEverythingAndPrintsEachStatusInOrder) {
    StartServer();
    RunProgram({"/quiet"}, server->address());

    ASSERT_TRUE(backend.terminated) << out.str();
    EXPECT_EQ(backend.exitCode, 0);
    EXPECT_EQ(exitCode(), 0);
    EXPECT_EQ(driver().outcome(), UnattendedDriver::Outcome::Installed);
    EXPECT_EQ(StatusTexts(), InstalledRun(server->address(), payload)) << out.str();
    EXPECT_TRUE(backend.messages.empty());
    // No window to greet from: the start phase did not wait its five seconds.
    EXPECT_LT(backend.NowMs(), 1000);
    ExpectProductInstalled();
    ExpectComponentsInPlace();
    ExpectShortcutOnDesktop();
    // The connector's set-up and one registration per registered component.
    const auto starts = wine.Starts(25);
    EXPECT_EQ(starts.size(), 25u);
    int batches = 0, registrations = 0;
    for (const std::string& start : starts) {
        batches += start.find("mysql.bat") != std::string::npos;
        registrations += start.find("regsvr32") != std::string::npos;
    }
    EXPECT_EQ(batches, 1);
    EXPECT_EQ(registrations, 24);
    // Each copy and each registration has its line in the log, between the two status lines.
    int copied = 0, registered = 0;
    for (const std::string& text : PrintedTexts()) {
        copied += text.starts_with("Copiado " + files::AppPath() + "\\Dlls\\");
        registered += text.find("regsvr32.exe registrou ") != std::string::npos &&
                      text.ends_with(" (código 0)");
    }
    EXPECT_EQ(copied, 26);
    EXPECT_EQ(registered, 24);
}

TEST_F(UnattendedInstall, StoppedServerFailsAfterThreeRetriesFiveSecondsApart) {
    StartServer();
    const std::string address = server->address();
    server.reset();
    RunProgram({"/QUIET"}, address);

    ASSERT_TRUE(backend.terminated) << out.str();
    EXPECT_EQ(exitCode(), 1);
    EXPECT_EQ(driver().outcome(), UnattendedDriver::Outcome::Failed);
    EXPECT_EQ(driver().RetriesMade("lblTenteNovamente"), 3);
    EXPECT_EQ(driver().RetriesMade("lblTente"), 0);
    // The first attempt and three more, each shown on the start panel.
    EXPECT_EQ(StatusTexts(), std::vector<std::string>(4, kNoConnection)) << out.str();
    // The start phase at once, then per retry the 5 s gap and the phase's own 3 s.
    EXPECT_GE(backend.NowMs(), 3 * (5000 + 3000));
    EXPECT_LT(backend.NowMs(), 3 * (5000 + 3000) + 1000);
    EXPECT_TRUE(form().pnInicio.Visible);
    EXPECT_FALSE(form().lblMensagem[1].Visible);
}

TEST_F(UnattendedInstall, TransferDroppedOnceIsRetriedAndTheRunEndsInstalled) {
    StartServer("drop-first-transfer");
    RunProgram({"-quiet"}, server->address());

    ASSERT_TRUE(backend.terminated) << out.str();
    EXPECT_EQ(exitCode(), 0);
    EXPECT_EQ(driver().RetriesMade("lblTenteNovamente"), 1);
    EXPECT_EQ(driver().RetriesMade("lblTente"), 0);
    EXPECT_EQ(PackageFetches(), 2);
    // The dropped package download, then the whole run as without a fault.
    const std::string address = server->address();
    std::vector<std::string> expected = {"Baixando mysql.zip do servidor " + address,
                                         "Fazendo download de arquivos...", kInterrupted};
    const auto installed = InstalledRun(address, payload);
    expected.insert(expected.end(), installed.begin(), installed.end());
    EXPECT_EQ(StatusTexts(), expected) << out.str();
    ExpectProductInstalled();
    ExpectComponentsInPlace();
    ExpectShortcutOnDesktop();
}

TEST_F(UnattendedInstall, ArchiveWithoutItsSignatureEndsTheRunWithOne) {
    fs::remove(payload / "kelvoranx.zip.sig");
    StartServer();
    RunProgram({"/quiet"}, server->address());

    ASSERT_TRUE(backend.terminated) << out.str();
    EXPECT_EQ(exitCode(), 1);
    EXPECT_EQ(driver().outcome(), UnattendedDriver::Outcome::Failed);
    const auto texts = StatusTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "não foi possível verificar a autenticidade do arquivo.") << out.str();
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\Quorimetra\\Install\\kelvoranX.zip")));
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\Quorimetra\\Kelvoran\\kelvoranX.exe")));
}

TEST_F(UnattendedInstall, PassiveRunTakesTheSameRoad) {
    StartServer();
    RunProgram({"/Passive"}, server->address());

    ASSERT_TRUE(backend.terminated) << out.str();
    EXPECT_EQ(exitCode(), 0);
    EXPECT_EQ(StatusTexts(), InstalledRun(server->address(), payload)) << out.str();
    // The window greets for its five seconds first, as for the user.
    EXPECT_GE(backend.NowMs(), 5000);
}

TEST_F(UnattendedInstall, LogOfTheUsersRunTakesItsLinesAndPressesNothing) {
    StartServer();
    RunProgram({"/log", "instalador.log"}, server->address());

    EXPECT_FALSE(backend.terminated);
    EXPECT_TRUE(form().cmdBaixar.Visible);
    EXPECT_FALSE(form().lblMensagem[1].Visible);
    // The start phase's lines, then the window waits for the user.
    std::vector<std::string> expected = InstalledRun(server->address(), payload);
    expected.resize(4);
    EXPECT_EQ(StatusTexts(), expected) << out.str();
}

TEST_F(UnattendedInstall, WithoutArgumentsNothingIsPressedForTheUser) {
    StartServer();
    RunProgram({}, server->address());

    EXPECT_EQ(run->driver(), nullptr);
    EXPECT_FALSE(backend.terminated);
    // The start phase did its own work and opened the download step ...
    EXPECT_FALSE(form().pnInicio.Visible) << form().lblMensagem[3].Caption.get();
    EXPECT_TRUE(form().cmdBaixar.Visible);
    EXPECT_EQ(PackageFetches(), 1);
    // ... and there it waits: no download, nothing printed.
    EXPECT_FALSE(form().lblMensagem[1].Visible);
    EXPECT_FALSE(form().cmdInstalar.Visible);
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\Quorimetra\\Install\\kelvoranX.zip")));
    EXPECT_EQ(server->ReceivedCommands().find("kelvoranx.zip"), std::string::npos);
    EXPECT_EQ(out.str(), "");
    EXPECT_GE(backend.NowMs(), 90000);
}

}  // namespace
