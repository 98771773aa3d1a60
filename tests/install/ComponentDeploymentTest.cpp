// Deployment of the 26 shared components into the prefix's system folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "support/window_harness.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempPrefix;

struct Row {
    std::string source;       // under the installer's folder, with "/" separators
    std::string destination;  // Windows path in the prefix's default folders
    bool registered;
};

// The rows as the product expects them, kept apart from the installer's own table.
std::vector<Row> ExpectedRows() {
    std::vector<Row> rows;
    const char* sys[] = {"COMDLG32.OCX", "htsecurit.ocx", "msado26.tlb",  "mscomct2.ocx",
                         "MSCOMCTL.OCX", "MSDBRPT.DLL",   "MSDBRPT.SRG",  "MSDBRPTR.DEP",
                         "MSDBRPTR.DLL", "MSFLXGRD.OCX",  "MSMASK32.OCX", "MSO.DLL",
                         "MSPPT.OLB",    "msstdfmt.dll",  "RICHED32.DLL", "RICHTX32.OCX",
                         "TABCTL32.OCX", "THREED32.OCX",  "VB5DB.DLL"};
    for (const char* name : sys) {
        const std::string n = name;
        rows.push_back({"Dlls/WinSysPath/" + n, "C:\\windows\\System32\\" + n,
                        n != "MSDBRPT.SRG" && n != "MSDBRPTR.DEP"});
    }
    for (const char* name : {"MSJET35.DLL", "MSJINT35.DLL", "MSJTER35.DLL", "MSRD2X35.DLL",
                             "msvbvm60.DLL", "VB6STKIT.DLL"})
        rows.push_back({std::string("Dlls/WinSysPathSysFile/") + name,
                        std::string("C:\\windows\\") + name, true});
    rows.push_back({"Dlls/MSDAOPath/DAO350.DLL",
                    "C:\\Program Files\\Common Files\\microsoft shared\\DAO\\DAO350.DLL", true});
    return rows;
}

class ComponentDeployment : public windowtest::WindowTest {
  protected:
    void SetUp() override { ASSERT_EQ(rows.size(), 26u); }

    // Row numbers count from 1, as the table does.
    void WriteSources(int first, int last) {
        for (int i = first; i <= last; ++i)
            TempPrefix::WriteFile(prefix.appDir / rows[i - 1].source, "new " + rows[i - 1].source);
    }
    void WriteDestinations(int first, int last) {
        for (int i = first; i <= last; ++i) TempPrefix::WriteFile(Dest(i), "old");
    }
    void MakeDaoFolder() {
        fs::create_directories(
            prefix.Host("C:\\Program Files\\Common Files\\microsoft shared\\DAO"));
    }
    fs::path Dest(int row) const { return prefix.Host(rows[row - 1].destination); }
    bool Started(const std::vector<std::string>& starts, int row) const {
        return std::any_of(starts.begin(), starts.end(), [&](const std::string& s) {
            return s.find(rows[row - 1].destination) != std::string::npos;
        });
    }

    const std::vector<Row> rows = ExpectedRows();
};

TEST_F(ComponentDeployment, EverythingPresentCopiesAndStartsNothing) {
    WriteDestinations(1, 26);
    EXPECT_TRUE(window.form->RegistraDlls());
    EXPECT_TRUE(window.backend.messages.empty());
    EXPECT_TRUE(wine.StartsSettled().empty());
    for (int i = 1; i <= 26; ++i) EXPECT_EQ(TempPrefix::ReadFile(Dest(i)), "old") << i;
}

TEST_F(ComponentDeployment, MissingComponentsAreCopiedAndRegisteredButDataFilesNot) {
    WriteSources(1, 26);
    MakeDaoFolder();

    EXPECT_TRUE(window.form->RegistraDlls());

    EXPECT_TRUE(window.backend.messages.empty());
    for (int i = 1; i <= 26; ++i)
        EXPECT_EQ(TempPrefix::ReadFile(Dest(i)), "new " + rows[i - 1].source) << i;
    // The Jet engine files go to the Windows folder itself.
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\windows\\System32\\MSJET35.DLL")));

    const auto starts = wine.Starts(24);
    ASSERT_EQ(starts.size(), 24u);
    for (int i = 1; i <= 26; ++i) EXPECT_EQ(Started(starts, i), rows[i - 1].registered) << i;
    // The registrar by full path (the prefix's own), then /s and one quoted path argument.
    const std::string registrar = prefix.Host("C:\\windows\\System32\\regsvr32.exe").string();
    for (const std::string& s : starts) {
        EXPECT_EQ(s.rfind(registrar + " | /s | C:\\", 0), 0u) << s;
        EXPECT_EQ(std::count(s.begin(), s.end(), '|'), 3) << s;
    }
}

