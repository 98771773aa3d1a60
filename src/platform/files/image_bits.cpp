// The kind of a program file, read from its PE header: the MZ stub points at the "PE\0\0"
// signature, and the optional header's magic after the COFF header tells PE32 from PE32+.
#include <array>
#include <cstdint>
#include <optional>

#include "platform/files/files.h"

namespace files {
namespace {

constexpr std::size_t kHeaderBytes = 4096;  // the stub and the headers fit in the first page
constexpr std::size_t kStubPointer = 0x3c;  // e_lfanew
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;

std::uint32_t Little(const unsigned char* p, std::size_t n) {
    std::uint32_t value = 0;
    for (std::size_t i = n; i-- > 0;) value = (value << 8) | p[i];
    return value;
}

}  // namespace

std::optional<ImageBits> ProgramImageBits(const std::string& windowsPath) {
    std::array<unsigned char, kHeaderBytes> header{};
    std::size_t got = 0;
    try {
        BinaryFile file(windowsPath, BinaryFile::Mode::Read);
        got = file.Read(header.data(), header.size());
    } catch (const VbError&) {
        return std::nullopt;
    }
    if (got < kStubPointer + 4 || header[0] != 'M' || header[1] != 'Z') return std::nullopt;
    const std::size_t pe = Little(&header[kStubPointer], 4);
    const std::size_t magicAt = pe + 4 + kCoffHeaderSize;
    if (pe > got || magicAt + 2 > got) return std::nullopt;
    if (header[pe] != 'P' || header[pe + 1] != 'E' || header[pe + 2] != 0 || header[pe + 3] != 0)
        return std::nullopt;
    return Little(&header[magicAt], 2) == kPe32PlusMagic ? ImageBits::Bits64 : ImageBits::Bits32;
}

}  // namespace files
