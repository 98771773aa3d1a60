// The parts of the test prefix that are the same on every platform.
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/files/files.h"
#include "support/prefix.h"

namespace testsupport {

namespace fs = std::filesystem;

fs::path TempPrefix::Host(const std::string& windowsPath) const {
    return files::ToHostPath(windowsPath);
}

void TempPrefix::WriteFile(const fs::path& path, std::string_view content) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string TempPrefix::ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace testsupport
