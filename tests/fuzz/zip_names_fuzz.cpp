// Zip entry names from arbitrary bytes: whatever IsSafeEntryName accepts must, once resolved
// lexically under a base folder, stay strictly inside it, and must carry nothing that a file
// system would read as a root, a drive or a control character, nor a component longer than 255
// bytes or more than 128 components.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/shell/shell.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    if (!shell::IsSafeEntryName(name)) return 0;

    Check(!name.empty() && name[0] != '/' && name[0] != '\\');
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        Check(u >= 0x20 && u != 0x7f && c != ':');
    }

    // Resolve as Windows would, with both separators, trailing dots and blanks dropped.
    std::vector<std::string> stack{"base"};
    std::string part;
    auto push = [&] {
        if (part.empty()) return;  // "a//b": an empty component stays where it is
        while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
        Check(!part.empty());  // a component of only dots and blanks would climb or vanish
        Check(part.size() <= 255);
        stack.push_back(part);
        part.clear();
    };
    for (const char c : name) {
        if (c == '/' || c == '\\') {
            push();
        } else {
            part += c;
        }
    }
    push();
    // No component may have vanished into nothing or climbed: the base stays at the bottom and
    // at least one component lies above it.
    Check(stack.size() >= 2 && stack.size() <= 129 && stack[0] == "base");
    for (std::size_t i = 1; i < stack.size(); ++i) Check(stack[i] != "." && stack[i] != "..");
    return 0;
}
