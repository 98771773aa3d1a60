// Zip archives read over zlib: the central directory (zip64 included), stored and deflated
// entries with their CRC-32 checked, and bounds on the work and memory a hostile archive can
// cause. Builds on every platform; knows nothing of target folders or Windows paths.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace shell::zip {

enum class ZipError {
    None,
    Open,         // the file cannot be opened or read
    NotZip,       // no end-of-central-directory record
    Damaged,      // a record or a data stream that breaks the format or the archive's bounds
    Unsupported,  // a method other than stored or deflated, encryption, or several disks
    Limits,       // more entries, a longer name or a larger directory than the reader takes
    Crc,          // the data does not match its CRC-32
};
const char* Describe(ZipError error);

// What the reader takes from an archive, whatever the archive declares.
constexpr std::uint64_t kMaxEntries = 1u << 20;
constexpr std::size_t kMaxNameLength = 4096;
constexpr std::uint64_t kMaxDirectorySize = 256u << 20;
// Deflate cannot expand one byte into more than 1032, so a larger declared size is a lie.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// Tighter bounds that a caller may ask for; an archive beyond them is ZipError::Limits.
struct ZipLimits {
    std::uint64_t entries = kMaxEntries;
    std::uint64_t directorySize = kMaxDirectorySize;
};

struct ZipEntry {
    std::string name;  // UTF-8; names not flagged as UTF-8 and not valid UTF-8 are CP437
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    std::uint32_t crc = 0;
    std::uint16_t method = 0;  // 0 stored, 8 deflated
    std::uint16_t flags = 0;
    std::uint8_t system = 0;  // of "version made by": 0 MS-DOS, 3 Unix, ...
    std::uint32_t externalAttributes = 0;
    std::uint64_t localHeaderOffset = 0;
    std::uint64_t dataLimit = 0;  // where the next entry or the directory begins

    bool IsFolder() const;  // the name ends with "/" or "\"
    bool IsLink() const;    // a Unix symbolic link
};

// The archive's bytes.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Exactly `size` bytes at `offset`; false when they are not all there.
    virtual bool ReadAt(std::uint64_t offset, void* data, std::size_t size) = 0;
};

class ZipReader {
  public:
    // Reads the central directory; nullptr and the reason when it is not a readable archive.
    static std::unique_ptr<ZipReader> OpenFile(const std::filesystem::path& path, ZipError& error,
                                               const ZipLimits& limits = {});
    // Over bytes in memory, which must outlive the reader.
    static std::unique_ptr<ZipReader> OpenMemory(std::span<const std::uint8_t> bytes,
                                                 ZipError& error);

    // Unsupported for an entry that Read refuses whatever its data (encrypted, or a method
    // other than stored or deflated), else None: a caller can refuse it before writing anything.
    static ZipError Readable(const ZipEntry& entry);

    // In directory order.
    const std::vector<ZipEntry>& Entries() const { return entries_; }

    // Hands the entry's data to `sink` piece by piece, never more than the declared size. None
    // only when all of it came and its CRC-32 matched; an exception from the sink passes through.
    using Sink = std::function<void(const char* data, std::size_t size)>;
    ZipError Read(const ZipEntry& entry, const Sink& sink);

  private:
    explicit ZipReader(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}
    static std::unique_ptr<ZipReader> Open(std::unique_ptr<ByteSource> source,
                                           const ZipLimits& limits, ZipError& error);
    ZipError ReadDirectory(const ZipLimits& limits);

    std::unique_ptr<ByteSource> source_;
    std::vector<ZipEntry> entries_;
};

}  // namespace shell::zip
