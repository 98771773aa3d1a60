// A window on the headless backend inside a throwaway prefix, with a stand-in for Wine on PATH
// that records the command lines it is given.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "platform/forms/headless.h"
#include "support/prefix.h"
#include "window/frmInstall.h"

namespace windowtest {

namespace fs = std::filesystem;

constexpr forms::Color kRed = forms::RGB(255, 0, 0);
constexpr forms::Color kGrey = forms::RGB(192, 192, 192);

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        backend.Attach(app);
        if (const char* path = std::getenv("PATH")) oldPath_ = path;
        bin_ = prefix.root / "fake-bin";
        fs::create_directories(bin_);
        wineLog_ = prefix.root / "wine-argv.txt";
        testsupport::TempPrefix::WriteFile(
            bin_ / "wine", "#!/bin/sh\nreadlink /proc/self/fd/9 9>&1 > \"" + wineLog_.string() +
                               ".stdout\"\n" + "printf '%s\\n' \"$@\" > \"" + wineLog_.string() +
                               ".part\" && mv \"" + wineLog_.string() + ".part\" \"" +
                               wineLog_.string() + "\"\n");
        fs::permissions(bin_ / "wine", fs::perms::owner_all);
        ::setenv("PATH", (bin_.string() + ":" + oldPath_).c_str(), 1);
    }
    void TearDown() override {
        form.reset();
        ::setenv("PATH", oldPath_.c_str(), 1);
    }

    // Creates the window and runs its load step as the program does.
    frmInstall& Load() {
        form = std::make_unique<frmInstall>(app);
        // Nothing listens on port 1: a download attempt fails at once, without a server.
        form->txtServer.Text = "127.0.0.1:1";
        app.Dispatch([this] { form->Form_Load(); });
        return *form;
    }

    fs::path InstallFile(const std::string& name) const {
        return prefix.DriveC() / "Quorimetra" / "Install" / name;
    }
    fs::path AppFile(const std::string& name) const { return prefix.appDir / name; }
    static void Write(const fs::path& path, const std::string& content = "x") {
        testsupport::TempPrefix::WriteFile(path, content);
    }

    // The arguments the stand-in Wine was started with, one a line; "" when it was not started
    // within a few seconds.
    std::string WineArguments() const {
        for (int i = 0; i < 500 && !fs::exists(wineLog_); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!fs::exists(wineLog_)) return "";
        return testsupport::TempPrefix::ReadFile(wineLog_);
    }
    bool WineStarted() const { return fs::exists(wineLog_); }
    // Where the started program's output went (a hidden start has none: "/dev/null").
    std::string WineOutput() const {
        if (WineArguments().empty()) return "";
        return testsupport::TempPrefix::ReadFile(wineLog_.string() + ".stdout");
    }

    // Puts the window in "Ready to download" through the local road.
    frmInstall& LoadToDownloadStep() {
        Write(AppFile("mysql.bat"));
        frmInstall& f = Load();
        backend.Advance(5000);
        return f;
    }

    testsupport::TempPrefix prefix;
    forms::HeadlessBackend backend;
    forms::Application app{backend};
    std::unique_ptr<frmInstall> form;

  private:
    std::string oldPath_;
    fs::path bin_;
    fs::path wineLog_;
};

}  // namespace windowtest
