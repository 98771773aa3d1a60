// Fuzz target: the bytes are a signature file and, from the first byte on, a PEM text: the DER
// reader must refuse or take them without reading outside them, and what it takes must encode
// back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/crypto/crypto.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (auto raw = crypto::ParseDerSignature(bytes)) {
        const crypto::Bytes again = crypto::EncodeDerSignature(*raw);
        if (again.size() != size || !std::equal(again.begin(), again.end(), data)) __builtin_trap();
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto point = crypto::ParsePublicKeyPem(text)) {
        if ((*point)[0] != 0x04) __builtin_trap();
    }
    crypto::DecodePem(text, "EC PRIVATE KEY");
    return 0;
}
