// The signature check on OpenSSL's libcrypto.
#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>

#include "platform/crypto/crypto.h"
#include "platform/crypto/der.h"

namespace crypto {
namespace {

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct ContextFree {
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
struct BioFree {
    void operator()(BIO* b) const { BIO_free(b); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_PKEY_CTX, ContextFree>;

// The SubjectPublicKeyInfo of the point, which d2i_PUBKEY checks to lie on the curve.
Key PublicKey(const PublicPoint& point) {
    constexpr auto& kPrefix = der::kP256InfoPrefix;
    std::uint8_t info[sizeof kPrefix + 65];
    std::memcpy(info, kPrefix, sizeof kPrefix);
    std::memcpy(info + sizeof kPrefix, point.data(), point.size());
    const unsigned char* p = info;
    return Key(d2i_PUBKEY(nullptr, &p, sizeof info));
}

bool IsP256(EVP_PKEY* key) {
    char group[64] = {};
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                          nullptr) == 1 &&
           std::strcmp(group, "prime256v1") == 0;
}

}  // namespace

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    EVP_DigestUpdate(state_->context, data, size);
}

Digest Sha256::Final() {
    Digest digest{};
    unsigned int size = 0;
    EVP_DigestFinal_ex(state_->context, digest.data(), &size);
    return digest;
}

Verdict Verify(std::string_view publicKeyPem, const Digest& digest,
               std::span<const std::uint8_t> derSignature) {
    const auto point = ParsePublicKeyPem(publicKeyPem);
    if (!point) return Verdict::BadKey;
    Key key = PublicKey(*point);
    if (!key) return Verdict::BadKey;
    // The strict parse decides what is malformed, the same on both systems.
    if (!ParseDerSignature(derSignature)) return Verdict::Malformed;
    Context context(EVP_PKEY_CTX_new(key.get(), nullptr));
    if (!context || EVP_PKEY_verify_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) != 1) {
        return Verdict::BadKey;
    }
    const int result = EVP_PKEY_verify(context.get(), derSignature.data(), derSignature.size(),
                                       digest.data(), digest.size());
    return result == 1 ? Verdict::Good : Verdict::Mismatch;
}

std::optional<Bytes> Sign(std::string_view privateKeyPem, const Digest& digest,
                          std::string* error) {
    std::unique_ptr<BIO, BioFree> text(
        BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size())));
    // No passphrase callback: an encrypted key fails here instead of prompting.
    Key key(text ? PEM_read_bio_PrivateKey(text.get(), nullptr, nullptr, const_cast<char*>(""))
                 : nullptr);
    if (!key) {
        *error = "not an unencrypted PEM private key";
        return std::nullopt;
    }
    if (!IsP256(key.get())) {
        *error = "not a key of the P-256 curve (prime256v1)";
        return std::nullopt;
    }
    Context context(EVP_PKEY_CTX_new(key.get(), nullptr));
    std::size_t size = 0;
    if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) != 1 ||
        EVP_PKEY_sign(context.get(), nullptr, &size, digest.data(), digest.size()) != 1) {
        *error = "the key cannot sign";
        return std::nullopt;
    }
    Bytes signature(size);
    if (EVP_PKEY_sign(context.get(), signature.data(), &size, digest.data(), digest.size()) != 1) {
        *error = "the key cannot sign";
        return std::nullopt;
    }
    signature.resize(size);
    return signature;
}

}  // namespace crypto
