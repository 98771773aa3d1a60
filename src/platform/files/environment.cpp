// What the environment gives where the process leaves a variable unset, and the places found
// from it.
#include "platform/files/files.h"
#include "platform/files/internal.h"

namespace files {

namespace detail {

std::string DefaultEnvironment(const std::string& foldedName) {
    if (foldedName == "windir") return "C:\\windows";
    if (foldedName == "commonprogramfiles") return "C:\\Program Files\\Common Files";
    if (foldedName == "commonprogramfiles(x86)") return "C:\\Program Files (x86)\\Common Files";
    if (foldedName == "temp") return "C:\\users\\" + UserName() + "\\Temp";
    return "";
}

}  // namespace detail

std::filesystem::path StartedProgramsLog() {
    return ToHostPath(Environ("Temp")) / "instalador-programas.log";
}

}  // namespace files