TEST_F(ComponentDeployment, EnvironmentChoosesTheDestinationRoots) {
    testsupport::ScopedEnv windir("WINDIR", "C:\\outro");
    testsupport::ScopedEnv common("commonprogramfiles", "C:\\Comum");
    WriteSources(1, 26);
    TempPrefix::WriteFile(prefix.Host("C:\\outro\\System32") / "regsvr32.exe", "MZ");
    fs::create_directories(prefix.Host("C:\\Comum\\microsoft shared\\DAO"));

    EXPECT_TRUE(window.form->RegistraDlls());

    EXPECT_TRUE(fs::exists(prefix.Host("C:\\outro\\System32\\COMDLG32.OCX")));
    EXPECT_TRUE(fs::exists(prefix.Host("C:\\outro\\VB6STKIT.DLL")));
    EXPECT_TRUE(fs::exists(prefix.Host("C:\\Comum\\microsoft shared\\DAO\\DAO350.DLL")));
    EXPECT_FALSE(fs::exists(Dest(1)));
}

// A fresh system has no folder for the database engine's shared files yet: it is made.
TEST_F(ComponentDeployment, MissingDaoFolderIsMade) {
    WriteSources(1, 26);

    EXPECT_TRUE(window.form->RegistraDlls());

    EXPECT_TRUE(window.backend.messages.empty());
    for (int i = 1; i <= 26; ++i) EXPECT_TRUE(fs::exists(Dest(i))) << i;
}

// A component whose registrar fails stops the deployment with its number and the file named;
// the rows after it are not touched.
TEST_F(ComponentDeployment, FailedRegistrationStopsWithTheRegistrarsCode) {
    testsupport::ScopedEnv failing("KV_WINE_STAND_IN_EXIT", "3");
    WriteSources(1, 26);

    EXPECT_FALSE(window.form->RegistraDlls());

    ASSERT_EQ(window.backend.messages.size(), 1u);
    EXPECT_EQ(window.backend.messages[0],
              "Ocorreu um erro na instalação: 3 - C:\\windows\\System32\\COMDLG32.OCX não foi "
              "registrado: o arquivo não pôde ser carregado");
    EXPECT_TRUE(fs::exists(Dest(1)));
    for (int i = 2; i <= 26; ++i) EXPECT_FALSE(fs::exists(Dest(i))) << i;
}

TEST_F(ComponentDeployment, MissingSourceStopsAtItsRowAndNamesIt) {
    WriteDestinations(1, 4);
    WriteSources(6, 26);
    MakeDaoFolder();

    EXPECT_FALSE(window.form->RegistraDlls());

    ASSERT_EQ(window.backend.messages.size(), 1u);
    EXPECT_EQ(window.backend.messages[0],
              "Ocorreu um erro na instalação, arquivo não encontrado: " + files::AppPath() +
                  "\\Dlls\\WinSysPath\\MSCOMCTL.OCX");
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(TempPrefix::ReadFile(Dest(i)), "old") << i;
    for (int i = 5; i <= 26; ++i) EXPECT_FALSE(fs::exists(Dest(i))) << i;
    EXPECT_TRUE(wine.StartsSettled().empty());
}

TEST_F(ComponentDeployment, OlderComponentInPlaceIsNeitherReplacedNorRegistered) {
    WriteSources(1, 26);
    MakeDaoFolder();
    WriteDestinations(10, 10);

    EXPECT_TRUE(window.form->RegistraDlls());

    EXPECT_EQ(TempPrefix::ReadFile(Dest(10)), "old");
    const auto starts = wine.Starts(23);
    EXPECT_EQ(starts.size(), 23u);
    EXPECT_FALSE(Started(starts, 10));
}

