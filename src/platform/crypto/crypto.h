// Signatures of published files: SHA-256 digests and ECDSA signatures on the P-256 curve, in the
// forms the OpenSSL command line reads and writes (`openssl dgst -sha256 -sign key.pem` writes
// the DER signature, `openssl pkey -pubout` the PEM public key). One interface: posix/ runs on
// OpenSSL's libcrypto, windows/ on the system's CNG; the encodings in this folder serve both.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace crypto {

using Bytes = std::vector<std::uint8_t>;
using Digest = std::array<std::uint8_t, 32>;
// r and s, 32 bytes each, big-endian: the form CNG signs and verifies.
using RawSignature = std::array<std::uint8_t, 64>;
// The uncompressed point 04 || X || Y of a P-256 public key.
using PublicPoint = std::array<std::uint8_t, 65>;

class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    Digest Final();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// A DER ECDSA-Sig-Value (SEQUENCE of the INTEGERs r and s), strictly encoded, both positive and
// of at most 32 bytes; none for anything else.
std::optional<RawSignature> ParseDerSignature(std::span<const std::uint8_t> der);
Bytes EncodeDerSignature(const RawSignature& raw);

// The point of a PEM "PUBLIC KEY" (a SubjectPublicKeyInfo) of a P-256 key with its point
// uncompressed; none for any other text or key.
std::optional<PublicPoint> ParsePublicKeyPem(std::string_view pem);

// The body of the first PEM block of the given label ("PUBLIC KEY"), decoded; none when there is
// no such block or its Base64 is broken.
std::optional<Bytes> DecodePem(std::string_view pem, std::string_view label);

enum class Verdict {
    Good,
    Mismatch,   // a well-formed signature that does not match the digest and key
    Malformed,  // not a DER signature of the curve's size
    BadKey,     // the key is not a P-256 public key
};

// Checks a DER signature of a SHA-256 digest against a PEM public key.
Verdict Verify(std::string_view publicKeyPem, const Digest& digest,
               std::span<const std::uint8_t> derSignature);

// Signs a digest with a PEM private key of the P-256 curve ("EC PRIVATE KEY" or PKCS#8 "PRIVATE
// KEY", unencrypted); the DER signature, or none with the reason in *error.
std::optional<Bytes> Sign(std::string_view privateKeyPem, const Digest& digest, std::string* error);

std::string Hex(std::span<const std::uint8_t> bytes);

}  // namespace crypto
