// The central directory is read whole and checked before any entry is: every entry must lie
// inside the archive before the directory, entries may not overlap, and declared sizes must be
// ones the method can produce. Reading an entry then stops at its declared size, so the work an
// archive can cause is bounded by its own size.
#include "platform/shell/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <numeric>
#include <string_view>

namespace shell::zip {
namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kEnd64Signature = 0x06064b50;
constexpr std::uint32_t kEnd64LocatorSignature = 0x07064b50;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kEnd64Size = 56;
constexpr std::size_t kEnd64LocatorSize = 20;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint8_t kUnix = 3;
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixLink = 0120000;
constexpr std::size_t kInputChunk = 64 << 10;
constexpr std::size_t kOutputChunk = 256 << 10;

// Little-endian fields of a record already in memory.
class Fields {
  public:
    Fields(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Has(std::size_t at, std::size_t count) const { return at <= size_ && count <= size_ - at; }
    std::uint16_t U16(std::size_t at) const { return static_cast<std::uint16_t>(Le(at, 2)); }
    std::uint32_t U32(std::size_t at) const { return static_cast<std::uint32_t>(Le(at, 4)); }
    std::uint64_t U64(std::size_t at) const { return Le(at, 8); }
    const std::uint8_t* At(std::size_t at) const { return data_ + at; }

  private:
    std::uint64_t Le(std::size_t at, std::size_t count) const {
        std::uint64_t value = 0;
        for (std::size_t i = count; i-- > 0;) value = (value << 8) | data_[at + i];
        return value;
    }
    const std::uint8_t* data_;
    std::size_t size_;
};

// a + b <= limit, without overflow.
bool FitsWithin(std::uint64_t a, std::uint64_t b, std::uint64_t limit) {
    return a <= limit && b <= limit - a;
}

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
        if (!FitsWithin(offset, size, bytes_.size())) return false;
        if (size != 0) std::memcpy(data, bytes_.data() + offset, size);
        return true;
    }

  private:
    std::span<const std::uint8_t> bytes_;
};

class FileSource final : public ByteSource {
  public:
    FileSource(std::ifstream in, std::uint64_t size) : in_(std::move(in)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
        if (!FitsWithin(offset, size, size_)) return false;
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
        return static_cast<std::size_t>(in_.gcount()) == size;
    }

  private:
    std::ifstream in_;
    std::uint64_t size_;
};

constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        std::uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;  // overlong, beyond Unicode, or a surrogate
        }
        i += extra + 1;
    }
    return true;
}

std::string Cp437ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const char32_t code = c < 0x80 ? c : kCp437High[c - 0x80];
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// Names flagged as UTF-8 are kept; others are CP437 unless they already read as UTF-8, which is
// what archivers that set no flag mostly write today.
std::string EntryName(std::string_view raw, std::uint16_t flags) {
    if ((flags & kFlagUtf8) != 0 || IsValidUtf8(raw)) return std::string(raw);
    return Cp437ToUtf8(raw);
}

// The zip64 extended field holds, in this order, only the values whose 32-bit (or 16-bit) field
// is saturated.
ZipError ApplyZip64(const Fields& extra, ZipEntry& entry, std::uint32_t& disk) {
    const bool needSize = entry.size == 0xFFFFFFFF;
    const bool needCompressed = entry.compressedSize == 0xFFFFFFFF;
    const bool needOffset = entry.localHeaderOffset == 0xFFFFFFFF;
    const bool needDisk = disk == 0xFFFF;
    if (!needSize && !needCompressed && !needOffset && !needDisk) return ZipError::None;
    for (std::size_t at = 0; extra.Has(at, 4);) {
        const std::uint16_t id = extra.U16(at);
        const std::uint16_t length = extra.U16(at + 2);
        if (!extra.Has(at + 4, length)) return ZipError::Damaged;
        if (id == kZip64ExtraId) {
            const Fields field(extra.At(at + 4), length);
            std::size_t p = 0;
            auto take64 = [&](std::uint64_t& value) {
                if (!field.Has(p, 8)) return false;
                value = field.U64(p);
                p += 8;
                return true;
            };
            if (needSize && !take64(entry.size)) return ZipError::Damaged;
            if (needCompressed && !take64(entry.compressedSize)) return ZipError::Damaged;
            if (needOffset && !take64(entry.localHeaderOffset)) return ZipError::Damaged;
            if (needDisk) {
                if (!field.Has(p, 4)) return ZipError::Damaged;
                disk = field.U32(p);
            }
            return ZipError::None;
        }
        at += 4 + length;
    }
    return ZipError::Damaged;
}