// Real PE files of each kind (the demo's component, built by MinGW-w64 for 32 and 64 bits) in a
// 64-bit prefix and in a 32-bit one: where each goes and which registrar it is handed to.
class ComponentKinds : public ComponentDeployment {
  protected:
    void SetUp() override {
        ComponentDeployment::SetUp();
        for (const char* name : {"component.dll", "component32.dll"}) {
            if (!fs::exists(fs::path(KV_DEMO_WINDOWS_DIR) / name))
                GTEST_SKIP() << "no MinGW-w64 build of " << name;
        }
    }
    void WriteImages(const char* library) {
        for (int i = 1; i <= 26; ++i) {
            const fs::path target = prefix.appDir / rows[i - 1].source;
            fs::create_directories(target.parent_path());
            fs::copy_file(fs::path(KV_DEMO_WINDOWS_DIR) / library, target);
        }
    }
    void MakeWow64Prefix() {
        fs::create_directories(prefix.Host("C:\\windows\\syswow64"));
        TempPrefix::WriteFile(prefix.Host("C:\\windows\\syswow64") / "regsvr32.exe", "MZ");
    }
};

TEST_F(ComponentKinds, ThirtyTwoBitFilesGoToTheWow64FoldersOfA64BitPrefix) {
    MakeWow64Prefix();
    WriteImages("component32.dll");

    EXPECT_TRUE(window.form->RegistraDlls());

    EXPECT_TRUE(window.backend.messages.empty());
    EXPECT_TRUE(fs::exists(prefix.Host("C:\\windows\\syswow64\\COMDLG32.OCX")));
    EXPECT_TRUE(fs::exists(prefix.Host("C:\\windows\\MSJET35.DLL")));
    EXPECT_TRUE(fs::exists(
        prefix.Host("C:\\Program Files (x86)\\Common Files\\microsoft shared\\DAO\\DAO350.DLL")));
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\windows\\System32\\COMDLG32.OCX")));
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\Program Files\\Common Files\\microsoft shared")));

    const std::string registrar = prefix.Host("C:\\windows\\syswow64\\regsvr32.exe").string();
    const auto starts = wine.Starts(24);
    ASSERT_EQ(starts.size(), 24u);
    EXPECT_EQ(starts[0], registrar + " | /s | C:\\windows\\syswow64\\COMDLG32.OCX | ");
    EXPECT_EQ(starts[17], registrar + " | /s | C:\\windows\\MSJET35.DLL | ");
    EXPECT_EQ(starts[23], registrar +
                              " | /s | C:\\Program Files (x86)\\Common Files\\microsoft "
                              "shared\\DAO\\DAO350.DLL | ");
}

TEST_F(ComponentKinds, SixtyFourBitFilesGoToTheNativeFoldersOfA64BitPrefix) {
    MakeWow64Prefix();
    WriteImages("component.dll");

    EXPECT_TRUE(window.form->RegistraDlls());

    EXPECT_TRUE(fs::exists(prefix.Host("C:\\windows\\System32\\MSCOMCTL.OCX")));
    EXPECT_TRUE(fs::exists(
        prefix.Host("C:\\Program Files\\Common Files\\microsoft shared\\DAO\\DAO350.DLL")));
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\windows\\syswow64\\MSCOMCTL.OCX")));
    const auto starts = wine.Starts(24);
    ASSERT_EQ(starts.size(), 24u);
    EXPECT_EQ(starts[4], prefix.Host("C:\\windows\\System32\\regsvr32.exe").string() +
                             " | /s | C:\\windows\\System32\\MSCOMCTL.OCX | ");
}

// A 32-bit prefix has one view: 32-bit files in System32. And a 32-bit registrar that is not
// there (a 64-bit prefix whose Wine has no 32-bit side) cannot start: the deployment stops.
TEST_F(ComponentKinds, ThirtyTwoBitPrefixHasOneViewAndAMissingRegistrarStops) {
    WriteImages("component32.dll");
    EXPECT_TRUE(window.form->RegistraDlls());
    EXPECT_TRUE(fs::exists(prefix.Host("C:\\windows\\System32\\COMDLG32.OCX")));
    EXPECT_EQ(wine.Starts(24).size(), 24u);

    fs::create_directories(prefix.Host("C:\\windows\\syswow64"));
    window.backend.messages.clear();
    EXPECT_FALSE(window.form->RegistraDlls());
    ASSERT_EQ(window.backend.messages.size(), 1u);
    EXPECT_EQ(window.backend.messages[0],
              "Ocorreu um erro na instalação: 53 - O registrador "
              "C:\\windows\\syswow64\\regsvr32.exe não pôde ser iniciado para registrar "
              "C:\\windows\\syswow64\\COMDLG32.OCX");
    EXPECT_TRUE(fs::exists(prefix.Host("C:\\windows\\syswow64\\COMDLG32.OCX")));
}

}  // namespace
