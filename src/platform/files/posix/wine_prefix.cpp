// The Wine prefix made ready before the installer starts programs in it: Wine's first start in
// a new prefix builds it and shows its own window while doing so, over the installer's.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "platform/files/posix/spawn.h"

namespace files {
namespace {

namespace fs = std::filesystem;

// Wine writes the registry of a prefix once it has set it up.
bool PrefixIsSetUp(const fs::path& prefix) {
    std::error_code ec;
    return fs::exists(prefix / "system.reg", ec);
}

std::string Seconds(std::chrono::steady_clock::duration elapsed) {
    const auto tenths =
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 100;
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " s";
}

}  // namespace

std::string MissingDriveCText() {
    const std::string driveC = (WinePrefix() / "drive_c").string();
    return "A unidade C: não existe: falta a pasta " + driveC +
           ". Instale o Wine (apt-get install wine64) e prepare a pasta com \"WINEPREFIX=" +
           WinePrefix().string() +
           " /usr/lib/wine/wine64 wineboot --init\", ou crie-a com "
           "\"mkdir -p '" +
           driveC + "'\".";
}

std::string PrepareWinePrefix(const std::function<void(const std::string&)>& status,
                              std::chrono::seconds timeout) {
    const fs::path prefix = WinePrefix();
    std::error_code ec;
    const bool hasDriveC =
        fs::is_directory(prefix / "drive_c", ec) || fs::exists(prefix / "dosdevices" / "c:", ec);
    const std::string wine = WineLoader();
    if (wine.empty()) return hasDriveC ? "" : MissingDriveCText();
    if (PrefixIsSetUp(prefix)) return "";

    fs::create_directories(prefix, ec);
    status("Preparando o Wine em " + prefix.string() + " (wineboot --init), aguarde...");
    const auto started = std::chrono::steady_clock::now();
    // No display: the set-up's window would cover the installer's. Without Mono and Gecko
    // the set-up asks nothing and downloads nothing; the product needs neither.
    std::vector<std::string> extra;
    if (std::getenv("WINEDLLOVERRIDES") == nullptr)
        extra.push_back("WINEDLLOVERRIDES=mscoree,mshtml=");
    if (std::getenv("WINEDEBUG") == nullptr) extra.push_back("WINEDEBUG=-all");
    const auto pid =
        detail::Spawn({wine, "wineboot", "--init"}, {"DISPLAY", "WAYLAND_DISPLAY"}, extra);
    if (!pid) {
        status("O Wine não pôde ser iniciado (" + wine + ").");
        return hasDriveC ? "" : MissingDriveCText();
    }
    const auto code = WaitForProgram(*pid, timeout);
    if (!code) {
        ::kill(*pid, SIGKILL);
        status("O Wine não terminou de preparar " + prefix.string() + " em " + Seconds(timeout) +
               ".");
    } else if (*code != 0) {
        status("O Wine terminou com o código " + std::to_string(*code) + " ao preparar " +
               prefix.string() + ".");
    } else {
        status("Wine pronto em " + Seconds(std::chrono::steady_clock::now() - started) + ".");
    }
    const bool driveCNow = fs::is_directory(prefix / "drive_c", ec);
    return driveCNow ? "" : MissingDriveCText();
}

}  // namespace files
