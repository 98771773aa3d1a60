// What the stage tests share: the window on the headless backend, zip archives, a stand-in for
// wine on PATH that records every start, and the payload a test server offers.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/files/files.h"
#include "platform/forms/headless.h"
#include "support/env_scope.h"
#include "support/prefix.h"
#include "support/zip_builder.h"
#include "window/frmInstall.h"

namespace stagetest {

namespace fs = std::filesystem;
using Entries = std::vector<std::pair<std::string, std::string>>;  // name, content

constexpr forms::Color kGrey = forms::RGB(192, 192, 192);
constexpr forms::Color kRed = forms::RGB(255, 0, 0);
constexpr forms::Color kGreen = forms::RGB(0, 255, 0);

// Writes a zip archive holding the entries in order; a name ending in "/" is a folder.
inline void WriteZip(const fs::path& path, const Entries& entries) {
    std::vector<testzip::Entry> items;
    for (const auto& [name, content] : entries) {
        items.push_back({name, content, !name.empty() && name.back() == '/'});
    }
    testzip::Write(path, items);
}

using testsupport::ScopedEnv;

// A "wine" in front of PATH that appends one line per start to its log: its arguments joined
// by " | ". It does nothing else, so the Windows programs it is asked to run never run.
class WineStandIn {
  public:
    WineStandIn()
        : dir_(fs::temp_directory_path() /
               ("stages-wine-" + std::to_string(::getpid()) + "-" + std::to_string(++count_))),
          log_(dir_ / "starts.log"),
          path_("PATH", dir_.string() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "")) {
        fs::create_directories(dir_);
        const fs::path script = dir_ / "wine";
        std::ofstream(script) << "#!/bin/sh\n"
                                 "line=\"\"\n"
                                 "for a in \"$@\"; do line=\"$line$a | \"; done\n"
                                 "printf '%s\\n' \"$line\" >> '"
                              << log_.string() << "'\n";
        fs::permissions(script, fs::perms::owner_all);
    }
    ~WineStandIn() {
        // Starts still under way would find their script gone; let them land first.
        for (std::size_t seen = Read().size(), i = 0; i < 20; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const std::size_t now = Read().size();
            if (now == seen) break;
            seen = now;
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    WineStandIn(const WineStandIn&) = delete;
    WineStandIn& operator=(const WineStandIn&) = delete;

    // The starts logged so far, waiting (at most five seconds) until there are at least n of
    // them; the programs run detached, so their lines come in their own time.
    std::vector<std::string> Starts(std::size_t n = 0) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            std::vector<std::string> lines = Read();
            if (lines.size() >= n || std::chrono::steady_clock::now() > deadline) return lines;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    // The starts after a short settling time, for tests that expect none or no more.
    std::vector<std::string> StartsSettled() const {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return Read();
    }

  private:
    std::vector<std::string> Read() const {
        std::vector<std::string> lines;
        std::ifstream in(log_);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    static inline int count_ = 0;
    fs::path dir_;
    fs::path log_;
    ScopedEnv path_;
};

// The installer window on the headless backend, loaded the way the program starts it.
class Window {
  public:
    Window() {
        backend.Attach(app);
        form = std::make_unique<frmInstall>(app);
    }
    void Load() {
        app.Dispatch([this] { form->Form_Load(); });
    }
    // Points the hidden settings at a test server.
    void UseServer(const std::string& address) { form->txtServer.Text = address; }
    std::string Click(const std::string& control) { return backend.Click(*form, control); }

    forms::HeadlessBackend backend;
    forms::Application app{backend};
    std::unique_ptr<frmInstall> form;
};

// A server address where nothing listens: a loopback port that was free a moment ago.
inline std::string ClosedAddress() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 1;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (s >= 0) ::close(s);
    return "127.0.0.1:" + std::to_string(port);
}

// Bytes that do not compress, so that an archive holding them stays as large as they are.
inline std::string Incompressible(std::size_t size) {
    std::string data(size, '\0');
    std::uint32_t state = 12345;
    for (char& c : data) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return data;
}

// The bytes of a product archive large enough for many progress events.
inline std::string ProductPayload() {
    std::string data;
    for (int i = 0; data.size() < 300000; ++i) data += "kelvoran line " + std::to_string(i) + "\n";
    return data;
}

}  // namespace stagetest