struct Directory {
    std::uint64_t count = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
    std::uint64_t end = 0;  // where the records after the directory begin
};

// The end-of-central-directory record, and the zip64 one where the archive has it.
ZipError FindDirectory(ByteSource& source, const ZipLimits& limits, Directory& directory) {
    const std::uint64_t archiveSize = source.Size();
    if (archiveSize < kEndSize) return ZipError::NotZip;
    const std::size_t tailSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(archiveSize, kEndSize + kMaxComment));
    std::vector<std::uint8_t> tail(tailSize);
    const std::uint64_t tailStart = archiveSize - tailSize;
    if (!source.ReadAt(tailStart, tail.data(), tail.size())) return ZipError::Open;
    const Fields t(tail.data(), tail.size());
    std::size_t at = tailSize - kEndSize + 1;
    do {
        if (at-- == 0) return ZipError::NotZip;
    } while (t.U32(at) != kEndSignature || at + kEndSize + t.U16(at + 20) > tailSize);

    const std::uint64_t endOffset = tailStart + at;
    const std::uint16_t disk = t.U16(at + 4);
    const std::uint16_t directoryDisk = t.U16(at + 6);
    const std::uint16_t countOnDisk = t.U16(at + 8);
    directory.count = t.U16(at + 10);
    directory.size = t.U32(at + 12);
    directory.offset = t.U32(at + 16);
    directory.end = endOffset;
    bool singleDisk = disk == 0 && directoryDisk == 0 && countOnDisk == directory.count;

    std::uint8_t locator[kEnd64LocatorSize];
    if (endOffset >= kEnd64LocatorSize &&
        source.ReadAt(endOffset - kEnd64LocatorSize, locator, sizeof locator) &&
        Fields(locator, sizeof locator).U32(0) == kEnd64LocatorSignature) {
        const Fields l(locator, sizeof locator);
        const std::uint64_t end64Offset = l.U64(8);
        if (!FitsWithin(end64Offset, kEnd64Size, endOffset - kEnd64LocatorSize)) {
            return ZipError::Damaged;
        }
        std::uint8_t record[kEnd64Size];
        if (!source.ReadAt(end64Offset, record, sizeof record)) return ZipError::Open;
        const Fields r(record, sizeof record);
        if (r.U32(0) != kEnd64Signature) return ZipError::Damaged;
        directory.count = r.U64(32);
        directory.size = r.U64(40);
        directory.offset = r.U64(48);
        directory.end = end64Offset;
        singleDisk = l.U32(4) == 0 && l.U32(16) <= 1 && r.U32(16) == 0 && r.U32(20) == 0 &&
                     r.U64(24) == directory.count;
    }
    if (!singleDisk) return ZipError::Unsupported;
    if (!FitsWithin(directory.offset, directory.size, directory.end)) return ZipError::Damaged;
    if (directory.count > directory.size / kCentralSize) return ZipError::Damaged;
    if (directory.count > std::min(kMaxEntries, limits.entries) ||
        directory.size > std::min(kMaxDirectorySize, limits.directorySize)) {
        return ZipError::Limits;
    }
    return ZipError::None;
}

// Sizes a method can produce from the compressed bytes at hand.
bool PlausibleSizes(const ZipEntry& entry) {
    if (entry.method == kStored) return entry.size == entry.compressedSize;
    if (entry.method == kDeflated) {
        return entry.size / kMaxDeflateRatio <= entry.compressedSize;
    }
    return true;  // refused when read
}

