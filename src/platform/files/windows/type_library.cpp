// Type libraries on Windows: a .tlb is no program image, so regsvr32 cannot load it; the
// system's own type library loader registers it (under HKCR\TypeLib, a key that 32-bit and
// 64-bit programs share, with the library's own platform recorded in it).
#include "platform/files/files.h"
#include "platform/kernel/windows/utf16.h"

// After windows.h, which it needs.
#include <oleauto.h>

namespace files {

std::optional<std::int32_t> RegisterTypeLibrary(const std::string& windowsPath) {
    ITypeLib* library = nullptr;
    const HRESULT result =
        LoadTypeLibEx(kernel::Widen(windowsPath).c_str(), REGKIND_REGISTER, &library);
    if (library != nullptr) library->Release();
    return static_cast<std::int32_t>(result);
}

}  // namespace files
