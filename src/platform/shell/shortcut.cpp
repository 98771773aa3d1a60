// "WScript.Shell": shortcuts, and the bytes of a Shell Link (.lnk) file for them.
#include <string_view>

#include "platform/files/files.h"
#include "platform/shell/hot_key.h"
#include "platform/shell/shell.h"

namespace shell {
namespace {

// LinkFlags of the Shell Link header.
constexpr std::uint32_t HasLinkInfo = 0x00000002;
constexpr std::uint32_t HasName = 0x00000004;
constexpr std::uint32_t HasWorkingDir = 0x00000010;
constexpr std::uint32_t HasArguments = 0x00000020;
constexpr std::uint32_t IsUnicode = 0x00000080;

constexpr std::uint32_t kShowNormal = 1;
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t VolumeIDAndLocalBasePath = 0x1;

class Bytes {
  public:
    // Room reserved up front: GCC 12 at -O2 warns wrongly on the first bytes put into an empty
    // vector.
    Bytes() { out.reserve(256); }
    void U16(std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void Zeros(std::size_t n) { out.insert(out.end(), n, 0); }
    void Raw(const std::vector<std::uint8_t>& bytes) {
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    void Put32At(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    std::vector<std::uint8_t> out;
};

// UTF-8 to UTF-16 code units; a malformed byte becomes U+FFFD.
std::u16string Utf16(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 0x6 && i + 1 < text.size()) {
            cp = ((c & 0x1F) << 6) | (text[i + 1] & 0x3F);
            len = 2;
        } else if ((c >> 4) == 0xE && i + 2 < text.size()) {
            cp = ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
            len = 3;
        } else if ((c >> 3) == 0x1E && i + 3 < text.size()) {
            cp = ((c & 0x07) << 18) | ((text[i + 1] & 0x3F) << 12) | ((text[i + 2] & 0x3F) << 6) |
                 (text[i + 3] & 0x3F);
            len = 4;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

// The ANSI form of a path for the LinkInfo: Latin-1 characters as themselves, others as "?".
// The Unicode form written beside it carries the exact text.
std::vector<std::uint8_t> Ansi(std::string_view text) {
    std::vector<std::uint8_t> out;
    for (const char16_t unit : Utf16(text)) out.push_back(unit < 0x100 ? unit : '?');
    out.push_back(0);
    return out;
}

std::vector<std::uint8_t> Utf16z(std::string_view text) {
    std::vector<std::uint8_t> out;
    for (const char16_t unit : Utf16(text)) {
        out.push_back(static_cast<std::uint8_t>(unit));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

void StringData(Bytes& b, std::string_view text) {
    const std::u16string units = Utf16(text);
    b.U16(static_cast<std::uint16_t>(units.size()));
    for (const char16_t unit : units) b.U16(unit);
}

// LinkInfo with a VolumeID for a fixed drive and the target as LocalBasePath, in ANSI and in
// Unicode.
std::vector<std::uint8_t> LinkInfo(const std::string& target) {
    constexpr std::uint32_t headerSize = 0x24;  // with the Unicode offsets
    Bytes volume;
    volume.U32(0);  // VolumeIDSize, patched below
    volume.U32(kDriveFixed);
    volume.U32(0);     // DriveSerialNumber
    volume.U32(0x10);  // VolumeLabelOffset: the empty label right after these fields
    volume.Zeros(1);
    volume.Put32At(0, static_cast<std::uint32_t>(volume.out.size()));

    const auto basePath = Ansi(target);
    const std::vector<std::uint8_t> suffix{0};
    const auto basePathUnicode = Utf16z(target);
    const std::vector<std::uint8_t> suffixUnicode{0, 0};

    const std::uint32_t volumeOffset = headerSize;
    const std::uint32_t basePathOffset = volumeOffset + volume.out.size();
    const std::uint32_t suffixOffset = basePathOffset + basePath.size();
    std::uint32_t basePathUnicodeOffset = suffixOffset + suffix.size();
    basePathUnicodeOffset += basePathUnicodeOffset % 2;  // UTF-16 text on an even offset
    const std::uint32_t suffixUnicodeOffset = basePathUnicodeOffset + basePathUnicode.size();

    Bytes info;
    info.U32(0);  // LinkInfoSize, patched below
    info.U32(headerSize);
    info.U32(VolumeIDAndLocalBasePath);
    info.U32(volumeOffset);
    info.U32(basePathOffset);
    info.U32(0);  // CommonNetworkRelativeLinkOffset
    info.U32(suffixOffset);
    info.U32(basePathUnicodeOffset);
    info.U32(suffixUnicodeOffset);
    info.Raw(volume.out);
    info.Raw(basePath);
    info.Raw(suffix);
    info.Zeros(basePathUnicodeOffset - info.out.size());
    info.Raw(basePathUnicode);
    info.Raw(suffixUnicode);
    info.Put32At(0, static_cast<std::uint32_t>(info.out.size()));
    return info.out;
}

}  // namespace

std::vector<std::uint8_t> BuildShellLink(const WshShortcut& shortcut) {
    std::uint32_t flags = IsUnicode;
    if (!shortcut.TargetPath.empty()) flags |= HasLinkInfo;
    if (!shortcut.Description.empty()) flags |= HasName;
    if (!shortcut.WorkingDirectory.empty()) flags |= HasWorkingDir;
    if (!shortcut.Arguments.empty()) flags |= HasArguments;

    Bytes b;
    b.U32(0x4C);  // HeaderSize
    // LinkCLSID 00021401-0000-0000-C000-000000000046
    b.Raw({0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
           0x46});
    b.U32(flags);
    b.U32(0);     // FileAttributes
    b.Zeros(24);  // CreationTime, AccessTime, WriteTime
    b.U32(0);     // FileSize
    b.U32(0);     // IconIndex
    b.U32(kShowNormal);
    b.U16(detail::ParseHotKey(shortcut.HotKey));
    b.Zeros(10);  // Reserved1..3

    if ((flags & HasLinkInfo) != 0) b.Raw(LinkInfo(shortcut.TargetPath));
    if ((flags & HasName) != 0) StringData(b, shortcut.Description);
    if ((flags & HasWorkingDir) != 0) StringData(b, shortcut.WorkingDirectory);
    if ((flags & HasArguments) != 0) StringData(b, shortcut.Arguments);
    b.U32(0);  // TerminalBlock
    return b.out;
}

std::unique_ptr<WshShortcut> WshShell::CreateShortcut(const std::string& path) const {
    const std::string folded = files::FoldCase(path);
    if (folded.size() < 4 || folded.compare(folded.size() - 4, 4, ".lnk") != 0) {
        throw vberr::Make(vberr::InvalidProcedureCall);
    }
    return std::make_unique<WshShortcut>(path);
}

}  // namespace shell
