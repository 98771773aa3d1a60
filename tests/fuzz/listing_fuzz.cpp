// Fuzz target: the bytes are a listing; every line goes through the MLSD and LIST parsers, and
// the first line serves as a wildcard pattern for the names found.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/wininet/parsers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view pattern = input.substr(0, input.find('\n'));
    constexpr std::int64_t kNow = 1735689600;  // fixed, so that runs repeat
    std::size_t pos = 0;
    while (pos < input.size()) {
        std::size_t eol = input.find('\n', pos);
        if (eol == std::string_view::npos) eol = input.size();
        std::string_view line = input.substr(pos, eol - pos);
        pos = eol + 1;
        for (auto entry :
             {wininet::detail::ParseMlsdLine(line), wininet::detail::ParseListLine(line, kNow)}) {
            if (!entry) continue;
            if (entry->name.empty() || entry->name == "." || entry->name == "..") __builtin_trap();
            wininet::detail::WildcardMatch(pattern, entry->name);
        }
    }
    return 0;
}
