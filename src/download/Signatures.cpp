// The signature check of the archives: a file is taken only when the signature published beside
// it, made with the maker's private key, matches its SHA-256 under the key built in.
#include <array>
#include <exception>
#include <string>

#include "platform/crypto/crypto.h"
#include "platform/files/files.h"
#include "window/frmInstall.h"

namespace {

// Far above the 72 bytes of a DER signature of the curve: anything longer is malformed anyway.
constexpr std::size_t kMaxSignature = 1024;

void RemoveIfPresent(const std::string& path) {
    try {
        if (!files::Dir(path).empty()) files::Kill(path);
    } catch (const std::exception&) {
        // What could not be removed fails the next check the same way.
    }
}

// The file's SHA-256 and the signature's bytes; false when either cannot be read.
bool ReadBoth(const std::string& file, const std::string& signature, crypto::Digest& digest,
              crypto::Bytes& signatureBytes) {
    try {
        if (files::Dir(file).empty() || files::Dir(signature).empty()) return false;
        files::BinaryFile sig(signature, files::BinaryFile::Mode::Read);
        signatureBytes.resize(kMaxSignature + 1);
        signatureBytes.resize(sig.Read(signatureBytes.data(), signatureBytes.size()));
        sig.Close();
        files::BinaryFile data(file, files::BinaryFile::Mode::Read);
        crypto::Sha256 hash;
        std::array<char, 65536> chunk;
        for (std::size_t got; (got = data.Read(chunk.data(), chunk.size())) > 0;)
            hash.Update(chunk.data(), got);
        data.Close();
        digest = hash.Final();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

bool frmInstall::VerificaAssinatura(const std::string& pArquivo, const std::string& pAssinatura) {
    if (mChavePublica.empty()) return true;
    const auto log = [this](const std::string& text) {
        if (LogLine) LogLine(text);
    };
    crypto::Digest digest{};
    crypto::Bytes signature;
    if (!ReadBoth(pArquivo, pAssinatura, digest, signature)) {
        log("Arquivo recusado: " + pArquivo + ": assinatura " + pAssinatura + " ausente");
        return false;
    }
    switch (crypto::Verify(mChavePublica, digest, signature)) {
        case crypto::Verdict::Good:
            log("Arquivo verificado: " + pArquivo + " (SHA-256 " + crypto::Hex(digest) + ")");
            return true;
        case crypto::Verdict::Mismatch:
            log("Arquivo recusado: " + pArquivo + ": a assinatura não confere (SHA-256 " +
                crypto::Hex(digest) + ")");
            return false;
        case crypto::Verdict::Malformed:
            log("Arquivo recusado: " + pArquivo + ": assinatura " + pAssinatura + " malformada");
            return false;
        case crypto::Verdict::BadKey:
            break;
    }
    log("Arquivo recusado: " + pArquivo + ": a chave pública do instalador é inválida");
    return false;
}

bool frmInstall::ConfereDownload(const std::string& pLocal, const std::string& pRemoto) {
    if (mChavePublica.empty()) return true;
    const std::string signature = pLocal + ".sig";
    RemoveIfPresent(signature);
    // A signature that cannot be fetched is a missing one: the check says so.
    mFTP->SimpleFTPGetFile(signature, pRemoto + ".sig");
    const bool good = VerificaAssinatura(pLocal, signature);
    RemoveIfPresent(signature);
    if (!good) RemoveIfPresent(pLocal);
    return good;
}
