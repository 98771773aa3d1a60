// A reader of DER's tag-length-value elements, for the few shapes the signature check meets.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace crypto::der {

struct Element {
    std::uint8_t tag = 0;
    std::span<const std::uint8_t> content;
};

// Takes the next element off the front of `in`: a one-byte tag and a definite length in its
// shortest form (no indefinite lengths, none longer than the input). None when malformed.
std::optional<Element> Next(std::span<const std::uint8_t>& in);

// The magnitude of a positive INTEGER's content in minimal two's complement, without its sign
// byte; none when negative, zero-length or not minimal.
std::optional<std::span<const std::uint8_t>> PositiveInteger(std::span<const std::uint8_t> content);

constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kBitString = 0x03;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kObjectId = 0x06;
constexpr std::uint8_t kSequence = 0x30;

// SubjectPublicKeyInfo of id-ecPublicKey on prime256v1, up to the BIT STRING's unused-bits
// byte; the 65-byte uncompressed point follows.
inline constexpr std::uint8_t kP256InfoPrefix[] = {
    0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,
    0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};

}  // namespace crypto::der
