// Type libraries on Linux: their registration lives inside the Wine prefix, reached only by a
// program running there, so the registrar gets them as any other component.
#include "platform/files/files.h"

namespace files {

std::optional<std::int32_t> RegisterTypeLibrary(const std::string&) { return std::nullopt; }

}  // namespace files
