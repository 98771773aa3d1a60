// Extraction of both archives, called directly on a window in either phase.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "install/Module2.h"
#include "platform/files/files.h"
#include "support/window_harness.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempPrefix;
using windowtest::kGrey;
using windowtest::kRed;

constexpr auto kProductFolder = "C:\\Quorimetra\\Kelvoran\\";
constexpr auto kInstallFolder = "C:\\Quorimetra\\Install";

class Extraction : public windowtest::WindowTest {
  protected:
    void SetUp() override {
        fs::create_directories(prefix.Host(kProductFolder));
        fs::create_directories(prefix.Host(kInstallFolder));
    }
    bool Extract(const std::string& archive, const std::string& target) {
        return DescompactaArquivo(form(), archive, target, true);
    }
};

TEST_F(Extraction, ProductArchiveLandsWithSubfoldersAndDisablesInstallButton) {
    form().pnInicio.Visible = false;
    windowtest::WriteZip(prefix.Host("C:\\Quorimetra\\Install\\kelvoranx.zip"),
                         {{"kelvoranX.exe", "exe"}, {"dados/", ""}, {"dados/base.mdb", "mdb"}});

    EXPECT_TRUE(Extract("C:\\Quorimetra\\Install\\kelvoranx.zip", kProductFolder));

    EXPECT_EQ(TempPrefix::ReadFile(prefix.Host("C:\\Quorimetra\\Kelvoran\\kelvoranX.exe")), "exe");
    EXPECT_EQ(TempPrefix::ReadFile(prefix.Host("C:\\Quorimetra\\Kelvoran\\dados\\base.mdb")),
              "mdb");
    EXPECT_EQ(form().lblMensagem[2].Caption.get(), "Arquivos extraídos com sucesso!");
    EXPECT_EQ(form().lblMensagem[2].ForeColor, kGrey);
    EXPECT_FALSE(form().cmdInstalar.Enabled);
    EXPECT_TRUE(fs::exists(prefix.Host("C:\\Quorimetra\\Install\\kelvoranx.zip")));
    EXPECT_TRUE(wine.StartsSettled().empty());
}

// A file where the archive has a top-level folder of that name can only give way to the
// pre-extraction deletion; the copy itself could not put the folder there.
TEST_F(Extraction, TopLevelClashesAreDeletedFirstWithOrWithoutTrailingSeparator) {
    form().pnInicio.Visible = false;
    for (const std::string target : {"C:\\Quorimetra\\Kelvoran\\", "C:\\Quorimetra\\Kelvoran"}) {
        SCOPED_TRACE(target);
        const fs::path folder = prefix.Host("C:\\Quorimetra\\Kelvoran");
        fs::remove_all(folder / "dados");
        TempPrefix::WriteFile(folder / "dados", "a file in the folder's way");
        TempPrefix::WriteFile(folder / "leia.txt", "old");
        windowtest::WriteZip(prefix.Host("C:\\Quorimetra\\p.zip"),
                             {{"leia.txt", "new"}, {"dados/", ""}, {"dados/x.txt", "x"}});

        EXPECT_TRUE(Extract("C:\\Quorimetra\\p.zip", target))
            << form().lblMensagem[2].Caption.get();
        EXPECT_TRUE(fs::is_directory(folder / "dados"));
        EXPECT_EQ(TempPrefix::ReadFile(folder / "leia.txt"), "new");
    }
}

TEST_F(Extraction, DatabasePackageStartsConnectorDeletesPackageAndEndsStartPhase) {
    ASSERT_TRUE(form().pnInicio.Visible);
    form().lblMensagem[3].Caption = "Download efetuado com sucesso!";
    windowtest::WriteZip(prefix.Host("C:\\Quorimetra\\Install\\mysql.zip"),
                         {{"mysql.bat", "@echo off\r\n"}, {"mysql_conector.msi", "msi"}});

    EXPECT_TRUE(Extract("C:\\Quorimetra\\Install\\mysql.zip", kInstallFolder));

    EXPECT_TRUE(fs::exists(prefix.Host("C:\\Quorimetra\\Install\\mysql_conector.msi")));
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\Quorimetra\\Install\\mysql.zip")));
    const auto starts = wine.Starts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_NE(starts[0].find("cmd | /c | "), std::string::npos) << starts[0];
    EXPECT_NE(starts[0].find("mysql.bat"), std::string::npos) << starts[0];
    EXPECT_FALSE(form().pnInicio.Visible);
    EXPECT_TRUE(form().cmdBaixar.Visible);  // the download step is open
    EXPECT_EQ(form().lblMensagem[3].Caption.get(), "Download efetuado com sucesso!");
}

