// What the installer's side signs, the OpenSSL command line accepts: a maker can check a
// release with `openssl dgst -sha256 -verify`.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/crypto/crypto.h"
#include "support/prefix.h"
#include "support/signing.h"

namespace {

using testsupport::TempPrefix;

TEST(OpensslCommandLine, VerifiesOurSignatureOfAFileHashedInPieces) {
    TempPrefix prefix;
    const auto file = prefix.root / "kelvoranx.zip";
    std::string content;
    for (int i = 0; i < 100000; ++i) content += static_cast<char>(i * 7);
    TempPrefix::WriteFile(file, content);
    testsupport::SignFile(file);

    const std::string verify = "openssl dgst -sha256 -verify '" +
                               testsupport::PublicKeyFile().string() + "' -signature '" +
                               file.string() + ".sig' '" + file.string() + "' >/dev/null";
    EXPECT_EQ(std::system(verify.c_str()), 0);

    crypto::Sha256 pieces;
    for (std::size_t at = 0; at < content.size(); at += 4093)
        pieces.Update(content.data() + at, std::min<std::size_t>(4093, content.size() - at));
    const std::string digest =
        "openssl dgst -sha256 -r '" + file.string() + "' | grep -q ^" + crypto::Hex(pieces.Final());
    EXPECT_EQ(std::system(digest.c_str()), 0);
}

}  // namespace