struct Inflater {
    z_stream stream{};
    bool ready = false;
    Inflater() { ready = inflateInit2(&stream, -MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (ready) inflateEnd(&stream);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
};

}  // namespace

const char* Describe(ZipError error) {
    switch (error) {
        case ZipError::None:
            return "no error";
        case ZipError::Open:
            return "the archive cannot be read";
        case ZipError::NotZip:
            return "not a zip archive";
        case ZipError::Damaged:
            return "damaged archive";
        case ZipError::Unsupported:
            return "compression method or archive form not supported";
        case ZipError::Limits:
            return "archive exceeds the reader's limits";
        case ZipError::Crc:
            return "CRC error";
    }
    return "unknown error";
}

bool ZipEntry::IsFolder() const {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

bool ZipEntry::IsLink() const {
    return system == kUnix && ((externalAttributes >> 16) & kUnixTypeMask) == kUnixLink;
}

std::unique_ptr<ZipReader> ZipReader::OpenFile(const std::filesystem::path& path, ZipError& error,
                                               const ZipLimits& limits) {
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    if (ec || !in) {
        error = ZipError::Open;
        return nullptr;
    }
    return Open(std::make_unique<FileSource>(std::move(in), size), limits, error);
}

std::unique_ptr<ZipReader> ZipReader::OpenMemory(std::span<const std::uint8_t> bytes,
                                                 ZipError& error) {
    return Open(std::make_unique<MemorySource>(bytes), ZipLimits{}, error);
}

std::unique_ptr<ZipReader> ZipReader::Open(std::unique_ptr<ByteSource> source,
                                           const ZipLimits& limits, ZipError& error) {
    std::unique_ptr<ZipReader> reader(new ZipReader(std::move(source)));
    error = reader->ReadDirectory(limits);
    if (error != ZipError::None) return nullptr;
    return reader;
}

ZipError ZipReader::ReadDirectory(const ZipLimits& limits) {
    Directory directory;
    if (ZipError e = FindDirectory(*source_, limits, directory); e != ZipError::None) return e;
    std::vector<std::uint8_t> records(static_cast<std::size_t>(directory.size));
    if (!source_->ReadAt(directory.offset, records.data(), records.size())) return ZipError::Open;
    const Fields d(records.data(), records.size());

    std::vector<std::size_t> nameLengths;
    entries_.reserve(static_cast<std::size_t>(directory.count));
    std::size_t at = 0;
    for (std::uint64_t i = 0; i < directory.count; ++i) {
        if (!d.Has(at, kCentralSize) || d.U32(at) != kCentralSignature) return ZipError::Damaged;
        const std::size_t nameLength = d.U16(at + 28);
        const std::size_t extraLength = d.U16(at + 30);
        const std::size_t commentLength = d.U16(at + 32);
        if (!d.Has(at + kCentralSize, nameLength + extraLength + commentLength)) {
            return ZipError::Damaged;
        }
        if (nameLength > kMaxNameLength) return ZipError::Limits;
        ZipEntry entry;
        entry.system = static_cast<std::uint8_t>(d.U16(at + 4) >> 8);
        entry.flags = d.U16(at + 8);
        entry.method = d.U16(at + 10);
        entry.crc = d.U32(at + 16);
        entry.compressedSize = d.U32(at + 20);
        entry.size = d.U32(at + 24);
        std::uint32_t disk = d.U16(at + 34);
        entry.externalAttributes = d.U32(at + 38);
        entry.localHeaderOffset = d.U32(at + 42);
        const auto* name = reinterpret_cast<const char*>(d.At(at + kCentralSize));
        entry.name = EntryName(std::string_view(name, nameLength), entry.flags);
        const Fields extra(d.At(at + kCentralSize + nameLength), extraLength);
        if (ZipError e = ApplyZip64(extra, entry, disk); e != ZipError::None) {
            return e;
        }
        if (disk != 0) return ZipError::Unsupported;
        if (!PlausibleSizes(entry)) return ZipError::Damaged;
        nameLengths.push_back(nameLength);
        entries_.push_back(std::move(entry));
        at += kCentralSize + nameLength + extraLength + commentLength;
    }

    // Each entry's local header, name and data must end before the next entry, the last one
    // before the directory: no entry lies outside the archive or shares bytes with another.
    std::vector<std::size_t> order(entries_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        return entries_[a].localHeaderOffset < entries_[b].localHeaderOffset;
    });
    for (std::size_t k = 0; k < order.size(); ++k) {
        ZipEntry& entry = entries_[order[k]];
        entry.dataLimit =
            k + 1 < order.size() ? entries_[order[k + 1]].localHeaderOffset : directory.offset;
        if (!FitsWithin(entry.localHeaderOffset, kLocalSize + nameLengths[order[k]],
                        entry.dataLimit) ||
            !FitsWithin(entry.localHeaderOffset + kLocalSize + nameLengths[order[k]],
                        entry.compressedSize, entry.dataLimit)) {
            return ZipError::Damaged;
        }
    }
    return ZipError::None;
}

ZipError ZipReader::Readable(const ZipEntry& entry) {
    if ((entry.flags & kFlagEncrypted) != 0) return ZipError::Unsupported;
    if (entry.method != kStored && entry.method != kDeflated) return ZipError::Unsupported;
    return ZipError::None;
}

ZipError ZipReader::Read(const ZipEntry& entry, const Sink& sink) {
    if (ZipError e = Readable(entry); e != ZipError::None) return e;
    std::uint8_t header[kLocalSize];
    if (!source_->ReadAt(entry.localHeaderOffset, header, sizeof header)) return ZipError::Open;
    const Fields h(header, sizeof header);
    if (h.U32(0) != kLocalSignature) return ZipError::Damaged;
    const std::uint64_t dataStart = entry.localHeaderOffset + kLocalSize + h.U16(26) + h.U16(28);
    if (!FitsWithin(dataStart, entry.compressedSize, entry.dataLimit)) return ZipError::Damaged;

    std::vector<std::uint8_t> input(
        static_cast<std::size_t>(std::min<std::uint64_t>(kInputChunk, entry.compressedSize)));
    std::uint64_t offset = dataStart;
    std::uint64_t compressedLeft = entry.compressedSize;
    uLong crc = crc32(0L, Z_NULL, 0);
    auto next = [&](std::size_t& got) {
        got = static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), compressedLeft));
        if (!source_->ReadAt(offset, input.data(), got)) return false;
        offset += got;
        compressedLeft -= got;
        return true;
    };

    if (entry.method == kStored) {
        while (compressedLeft > 0) {
            std::size_t got = 0;
            if (!next(got)) return ZipError::Open;
            crc = crc32(crc, input.data(), static_cast<uInt>(got));
            sink(reinterpret_cast<const char*>(input.data()), got);
        }
        return crc == entry.crc ? ZipError::None : ZipError::Crc;
    }

    Inflater inflater;
    if (!inflater.ready) return ZipError::Open;
    z_stream& z = inflater.stream;
    std::vector<std::uint8_t> output(kOutputChunk);
    std::uint64_t produced = 0;
    for (;;) {
        if (z.avail_in == 0 && compressedLeft > 0) {
            std::size_t got = 0;
            if (!next(got)) return ZipError::Open;
            z.next_in = input.data();
            z.avail_in = static_cast<uInt>(got);
        }
        // One byte beyond the declared size is enough to tell that the stream runs over it.
        const std::uint64_t room =
            std::min<std::uint64_t>(output.size(), entry.size - produced + 1);
        z.next_out = output.data();
        z.avail_out = static_cast<uInt>(room);
        const int status = inflate(&z, Z_NO_FLUSH);
        const std::size_t made = static_cast<std::size_t>(room - z.avail_out);
        if (status != Z_OK && status != Z_STREAM_END) return ZipError::Damaged;
        if (made > entry.size - produced) return ZipError::Damaged;
        produced += made;
        if (made != 0) {
            crc = crc32(crc, output.data(), static_cast<uInt>(made));
            sink(reinterpret_cast<const char*>(output.data()), made);
        }
        if (status == Z_STREAM_END) break;
        if (made == 0 && z.avail_in == 0 && compressedLeft == 0) return ZipError::Damaged;
    }
    if (produced != entry.size) return ZipError::Damaged;
    return crc == entry.crc ? ZipError::None : ZipError::Crc;
}

}  // namespace shell::zip
