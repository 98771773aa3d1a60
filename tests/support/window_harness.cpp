#include "support/window_harness.h"

#include "platform/files/files.h"
#include "support/signing.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/zip_builder.h"
#endif

namespace windowtest {

#ifndef _WIN32
namespace {

std::string Text(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

}  // namespace

void WriteZip(const fs::path& path, const Entries& entries) {
    std::vector<testzip::Entry> items;
    for (const auto& [name, content] : entries) {
        items.push_back({name, content, !name.empty() && name.back() == '/'});
    }
    testzip::Write(path, items);
}

std::string ClosedAddress() {
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
#endif

std::string ProductPayload() {
    std::string data;
    for (int i = 0; data.size() < 300000; ++i) data += "kelvoran line " + std::to_string(i) + "\n";
    return data;
}

Window::Window() {
    backend.Attach(app);
    form = std::make_unique<frmInstall>(app);
    form->mChavePublica = testsupport::PublicKey();
}

void Window::Load() {
    app.Dispatch([this] { form->Form_Load(); });
}

frmInstall& WindowTest::Load() {
    window.UseServer("127.0.0.1:1");
    window.Load();
    return form();
}

frmInstall& WindowTest::LoadToDownloadStep() {
    Write(AppFile("mysql.bat"));
    frmInstall& f = Load();
    window.backend.Advance(5000);
    return f;
}

fs::path WindowTest::InstallFile(const std::string& name) const {
    return prefix.DriveC() / "Quorimetra" / "Install" / name;
}

#ifdef _WIN32
bool WindowTest::WineStarted() const { return fs::exists(files::StartedProgramsLog()); }
#else
bool WindowTest::WineStarted() const { return !wine.Starts().empty(); }

std::string WindowTest::WineArguments() const {
    if (wine.Starts(1).empty()) return "";
    return Text(wine.Latest("argv"));
}

std::string WindowTest::WineOutput() const {
    if (WineArguments().empty()) return "";
    return Text(wine.Latest("stdout"));
}
#endif

}  // namespace windowtest