TEST_F(Extraction, PackageWithoutConnectorFilesKeepsStartPanel) {
    windowtest::WriteZip(prefix.Host("C:\\Quorimetra\\Install\\mysql.zip"),
                         {{"mysql_conector.msi", "msi"}});

    EXPECT_FALSE(Extract("C:\\Quorimetra\\Install\\mysql.zip", kInstallFolder));

    EXPECT_EQ(form().lblMensagem[3].Caption.get(), "Erro ao instalar conector MySql!");
    EXPECT_EQ(form().lblMensagem[3].ForeColor, kRed);
    EXPECT_TRUE(form().pnInicio.Visible);
    EXPECT_TRUE(fs::exists(prefix.Host("C:\\Quorimetra\\Install\\mysql.zip")));
    EXPECT_TRUE(wine.StartsSettled().empty());
}

// Each failure goes to the status line of the phase under way, made visible and red.
TEST_F(Extraction, FailuresAreReportedOnTheCurrentPhasesLine) {
    windowtest::WriteZip(prefix.Host("C:\\Quorimetra\\Install\\kelvoranx.zip"), {{"a.txt", "a"}});
    TempPrefix::WriteFile(prefix.Host("C:\\Quorimetra\\Install\\torto.zip"), "PK not really");
    windowtest::WriteZip(prefix.Host("C:\\Quorimetra\\Install\\fuga.zip"),
                         {{"bom.txt", "ok"}, {"../../fuga.txt", "escaped"}});
    struct Case {
        bool startPhase;
        std::string archive, target, expected;  // expected: whole text, or a prefix ending ": "
    };
    const Case cases[] = {
        {false, "C:\\Quorimetra\\Install\\kelvoranx.zip", "C:\\Quorimetra\\Nenhuma\\",
         "Error 53: Folder not found"},
        {true, "C:\\Quorimetra\\Install\\falta.zip", kInstallFolder,
         "Arquivo: C:\\Quorimetra\\Install\\falta.zip\rNão encontrado ou está corrompido!"},
        {false, "C:\\Quorimetra\\Install\\torto.zip", kProductFolder, "Error "},
        {true, "C:\\Quorimetra\\Install\\fuga.zip", kInstallFolder, "Error "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive + " -> " + c.target);
        form().pnInicio.Visible = c.startPhase;
        forms::Label& line = form().lblMensagem[c.startPhase ? 3 : 2];
        forms::Label& other = form().lblMensagem[c.startPhase ? 2 : 3];
        line.Visible = false;
        other.Caption = "untouched";
        form().cmdInstalar.Enabled = true;

        EXPECT_FALSE(Extract(c.archive, c.target));

        EXPECT_TRUE(line.Visible);
        EXPECT_EQ(line.ForeColor, kRed);
        if (c.expected == "Error ") {
            EXPECT_EQ(line.Caption.get().rfind("Error ", 0), 0u) << line.Caption.get();
            EXPECT_GT(line.Caption.get().size(), 10u) << "a number and a description";
        } else {
            EXPECT_EQ(line.Caption.get(), c.expected);
        }
        EXPECT_EQ(other.Caption.get(), "untouched");
        EXPECT_TRUE(form().cmdInstalar.Enabled);
        EXPECT_EQ(form().pnInicio.Visible, c.startPhase);
    }
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\fuga.txt")));
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\Quorimetra\\Install\\bom.txt")));
    EXPECT_TRUE(wine.StartsSettled().empty());
}

