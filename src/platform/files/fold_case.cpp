// Names compared without regard to letter case.
#include "platform/files/files.h"

namespace files {

std::string FoldCase(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c + 32);
            continue;
        }
        // UTF-8 of U+00C0..U+00DE (but U+00D7, the multiplication sign): C3 80..C3 9E.
        if (c == 0xC3 && i + 1 < name.size()) {
            const auto next = static_cast<unsigned char>(name[i + 1]);
            out += name[i];
            if (next >= 0x80 && next <= 0x9E && next != 0x97) {
                out += static_cast<char>(next + 0x20);
            } else {
                out += name[i + 1];
            }
            ++i;
            continue;
        }
        out += name[i];
    }
    return out;
}

}  // namespace files
