// The hot-key text of a shortcut ("CTRL+SHIFT+F") as the system's hot-key code: the virtual key
// in the low byte, the HOTKEYF_* modifiers in the high byte (a Shell Link's HotKey field, and
// what IShellLinkW::SetHotkey takes).
#pragma once

#include <cstdint>
#include <string>

namespace shell::detail {

// Modifiers in any order, then one key, without regard to case; "" is 0 (no hot key). Throws
// VbError 5 for a text that names no key.
std::uint16_t ParseHotKey(const std::string& text);

}  // namespace shell::detail
