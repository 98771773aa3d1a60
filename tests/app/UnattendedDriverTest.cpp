// The unattended driver on the headless backend: its clicks, retries, outcome and output.
#include "app/UnattendedDriver.h"

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/QuietBackend.h"
#include "support/window_harness.h"

namespace {

using app::UnattendedDriver;
using windowtest::kRed;
using windowtest::WindowTest;
namespace fs = std::filesystem;

class Unattended : public WindowTest {
  protected:
    void TearDown() override {
        driver.reset();
        WindowTest::TearDown();
    }

    // The window and the driver as main() makes them: the driver before the load step.
    UnattendedDriver& Start() {
        window.UseServer("127.0.0.1:1");
        driver = std::make_unique<UnattendedDriver>(window.app, form(), out);
        window.app.Dispatch([this] { form().Form_Load(); });
        return *driver;
    }
    // The download and install stages stood in for by the test, reached through the buttons'
    // captions that the driver's clicks land on.
    void FakeStages(std::function<void()> download, std::function<void()> install) {
        window.form.reset();
        window.form = std::make_unique<frmInstall>(window.app);
        form().lblBaixar.Click = std::move(download);
        form().lblInstalar.Click = std::move(install);
    }
    void OpenInstallStep() {
        form().pnCheck[1].Visible = true;
        form().cmdBaixar.Enabled = false;
        form().lblEtapa[2].Visible = true;
        form().cmdInstalar.Visible = true;
    }
    void ShowInstalled() {
        form().lblMensagem[2].Visible = true;
        form().lblMensagem[2].Caption = "Programa instalado com sucesso!";
        form().installed = true;
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::ostringstream out;
    std::unique_ptr<UnattendedDriver> driver;
};

TEST_F(Unattended, PressesEachButtonOnceItsStepOpensAndEndsInstalled) {
    int downloads = 0, installs = 0;
    FakeStages([&] { ++downloads, OpenInstallStep(); }, [&] { ++installs, ShowInstalled(); });
    Write(AppFile("mysql.bat"));
    UnattendedDriver& d = Start();

    window.backend.Advance(4999);
    EXPECT_EQ(downloads, 0);
    window.backend.Advance(1000);
    EXPECT_EQ(downloads, 1);
    EXPECT_EQ(installs, 1);
    EXPECT_EQ(d.outcome(), UnattendedDriver::Outcome::Installed);
    EXPECT_EQ(d.ExitCode(), 0);
    EXPECT_TRUE(window.backend.terminated);
    EXPECT_EQ(window.backend.exitCode, 0);
}

TEST_F(Unattended, NeverClicksWhileAHandlerIsRunning) {
    bool installedDuringDownload = false;
    bool downloading = false;
    FakeStages(
        [&] {
            downloading = true;
            OpenInstallStep();
            // The stage yields with the next button already showing, as a transfer does.
            for (int i = 0; i < 5; ++i) {
                window.backend.Advance(50);
                window.app.DoEvents();
            }
            downloading = false;
        },
        [&] {
            installedDuringDownload = downloading;
            ShowInstalled();
        });
    Write(AppFile("mysql.bat"));
    UnattendedDriver& d = Start();
    window.backend.Advance(6000);
    EXPECT_EQ(d.outcome(), UnattendedDriver::Outcome::Installed);
    EXPECT_FALSE(installedDuringDownload);
}

TEST_F(Unattended, FailureWithoutRetryEndsWithOneAndPrintsTheStatus) {
    Write(AppFile("mysql.bat"));
    UnattendedDriver& d = Start();
    window.backend.Advance(6000);
    // The real download attempt: no server, no retry link.
    EXPECT_EQ(d.outcome(), UnattendedDriver::Outcome::Failed);
    EXPECT_TRUE(window.backend.terminated);
    EXPECT_EQ(window.backend.exitCode, 1);
    const auto lines = Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(
        lines.back(),
        std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d sem conexão, tente mais tarde)")))
        << lines.back();
}

TEST_F(Unattended, StartFailureIsRetriedThreeTimesFiveSecondsApart) {
    UnattendedDriver& d = Start();
    window.backend.Advance(5000);  // the download road fails at once without a server
    ASSERT_TRUE(form().lblTenteNovamente.Visible);
    window.backend.Advance(4990);
    EXPECT_TRUE(form().lblTenteNovamente.Visible) << "retried before five seconds";
    window.backend.Advance(20);
    EXPECT_FALSE(form().lblTenteNovamente.Visible);
    EXPECT_EQ(form().Timer2.Interval, 3000);
    EXPECT_EQ(d.RetriesMade("lblTenteNovamente"), 1);

    for (int step = 0; step < 600 && !window.backend.terminated; ++step)
        window.backend.Advance(100);
    EXPECT_EQ(d.RetriesMade("lblTenteNovamente"), UnattendedDriver::kMaxRetries);
    EXPECT_EQ(d.outcome(), UnattendedDriver::Outcome::Failed);
    ASSERT_TRUE(window.backend.terminated);
    EXPECT_EQ(window.backend.exitCode, 1);
    // Four attempts in all: the first and three retries, each 5 s + 3 s after the one before.
    EXPECT_GE(window.backend.NowMs(), 5000 + 3 * 8000);
    EXPECT_LE(window.backend.NowMs(), 5000 + 3 * 8000 + 200);
}

TEST_F(Unattended, DownloadFailureIsRetriedThroughTheLink) {
    // The first attempt fails in its transfer and offers the link; the link's runs reach the
    // real download stage, which finds no server and leaves the link where it was.
    FakeStages(
        [&] {
            form().lblMensagem[1].Visible = true;
            form().lblMensagem[1].ForeColor = kRed;
            form().lblMensagem[1].Caption = "conexão com o servidor foi interrompida.";
            form().lblTente.Visible = true;
        },
        [] {});
    Write(AppFile("mysql.bat"));
    UnattendedDriver& d = Start();
    for (int step = 0; step < 600 && !window.backend.terminated; ++step)
        window.backend.Advance(100);
    EXPECT_EQ(d.RetriesMade("lblTente"), UnattendedDriver::kMaxRetries);
    EXPECT_EQ(d.outcome(), UnattendedDriver::Outcome::Failed);
    EXPECT_EQ(window.backend.exitCode, 1);
    int waits = 0;
    for (const std::string& line : Lines()) waits += line.ends_with(" Aguarde...") ? 1 : 0;
    EXPECT_EQ(waits, UnattendedDriver::kMaxRetries) << out.str();
}

TEST_F(Unattended, PrintsStatusLinesAndMessagesOneLineEach) {
    FakeStages(
        [&] {
            window.app.MsgBox("Falha ao registrar\r\ncomponente");
            form().lblMensagem[1].Visible = true;
            form().lblMensagem[1].ForeColor = kRed;
            form().lblMensagem[1].Caption =
                "Arquivo: C:\\x.zip\rNão encontrado ou está corrompido!";
        },
        [] {});
    Write(AppFile("mysql.bat"));
    Start();
    // Changes of other labels are not status lines.
    form().lblEtapa[1].Caption = "not a status line";
    window.backend.Advance(6000);
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u) << out.str();
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d Falha ao registrar componente)")))
        << lines[0];
    EXPECT_TRUE(std::regex_match(
        lines[1],
        std::regex(
            R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d Arquivo: C:\\x\.zip Não encontrado ou está corrompido!)")))
        << lines[1];
    EXPECT_EQ(window.backend.exitCode, 1);
}

TEST_F(Unattended, StatusLineIsPrintedWhenItComesIntoViewAndOnEachChangeWhileShown) {
    FakeStages(
        [&] {
            // The start panel is gone by now: its line changes unseen.
            form().lblMensagem[3].Visible = true;
            form().lblMensagem[3].Caption = "unseen";
            // Shown with its design-time text, which stays while the bar appears.
            form().lblMensagem[1].Visible = true;
            form().pbBar.Visible = true;
            form().lblMensagem[1].Caption = "a";
            form().lblMensagem[1].Caption = "a";
            form().lblMensagem[1].Caption = "b";
            form().lblMensagem[1].Visible = false;
            form().lblMensagem[1].Caption = "set while hidden";
            form().lblMensagem[1].Visible = true;
            // The panel's line comes into view with its container.
            form().pnInicio.Visible = true;
        },
        [] {});
    Write(AppFile("mysql.bat"));
    Start();
    window.backend.Advance(6000);
    std::vector<std::string> texts;
    for (const std::string& line : Lines()) texts.push_back(line.substr(20));
    EXPECT_EQ(texts, (std::vector<std::string>{"Fazendo download de arquivos...", "a", "b",
                                               "set while hidden", "unseen"}))
        << out.str();
}

TEST_F(Unattended, ProgramEndedByTheUserCountsAsNotInstalled) {
    UnattendedDriver& d = Start();
    window.backend.Advance(1000);
    window.Click("lblFechar");
    EXPECT_TRUE(window.backend.terminated);
    EXPECT_EQ(window.backend.exitCode, 0);
    EXPECT_EQ(d.ExitCode(), 1);
}

// The whole quiet run on a real clock: the local road with only the connector package stops at
// once, after the start phase's five seconds.
TEST(QuietRun, EndsOnAFailureWithoutAWindow) {
    testsupport::TempPrefix prefix;
    testsupport::TempPrefix::WriteFile(prefix.appDir / "mysql_conector.msi", "x");
    std::ostringstream out;
    app::QuietBackend backend;
    forms::Application application(backend);
    frmInstall form(application);
    UnattendedDriver driver(application, form, out);
    application.Dispatch([&] { form.Form_Load(); });
    const int code = backend.Run(application);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(driver.ExitCode(), 1);
    EXPECT_NE(out.str().find(" Erro ao instalar conector MySql!\n"), std::string::npos)
        << out.str();
}

TEST(QuietRun, MessageBoxReturnsAtOnceAndIsLoggedOnce) {
    testsupport::TempPrefix prefix;
    std::ostringstream out;
    app::QuietBackend backend;
    forms::Application application(backend);
    frmInstall form(application);
    UnattendedDriver driver(application, form, out);
    application.MsgBox("Erro 53");
    EXPECT_TRUE(
        std::regex_match(out.str(), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d Erro 53\n)")))
        << out.str();
}

}  // namespace
