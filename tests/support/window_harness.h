// The installer window under the headless backend, and the fixture of the tests that drive it:
// a throwaway prefix, the stand-in for Wine on PATH, the window, and the files of the
// install folder and of the installer's own folder. On Windows programs start for real and
// there is no stand-in; the zip writer and the closed address are Linux's only.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/forms/headless.h"
#include "support/bytes.h"
#include "support/env_scope.h"
#include "support/prefix.h"
#ifndef _WIN32
#include "support/wine_stand_in.h"
#endif
#include "window/frmInstall.h"

namespace windowtest {

namespace fs = std::filesystem;
using testsupport::ScopedEnv;
using testsupport::TempPrefix;
#ifndef _WIN32
using testsupport::WineStandIn;
#endif

constexpr forms::Color kGrey = forms::RGB(192, 192, 192);
constexpr forms::Color kRed = forms::RGB(255, 0, 0);
constexpr forms::Color kGreen = forms::RGB(0, 255, 0);

#ifndef _WIN32
// A zip archive's entries in order, name and content; a name ending in "/" is a folder.
using Entries = std::vector<std::pair<std::string, std::string>>;
void WriteZip(const fs::path& path, const Entries& entries);

// A server address where nothing listens: a loopback port that was free a moment ago.
std::string ClosedAddress();
#endif

// The bytes of a product archive large enough for many progress events.
std::string ProductPayload();

// The installer window on the headless backend, created as the program creates it.
class Window {
  public:
    Window();
    // Runs the load step as the program does.
    void Load();
    // Points the hidden settings at a test server.
    void UseServer(const std::string& address) { form->txtServer.Text = address; }
    std::string Click(const std::string& control) { return backend.Click(*form, control); }

    forms::HeadlessBackend backend;
    forms::Application app{backend};
    std::unique_ptr<frmInstall> form;
};

class WindowTest : public ::testing::Test {
  protected:
    frmInstall& form() { return *window.form; }

    // Runs the load step with the settings on a port where nothing listens: a download
    // attempt fails at once, without a server.
    frmInstall& Load();
    // Puts the window in "Ready to download" through the local road.
    frmInstall& LoadToDownloadStep();

    // A file of the install folder (C:\Quorimetra\Install) and of the installer's own folder.
    fs::path InstallFile(const std::string& name) const;
    fs::path AppFile(const std::string& name) const { return prefix.appDir / name; }
    static void Write(const fs::path& path, const std::string& content = "x") {
        TempPrefix::WriteFile(path, content);
    }

    // Whether a program was started: on Windows, whether the log of started programs exists.
    bool WineStarted() const;
#ifndef _WIN32
    // The arguments of Wine's latest start, one a line; "" when it was not started within a
    // few seconds.
    std::string WineArguments() const;
    // Where the started program's output went.
    std::string WineOutput() const;
#endif

    TempPrefix prefix;
#ifndef _WIN32
    WineStandIn wine;
#endif
    Window window;
};

}  // namespace windowtest
