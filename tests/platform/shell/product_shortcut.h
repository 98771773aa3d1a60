// The product's desktop shortcut as the installer fills it, and a reader of the bytes of a
// Shell Link file, for the tests of the shortcut.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/shell/shell.h"

namespace shelltest {

inline shell::WshShortcut ProductShortcut(const std::string& path) {
    shell::WshShortcut link(path);
    link.TargetPath = "C:\\Quorimetra\\Kelvoran\\kelvoranX.exe";
    link.HotKey = "";
    link.Arguments = "";
    link.WorkingDirectory = "C:\\Quorimetra\\Kelvoran\\";
    link.Description = "kelvoran X";
    return link;
}

inline std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

}  // namespace shelltest
