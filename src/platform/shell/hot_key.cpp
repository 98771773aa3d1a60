#include "platform/shell/hot_key.h"

#include <cctype>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files/vb_error.h"

namespace shell::detail {
namespace {

// HOTKEYF_* modifier bits, in the high byte.
constexpr std::uint16_t HotkeyShift = 0x01;
constexpr std::uint16_t HotkeyControl = 0x02;
constexpr std::uint16_t HotkeyAlt = 0x04;
constexpr std::uint16_t HotkeyExt = 0x08;

std::string Upper(std::string_view text) {
    std::string out(text);
    for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Virtual-key code of a key name of the hot-key text ("A", "5", "F12", "Home", ...); 0 if none.
std::uint8_t VirtualKey(const std::string& key) {
    if (key.size() == 1 && std::isalnum(static_cast<unsigned char>(key[0]))) {
        return static_cast<std::uint8_t>(key[0]);
    }
    if (key.size() >= 2 && key.size() <= 3 && key[0] == 'F') {
        int n = 0;
        for (std::size_t i = 1; i < key.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(key[i]))) return 0;
            n = n * 10 + (key[i] - '0');
        }
        if (n >= 1 && n <= 24) return static_cast<std::uint8_t>(0x6F + n);
        return 0;
    }
    static const std::pair<const char*, std::uint8_t> named[] = {
        {"BACK", 0x08},     {"BACKSPACE", 0x08}, {"TAB", 0x09},      {"CLEAR", 0x0C},
        {"RETURN", 0x0D},   {"ENTER", 0x0D},     {"PAUSE", 0x13},    {"CAPITAL", 0x14},
        {"ESCAPE", 0x1B},   {"ESC", 0x1B},       {"SPACE", 0x20},    {"PRIOR", 0x21},
        {"PAGEUP", 0x21},   {"NEXT", 0x22},      {"PAGEDOWN", 0x22}, {"END", 0x23},
        {"HOME", 0x24},     {"LEFT", 0x25},      {"UP", 0x26},       {"RIGHT", 0x27},
        {"DOWN", 0x28},     {"SELECT", 0x29},    {"PRINT", 0x2A},    {"EXECUTE", 0x2B},
        {"SNAPSHOT", 0x2C}, {"INSERT", 0x2D},    {"DELETE", 0x2E},   {"HELP", 0x2F},
        {"NUMLOCK", 0x90},  {"SCROLL", 0x91},
    };
    for (const auto& [name, code] : named) {
        if (key == name) return code;
    }
    return 0;
}

}  // namespace

std::uint16_t ParseHotKey(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    for (const char c : text) {
        if (c == '+') {
            parts.push_back(part);
            part.clear();
        } else if (c != ' ' && c != '\t') {
            part += c;
        }
    }
    parts.push_back(part);
    if (parts.size() == 1 && parts[0].empty()) return 0;
    std::uint16_t modifiers = 0;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::string name = Upper(parts[i]);
        if (name == "CTRL" || name == "CONTROL") {
            modifiers |= HotkeyControl;
        } else if (name == "ALT") {
            modifiers |= HotkeyAlt;
        } else if (name == "SHIFT") {
            modifiers |= HotkeyShift;
        } else if (name == "EXT") {
            modifiers |= HotkeyExt;
        } else {
            throw vberr::Make(vberr::InvalidProcedureCall);
        }
    }
    const std::uint8_t key = VirtualKey(Upper(parts.back()));
    if (key == 0) throw vberr::Make(vberr::InvalidProcedureCall);
    return static_cast<std::uint16_t>(modifiers << 8 | key);
}

}  // namespace shell::detail