// The pre-extraction deletion waits for the whole archive's check: a refused archive leaves the
// product's files as they were, top-level clashes included.
TEST_F(Extraction, RefusedArchiveDeletesNothingOfTheProductFolder) {
    form().pnInicio.Visible = false;
    const fs::path folder = prefix.Host(kProductFolder);
    TempPrefix::WriteFile(folder / "kelvoranX.exe", "installed");
    windowtest::WriteZip(prefix.Host("C:\\Quorimetra\\Install\\kelvoranx.zip"),
                         {{"kelvoranX.exe", "new"}, {"dados/../../../fuga.txt", "escaped"}});

    EXPECT_FALSE(Extract("C:\\Quorimetra\\Install\\kelvoranx.zip", kProductFolder));

    EXPECT_EQ(form().lblMensagem[2].ForeColor, kRed);
    EXPECT_EQ(TempPrefix::ReadFile(folder / "kelvoranX.exe"), "installed");
}

// An empty target would name the process's current folder on the host: it names nothing.
TEST_F(Extraction, EmptyTargetEndsOnTheErrorRoad) {
    form().pnInicio.Visible = false;
    windowtest::WriteZip(prefix.Host("C:\\Quorimetra\\Install\\kelvoranx.zip"), {{"a.txt", "a"}});
    const fs::path here = prefix.root / "cwd";
    fs::create_directories(here);
    const fs::path before = fs::current_path();
    fs::current_path(here);

    const bool extracted = Extract("C:\\Quorimetra\\Install\\kelvoranx.zip", "");

    fs::current_path(before);
    EXPECT_FALSE(extracted);
    EXPECT_EQ(form().lblMensagem[2].Caption.get(), "Error 53: Folder not found");
    EXPECT_TRUE(fs::is_empty(here));
}

TEST_F(Extraction, ShellTemporaryFilesAreCleanedButFoldersKept) {
    form().pnInicio.Visible = false;
    const fs::path temp = prefix.Host("C:\\users\\" + files::UserName() + "\\Temp");
    TempPrefix::WriteFile(temp / "Temporary Directory 1 for kelvoranx.zip", "t");
    fs::create_directories(temp / "Temporary Directory 2 for kelvoranx.zip");
    TempPrefix::WriteFile(temp / "guardar.txt", "keep");
    windowtest::WriteZip(prefix.Host("C:\\Quorimetra\\Install\\kelvoranx.zip"), {{"a.txt", "a"}});

    ASSERT_TRUE(Extract("C:\\Quorimetra\\Install\\kelvoranx.zip", kProductFolder));

    EXPECT_FALSE(fs::exists(temp / "Temporary Directory 1 for kelvoranx.zip"));
    EXPECT_TRUE(fs::is_directory(temp / "Temporary Directory 2 for kelvoranx.zip"));
    EXPECT_TRUE(fs::exists(temp / "guardar.txt"));
}

// Only where Wine itself is installed: the connector's batch file really runs, hidden.
TEST_F(Extraction, RealWineRunsConnectorBatchFile) {
    bool realWine = fs::exists("/usr/lib/wine/wine64");
    for (const char* name : {"/usr/bin/wine", "/usr/bin/wine64", "/usr/local/bin/wine"})
        realWine = realWine || fs::exists(name);
    if (!realWine) GTEST_SKIP() << "Wine is absent on this machine; the connector cannot run";

    testsupport::ScopedEnv noStandIn("PATH", "/usr/local/bin:/usr/bin:/bin");
    windowtest::WriteZip(
        prefix.Host("C:\\Quorimetra\\Install\\mysql.zip"),
        {{"mysql.bat", "@echo off\r\necho ok> C:\\Quorimetra\\Install\\feito.txt\r\n"},
         {"mysql_conector.msi", "msi"}});
    ASSERT_TRUE(Extract("C:\\Quorimetra\\Install\\mysql.zip", kInstallFolder));

    const fs::path done = prefix.Host("C:\\Quorimetra\\Install\\feito.txt");
    for (int i = 0; i < 1200 && !fs::exists(done); ++i)  // Wine's first start builds the prefix
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(fs::exists(done));
}

}  // namespace
