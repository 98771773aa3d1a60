// The tests' signing keys (tests/support/keys): the pair the window under test trusts, and
// another that nobody trusts; and signing a file the way a maker publishes it.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

std::filesystem::path SigningKeyFile();       // the trusted pair's private half
std::filesystem::path OtherSigningKeyFile();  // a pair that nobody trusts
std::filesystem::path PublicKeyFile();        // the trusted pair's public half
std::string PublicKey();                      // its PEM text

// Writes file + ".sig", the DER signature of the file's SHA-256 with the key.
void SignFile(const std::filesystem::path& file,
              const std::filesystem::path& key = SigningKeyFile());

}  // namespace testsupport
