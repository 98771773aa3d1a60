// The folders of a program's kind in a Wine prefix: a 64-bit prefix (one whose Windows folder
// holds "syswow64") keeps 32-bit programs' system files in syswow64 and their common files
// under "Program Files (x86)"; a 32-bit prefix has one view, as 32-bit Windows does.
#include "platform/files/files.h"

namespace files {

ProgramFolders FoldersFor(ImageBits bits) {
    const std::string windows = Environ("windir");
    const bool wow64 = !Dir(windows + "\\syswow64", vbDirectory).empty();
    ProgramFolders folders;
    if (wow64 && bits == ImageBits::Bits32) {
        folders.system = windows + "\\syswow64";
        folders.commonFiles = Environ("CommonProgramFiles(x86)");
    } else {
        folders.system = windows + "\\System32";
        folders.commonFiles = Environ("CommonProgramFiles");
    }
    folders.registrar = folders.system + "\\regsvr32.exe";
    return folders;
}

}  // namespace files
