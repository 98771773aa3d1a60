#include "support/wine_stand_in.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/prefix.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// Records each item before the arguments, which appear at once (a rename), and logs the start
// last: a test that sees a start sees all it recorded.
constexpr const char* kScript =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")\"\n"
    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out/argv.$$\"\n"
    "printf '%s\\n' \"$WINEPREFIX\" > \"$out/prefix\"\n"
    "printf '%s\\n' \"$PWD\" > \"$out/cwd\"\n"
    "printf '%s\\n' \"${DISPLAY-unset}\" > \"$out/display\"\n"
    "o=$(readlink /proc/$$/fd/1); echo \"$o\" > \"$out/stdout\"\n"
    "f=$(ls /proc/$$/fd); echo \"$f\" > \"$out/fds\"\n"
    "echo \"fixme: said by $1\"; echo \"err: also by $1\" >&2\n"
    "mv \"$out/argv.$$\" \"$out/argv\"\n"
    "line=\"\"\n"
    "for a in \"$@\"; do line=\"$line$a | \"; done\n"
    "printf '%s\\n' \"$line\" >> \"$out/starts.log\"\n"
    "exit \"${KV_WINE_STAND_IN_EXIT:-0}\"\n";

std::vector<std::string> ReadLines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string SearchPath(const fs::path& folder, WineStandIn::Presence presence) {
    if (presence == WineStandIn::Presence::Missing) return folder.string();
    const char* path = std::getenv("PATH");
    return folder.string() + ":" + (path != nullptr ? path : "");
}

}  // namespace

WineStandIn::WineStandIn(Presence presence)
    : folder_(MakeTempFolder("kv-wine")), path_("PATH", SearchPath(folder_, presence)) {
    if (presence == Presence::Missing) return;
    TempPrefix::WriteFile(folder_ / "wine", kScript);
    fs::permissions(folder_ / "wine", fs::perms::owner_all);
}

WineStandIn::~WineStandIn() {
    for (std::size_t seen = Starts().size(), i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::size_t now = Starts().size();
        if (now == seen) break;
        seen = now;
    }
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::vector<std::string> WineStandIn::Starts(std::size_t n) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        std::vector<std::string> lines = ReadLines(folder_ / "starts.log");
        if (lines.size() >= n || std::chrono::steady_clock::now() > deadline) return lines;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<std::string> WineStandIn::StartsSettled() const {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return Starts();
}

std::vector<std::string> WineStandIn::Latest(const std::string& record) const {
    return ReadLines(folder_ / record);
}

}  // namespace testsupport
