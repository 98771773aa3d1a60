// Zip archives from arbitrary bytes: the reader may refuse them, but whatever it lists stays
// within its limits, and no entry hands out more than its declared size, nor reports success
// with less.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/shell/zip_reader.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace shell::zip;
    ZipError error = ZipError::None;
    auto reader = ZipReader::OpenMemory({data, size}, error);
    Check((reader == nullptr) == (error != ZipError::None));
    if (reader == nullptr) return 0;
    Check(reader->Entries().size() <= size / 46 && reader->Entries().size() <= kMaxEntries);
    for (const ZipEntry& entry : reader->Entries()) {
        Check(entry.name.size() <= 3 * kMaxNameLength);  // CP437 grows to at most 3 bytes
        Check(entry.compressedSize <= size);
        std::uint64_t handed = 0;
        const ZipError e = reader->Read(entry, [&](const char*, std::size_t n) { handed += n; });
        Check(handed <= entry.size);
        if (e == ZipError::None) Check(handed == entry.size);
    }
    return 0;
}
