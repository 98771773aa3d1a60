// Zip archives built byte by byte in memory over zlib, in the plain or the zip64 form, so that
// tests can reach every field (and damage it) on any platform.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace testzip {

struct RawEntry {
    std::string name;
    std::string content;
    bool deflate = true;
    std::uint8_t system = 3;  // Unix
    std::uint32_t attributes = 0100644u << 16;
    std::uint16_t flags = 0x0800;  // UTF-8 name
};

using Bytes = std::vector<std::uint8_t>;

inline void Put(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void Patch(Bytes& out, std::size_t at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::string RawDeflate(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END) throw std::runtime_error("deflate");
    return out;
}

// Offsets of each entry's central record, for tests that alter a field.
struct Built {
    Bytes bytes;
    std::vector<std::size_t> central;
};

inline Built Build(const std::vector<RawEntry>& entries, bool zip64 = false) {
    Built built;
    Bytes& out = built.bytes;
    struct Written {
        std::uint64_t offset, compressed, size;
        std::uint32_t crc;
    };
    std::vector<Written> written;
    for (const auto& e : entries) {
        const std::string data = e.deflate ? RawDeflate(e.content) : e.content;
        const auto crc =
            static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.content.data()),
                                             static_cast<uInt>(e.content.size())));
        written.push_back({out.size(), data.size(), e.content.size(), crc});
        Put(out, 0x04034b50, 4);
        Put(out, zip64 ? 45 : 20, 2);
        Put(out, e.flags, 2);
        Put(out, e.deflate ? 8 : 0, 2);
        Put(out, 0, 4);  // time and date
        Put(out, crc, 4);
        Put(out, zip64 ? 0xFFFFFFFF : data.size(), 4);
        Put(out, zip64 ? 0xFFFFFFFF : e.content.size(), 4);
        Put(out, e.name.size(), 2);
        Put(out, zip64 ? 20 : 0, 2);
        out.insert(out.end(), e.name.begin(), e.name.end());
        if (zip64) {
            Put(out, 0x0001, 2);
            Put(out, 16, 2);
            Put(out, e.content.size(), 8);
            Put(out, data.size(), 8);
        }
        out.insert(out.end(), data.begin(), data.end());
    }
    const std::uint64_t directory = out.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        const auto& w = written[i];
        built.central.push_back(out.size());
        Put(out, 0x02014b50, 4);
        Put(out, (static_cast<unsigned>(e.system) << 8) | 45, 2);
        Put(out, zip64 ? 45 : 20, 2);
        Put(out, e.flags, 2);
        Put(out, e.deflate ? 8 : 0, 2);
        Put(out, 0, 4);
        Put(out, w.crc, 4);
        Put(out, zip64 ? 0xFFFFFFFF : w.compressed, 4);
        Put(out, zip64 ? 0xFFFFFFFF : w.size, 4);
        Put(out, e.name.size(), 2);
        Put(out, zip64 ? 28 : 0, 2);
        Put(out, 0, 2);  // comment
        Put(out, 0, 2);  // disk
        Put(out, 0, 2);  // internal attributes
        Put(out, e.attributes, 4);
        Put(out, zip64 ? 0xFFFFFFFF : w.offset, 4);
        out.insert(out.end(), e.name.begin(), e.name.end());
        if (zip64) {
            Put(out, 0x0001, 2);
            Put(out, 24, 2);
            Put(out, w.size, 8);
            Put(out, w.compressed, 8);
            Put(out, w.offset, 8);
        }
    }
    const std::uint64_t directorySize = out.size() - directory;
    if (zip64) {
        const std::uint64_t end64 = out.size();
        Put(out, 0x06064b50, 4);
        Put(out, 44, 8);
        Put(out, 45, 2);
        Put(out, 45, 2);
        Put(out, 0, 4);
        Put(out, 0, 4);
        Put(out, entries.size(), 8);
        Put(out, entries.size(), 8);
        Put(out, directorySize, 8);
        Put(out, directory, 8);
        Put(out, 0x07064b50, 4);
        Put(out, 0, 4);
        Put(out, end64, 8);
        Put(out, 1, 4);
    }
    Put(out, 0x06054b50, 4);
    Put(out, 0, 2);
    Put(out, 0, 2);
    Put(out, zip64 ? 0xFFFF : entries.size(), 2);
    Put(out, zip64 ? 0xFFFF : entries.size(), 2);
    Put(out, zip64 ? 0xFFFFFFFF : directorySize, 4);
    Put(out, zip64 ? 0xFFFFFFFF : directory, 4);
    Put(out, 0, 2);
    return built;
}

}  // namespace testzip
