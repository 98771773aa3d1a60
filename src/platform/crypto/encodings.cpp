// The encodings both sides share: DER signatures, PEM blocks, the P-256 public key's
// SubjectPublicKeyInfo, and hexadecimal text.
#include <algorithm>
#include <cstring>

#include "platform/crypto/crypto.h"
#include "platform/crypto/der.h"

namespace crypto {
namespace der {

std::optional<Element> Next(std::span<const std::uint8_t>& in) {
    if (in.size() < 2) return std::nullopt;
    Element e;
    e.tag = in[0];
    if ((e.tag & 0x1f) == 0x1f) return std::nullopt;  // multi-byte tags: none of ours
    std::size_t length = in[1];
    std::size_t header = 2;
    if (length & 0x80) {
        const std::size_t bytes = length & 0x7f;
        // Two length bytes reach 64 KiB, far more than any element here.
        if (bytes == 0 || bytes > 2 || in.size() < 2 + bytes) return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < bytes; ++i) length = (length << 8) | in[2 + i];
        if (in[2] == 0 || length < 0x80) return std::nullopt;  // not the shortest form
        header += bytes;
    }
    if (in.size() - header < length) return std::nullopt;
    e.content = in.subspan(header, length);
    in = in.subspan(header + length);
    return e;
}

std::optional<std::span<const std::uint8_t>> PositiveInteger(std::span<const std::uint8_t> c) {
    if (c.empty() || (c[0] & 0x80)) return std::nullopt;
    if (c[0] == 0 && c.size() == 1) return c.subspan(1);  // zero
    if (c[0] == 0) {
        if (!(c[1] & 0x80)) return std::nullopt;  // a padding byte that was not needed
        return c.subspan(1);
    }
    return c;
}

}  // namespace der

namespace {

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::optional<Bytes> DecodeBase64(std::string_view text) {
    Bytes out;
    std::uint32_t bits = 0;
    int count = 0;
    int padding = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int v = Base64Value(c);
        if (v < 0 || padding > 0) return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if (++count == 4) {
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 1 || padding > 2 || (count != 0 && count + padding != 4)) return std::nullopt;
    if (count == 2) out.push_back(static_cast<std::uint8_t>(bits >> 4));
    if (count == 3) {
        out.push_back(static_cast<std::uint8_t>(bits >> 10));
        out.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    return out;
}

}  // namespace

std::optional<RawSignature> ParseDerSignature(std::span<const std::uint8_t> in) {
    auto sequence = der::Next(in);
    if (!sequence || sequence->tag != der::kSequence || !in.empty()) return std::nullopt;
    RawSignature raw{};
    std::span<const std::uint8_t> body = sequence->content;
    for (std::size_t half = 0; half < 2; ++half) {
        auto integer = der::Next(body);
        if (!integer || integer->tag != der::kInteger) return std::nullopt;
        auto magnitude = der::PositiveInteger(integer->content);
        if (!magnitude || magnitude->empty() || magnitude->size() > 32) return std::nullopt;
        std::memcpy(raw.data() + half * 32 + (32 - magnitude->size()), magnitude->data(),
                    magnitude->size());
    }
    if (!body.empty()) return std::nullopt;
    return raw;
}

Bytes EncodeDerSignature(const RawSignature& raw) {
    // At most 2 + 2 * 35 bytes: the short length form always fits.
    Bytes out{der::kSequence, 0};
    for (std::size_t half = 0; half < 2; ++half) {
        std::size_t first = half * 32;
        const std::size_t end = first + 32;
        while (first + 1 < end && raw[first] == 0) ++first;
        const bool pad = raw[first] & 0x80;
        out.push_back(der::kInteger);
        out.push_back(static_cast<std::uint8_t>(end - first + (pad ? 1 : 0)));
        if (pad) out.push_back(0);
        for (std::size_t i = first; i < end; ++i) out.push_back(raw[i]);
    }
    out[1] = static_cast<std::uint8_t>(out.size() - 2);
    return out;
}

std::optional<Bytes> DecodePem(std::string_view pem, std::string_view label) {
    const std::string begin = "-----BEGIN " + std::string(label) + "-----";
    const std::string end = "-----END " + std::string(label) + "-----";
    const auto start = pem.find(begin);
    if (start == std::string_view::npos) return std::nullopt;
    const auto bodyStart = start + begin.size();
    const auto stop = pem.find(end, bodyStart);
    if (stop == std::string_view::npos) return std::nullopt;
    return DecodeBase64(pem.substr(bodyStart, stop - bodyStart));
}

std::optional<PublicPoint> ParsePublicKeyPem(std::string_view pem) {
    const auto info = DecodePem(pem, "PUBLIC KEY");
    constexpr std::size_t prefix = sizeof der::kP256InfoPrefix;
    if (!info || info->size() != prefix + 65) return std::nullopt;
    if (!std::equal(der::kP256InfoPrefix, der::kP256InfoPrefix + prefix, info->begin()))
        return std::nullopt;
    if ((*info)[prefix] != 0x04) return std::nullopt;  // compressed points: not written by OpenSSL
    PublicPoint point;
    std::copy(info->begin() + prefix, info->end(), point.begin());
    return point;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

}  // namespace crypto
