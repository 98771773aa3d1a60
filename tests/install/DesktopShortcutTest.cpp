// The desktop shortcut, read back by lnkinfo, an independent reader of Shell Link files.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/files/files.h"
#include "support/window_harness.h"

namespace {

namespace fs = std::filesystem;

// lnkinfo's "Name : value" lines, keys and values trimmed; later lines do not replace earlier.
std::map<std::string, std::string> LnkInfo(const fs::path& file) {
    std::map<std::string, std::string> fields;
    const std::string command = "lnkinfo '" + file.string() + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return fields;
    std::array<char, 4096> buffer{};
    auto trim = [](std::string s) {
        const auto first = s.find_first_not_of(" \t\r\n");
        if (first == std::string::npos) return std::string();
        return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
    };
    while (std::fgets(buffer.data(), buffer.size(), pipe.get())) {
        const std::string line = buffer.data();
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        fields.emplace(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
    }
    return fields;
}

class DesktopShortcut : public windowtest::WindowTest {
  protected:
    void SetUp() override {
        if (std::system("command -v lnkinfo >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "lnkinfo (liblnk-utils) is not installed";
    }
    fs::path Desktop() const {
        return prefix.Host("C:\\users\\" + files::UserName() + "\\Desktop");
    }
};

TEST_F(DesktopShortcut, ProductShortcutCarriesTargetFolderAndDescriptionOnly) {
    window.form->CriaAtalhoDesktop("kelvoran X", "C:\\Quorimetra\\Kelvoran\\kelvoranX.exe", "", "");

    const fs::path link = Desktop() / "kelvoran X.lnk";
    ASSERT_TRUE(fs::exists(link));
    const auto info = LnkInfo(link);
    ASSERT_TRUE(info.count("Local path")) << "lnkinfo could not read the file";
    EXPECT_EQ(info.at("Local path"), "C:\\Quorimetra\\Kelvoran\\kelvoranX.exe");
    EXPECT_EQ(info.count("Working directory") ? info.at("Working directory") : "",
              "C:\\Quorimetra\\Kelvoran\\");
    EXPECT_EQ(info.count("Description") ? info.at("Description") : "", "kelvoran X");
    EXPECT_EQ(info.count("Command line arguments"), 0u);
    EXPECT_EQ(info.count("Hot Key value") ? info.at("Hot Key value") : "missing", "0");
}

TEST_F(DesktopShortcut, WritingTwiceLeavesOneFile) {
    for (int i = 0; i < 2; ++i)
        window.form->CriaAtalhoDesktop("kelvoran X", "C:\\Quorimetra\\Kelvoran\\kelvoranX.exe", "",
                                       "");
    int links = 0;
    for (const auto& entry : fs::directory_iterator(Desktop())) {
        ++links;
        EXPECT_EQ(entry.path().filename(), "kelvoran X.lnk");
    }
    EXPECT_EQ(links, 1);
    EXPECT_EQ(LnkInfo(Desktop() / "kelvoran X.lnk").at("Description"), "kelvoran X");
}

TEST_F(DesktopShortcut, TargetWithoutBackslashHasNoWorkingFolder) {
    window.form->CriaAtalhoDesktop("avulso", "avulso.exe", "", "");

    const auto info = LnkInfo(Desktop() / "avulso.lnk");
    ASSERT_FALSE(info.empty());
    EXPECT_EQ(info.count("Working directory"), 0u);
    EXPECT_EQ(info.count("Description") ? info.at("Description") : "", "avulso");
}

}  // namespace
