// The signature check on either system: a signature that the OpenSSL command line made (kept
// here), signatures of our own, and the encodings' edge cases.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/crypto/crypto.h"

namespace {

using crypto::Bytes;
using crypto::Verdict;

std::string KeyText(const std::string& name) {
    std::ifstream in(std::string(INSTALLER_SOURCE_DIR) + "/tests/support/keys/" + name,
                     std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

crypto::Digest Sha256Of(const std::string& text) {
    crypto::Sha256 hash;
    hash.Update(text.data(), text.size());
    return hash.Final();
}

// `openssl dgst -sha256 -sign test-signing-key.pem` of the 8 bytes "kelvoran": both integers
// carry the zero byte that keeps their top bit from reading as a sign.
const Bytes kCommandLineSignature = FromHex(
    "304602210096dc84877028da7b9d6f1ed24d00585328a4321106f1fb18cdc422c8fa4a1f48022100fc0ba1e7"
    "0a40d7f14c60ae7632d3c13092169184c530bf2e37b9bc0c525e067f");

TEST(Signature, ChecksWhatTheCommandLineSignedAndRefusesEverythingElse) {
    const std::string key = KeyText("test-public-key.pem");
    const crypto::Digest digest = Sha256Of("kelvoran");
    EXPECT_EQ(crypto::Hex(digest),
              "44fc9b907b62a4fdb1b23c344e266b96c8a8098f3c717c8d0ce5e935ba18f6e5");
    EXPECT_EQ(crypto::Verify(key, digest, kCommandLineSignature), Verdict::Good);

    EXPECT_EQ(crypto::Verify(key, Sha256Of("kelvoraN"), kCommandLineSignature), Verdict::Mismatch);
    EXPECT_EQ(crypto::Verify(KeyText("other-public-key.pem"), digest, kCommandLineSignature),
              Verdict::Mismatch);
    Bytes flipped = kCommandLineSignature;
    flipped[10] ^= 1;
    EXPECT_EQ(crypto::Verify(key, digest, flipped), Verdict::Mismatch);
    const Bytes cut(kCommandLineSignature.begin(), kCommandLineSignature.end() - 1);
    EXPECT_EQ(crypto::Verify(key, digest, cut), Verdict::Malformed);
    EXPECT_EQ(crypto::Verify(key, digest, Bytes{}), Verdict::Malformed);
    EXPECT_EQ(crypto::Verify("not a key", digest, kCommandLineSignature), Verdict::BadKey);
}

TEST(Signature, OursVerifyUnderTheirKeyOnlyAndPrivateKeysAreChecked) {
    const crypto::Digest digest = Sha256Of("kelvoranx.zip");
    std::string error;
    // Both PEM forms of a private key: SEC1 ("EC PRIVATE KEY") and PKCS#8 ("PRIVATE KEY").
    for (const char* name : {"test-signing-key.pem", "test-signing-key.p8.pem"}) {
        const auto signature = crypto::Sign(KeyText(name), digest, &error);
        ASSERT_TRUE(signature) << name << ": " << error;
        EXPECT_EQ(crypto::Verify(KeyText("test-public-key.pem"), digest, *signature),
                  Verdict::Good);
        EXPECT_EQ(crypto::Verify(KeyText("other-public-key.pem"), digest, *signature),
                  Verdict::Mismatch);
    }
    EXPECT_FALSE(crypto::Sign(KeyText("test-public-key.pem"), digest, &error));
    EXPECT_FALSE(error.empty());
}

TEST(DerSignature, StrictEncodingOnly) {
    const auto raw = crypto::ParseDerSignature(kCommandLineSignature);
    ASSERT_TRUE(raw);
    EXPECT_EQ(crypto::EncodeDerSignature(*raw), kCommandLineSignature);

    crypto::RawSignature small{};
    small[31] = 1;
    small[63] = 0x80;
    EXPECT_EQ(crypto::Hex(crypto::EncodeDerSignature(small)),
              "30070201010202"
              "0080");

    const char* refused[] = {
        "3006020101020101"
        "00",                  // bytes after the sequence
        "3007020101020101",    // sequence longer than the input
        "308106020101020101",  // long length form for a short length
        "3006020181020101",    // negative r
        "300702020001020101",  // r with a zero byte it does not need
        "3006020100020101",    // r is zero
        "30050201010202",      // s longer than what is left
        "3006020101040101",    // s is not an INTEGER
        "3106020101020101",    // not a SEQUENCE
    };
    for (const char* hex : refused) EXPECT_FALSE(crypto::ParseDerSignature(FromHex(hex))) << hex;
    // 33 bytes of magnitude: more than the curve's 32.
    Bytes tooLong = FromHex("3026022101" + std::string(64, '1') + "020101");
    EXPECT_FALSE(crypto::ParseDerSignature(tooLong));
}

TEST(PublicKeyPem, OnlyAnUncompressedP256Key) {
    const std::string key = KeyText("test-public-key.pem");
    const auto point = crypto::ParsePublicKeyPem(key);
    ASSERT_TRUE(point);
    EXPECT_EQ((*point)[0], 0x04);
    EXPECT_FALSE(crypto::ParsePublicKeyPem(KeyText("test-signing-key.pem")));
    EXPECT_FALSE(crypto::ParsePublicKeyPem(KeyText("test-public-key-compressed.pem")));
    std::string broken = key;
    broken[40] = '*';
    EXPECT_FALSE(crypto::ParsePublicKeyPem(broken));
}

}  // namespace
