#include "support/signing.h"

#include <stdexcept>

#include "platform/crypto/crypto.h"
#include "support/prefix.h"

namespace testsupport {

namespace {

const std::filesystem::path kKeys =
    std::filesystem::path(INSTALLER_SOURCE_DIR) / "tests" / "support" / "keys";

}  // namespace

std::filesystem::path SigningKeyFile() { return kKeys / "test-signing-key.pem"; }
std::filesystem::path OtherSigningKeyFile() { return kKeys / "other-signing-key.pem"; }
std::filesystem::path PublicKeyFile() { return kKeys / "test-public-key.pem"; }
std::string PublicKey() { return TempPrefix::ReadFile(PublicKeyFile()); }

void SignFile(const std::filesystem::path& file, const std::filesystem::path& key) {
    const std::string content = TempPrefix::ReadFile(file);
    crypto::Sha256 hash;
    hash.Update(content.data(), content.size());
    std::string error;
    const auto signature = crypto::Sign(TempPrefix::ReadFile(key), hash.Final(), &error);
    if (!signature) throw std::runtime_error("cannot sign " + file.string() + ": " + error);
    TempPrefix::WriteFile(file.string() + ".sig",
                          std::string(signature->begin(), signature->end()));
}

}  // namespace testsupport
