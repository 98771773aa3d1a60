// The signature check on the system's CNG (bcrypt.dll): keys imported as ECC key blobs built
// from the PEM texts, signatures handed over as r || s.
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <algorithm>
#include <cstring>

#include "platform/crypto/crypto.h"
#include "platform/crypto/der.h"

namespace crypto {
namespace {

class Algorithm {
  public:
    explicit Algorithm(LPCWSTR id) {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle_, id, nullptr, 0)))
            handle_ = nullptr;
    }
    ~Algorithm() {
        if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE get() const { return handle_; }

  private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class KeyHandle {
  public:
    KeyHandle(const Algorithm& algorithm, LPCWSTR type, Bytes& blob) {
        if (!algorithm.get() ||
            !BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm.get(), nullptr, type, &handle_,
                                                blob.data(), static_cast<ULONG>(blob.size()), 0)))
            handle_ = nullptr;
        // The private half has no business staying in memory once imported.
        SecureZeroMemory(blob.data(), blob.size());
    }
    ~KeyHandle() {
        if (handle_) BCryptDestroyKey(handle_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    BCRYPT_KEY_HANDLE get() const { return handle_; }

  private:
    BCRYPT_KEY_HANDLE handle_ = nullptr;
};

Bytes KeyBlob(ULONG magic, std::span<const std::uint8_t> parts) {
    const BCRYPT_ECCKEY_BLOB header{magic, 32};
    Bytes blob(sizeof header + parts.size());
    std::memcpy(blob.data(), &header, sizeof header);
    std::copy(parts.begin(), parts.end(), blob.begin() + sizeof header);
    return blob;
}

constexpr std::uint8_t kPrime256v1[] = {0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07};

bool IsPrime256v1(std::span<const std::uint8_t> oid) {
    return std::equal(oid.begin(), oid.end(), std::begin(kPrime256v1), std::end(kPrime256v1));
}

// X || Y || d from an ECPrivateKey (SEC1) with its public key, which OpenSSL always writes;
// `curveKnown` when an enclosing PKCS#8 already named the curve.
std::optional<Bytes> FromEcPrivateKey(std::span<const std::uint8_t> in, bool curveKnown) {
    auto outer = der::Next(in);
    if (!outer || outer->tag != der::kSequence) return std::nullopt;
    auto body = outer->content;
    auto version = der::Next(body);
    auto secret = der::Next(body);
    if (!version || version->tag != der::kInteger || !secret || secret->tag != der::kOctetString ||
        secret->content.size() != 32)
        return std::nullopt;
    std::optional<std::span<const std::uint8_t>> point;
    while (!body.empty()) {
        auto field = der::Next(body);
        if (!field) return std::nullopt;
        auto inner = field->content;
        auto value = der::Next(inner);
        if (field->tag == 0xa0 && value && value->tag == der::kObjectId) {
            if (!IsPrime256v1(value->content)) return std::nullopt;
            curveKnown = true;
        }
        if (field->tag == 0xa1 && value && value->tag == der::kBitString &&
            value->content.size() == 66 && value->content[0] == 0 && value->content[1] == 0x04)
            point = value->content.subspan(2);
    }
    if (!curveKnown || !point) return std::nullopt;
    Bytes parts(point->begin(), point->end());
    parts.insert(parts.end(), secret->content.begin(), secret->content.end());
    return parts;
}

std::optional<Bytes> PrivateKeyParts(std::string_view pem) {
    if (auto sec1 = DecodePem(pem, "EC PRIVATE KEY")) return FromEcPrivateKey(*sec1, false);
    auto pkcs8 = DecodePem(pem, "PRIVATE KEY");
    if (!pkcs8) return std::nullopt;
    std::span<const std::uint8_t> in(*pkcs8);
    auto outer = der::Next(in);
    if (!outer || outer->tag != der::kSequence) return std::nullopt;
    auto body = outer->content;
    auto version = der::Next(body);
    auto algorithm = der::Next(body);
    auto key = der::Next(body);
    if (!version || !algorithm || algorithm->tag != der::kSequence || !key ||
        key->tag != der::kOctetString)
        return std::nullopt;
    auto ids = algorithm->content;
    auto kind = der::Next(ids);
    auto curve = der::Next(ids);
    if (!kind || !curve || curve->tag != der::kObjectId || !IsPrime256v1(curve->content))
        return std::nullopt;
    return FromEcPrivateKey(key->content, true);
}

}  // namespace

struct Sha256::State {
    Algorithm algorithm{BCRYPT_SHA256_ALGORITHM};
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash) BCryptDestroyHash(hash);
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (state_->algorithm.get())
        BCryptCreateHash(state_->algorithm.get(), &state_->hash, nullptr, 0, nullptr, 0, 0);
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        BCryptHashData(state_->hash, bytes, piece, 0);
        bytes += piece;
        size -= piece;
    }
}

Digest Sha256::Final() {
    Digest digest{};
    BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
    return digest;
}

Verdict Verify(std::string_view publicKeyPem, const Digest& digest,
               std::span<const std::uint8_t> derSignature) {
    const auto point = ParsePublicKeyPem(publicKeyPem);
    if (!point) return Verdict::BadKey;
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    Bytes blob = KeyBlob(BCRYPT_ECDSA_PUBLIC_P256_MAGIC, std::span(*point).subspan(1));
    KeyHandle key(ecdsa, BCRYPT_ECCPUBLIC_BLOB, blob);
    if (!key.get()) return Verdict::BadKey;
    auto raw = ParseDerSignature(derSignature);
    if (!raw) return Verdict::Malformed;
    const NTSTATUS status = BCryptVerifySignature(
        key.get(), nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
        raw->data(), static_cast<ULONG>(raw->size()), 0);
    return BCRYPT_SUCCESS(status) ? Verdict::Good : Verdict::Mismatch;
}

std::optional<Bytes> Sign(std::string_view privateKeyPem, const Digest& digest,
                          std::string* error) {
    auto parts = PrivateKeyParts(privateKeyPem);
    if (!parts) {
        *error = "not an unencrypted PEM private key of the P-256 curve (prime256v1)";
        return std::nullopt;
    }
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    Bytes blob = KeyBlob(BCRYPT_ECDSA_PRIVATE_P256_MAGIC, *parts);
    SecureZeroMemory(parts->data(), parts->size());
    KeyHandle key(ecdsa, BCRYPT_ECCPRIVATE_BLOB, blob);
    RawSignature raw{};
    ULONG size = 0;
    if (!key.get() ||
        !BCRYPT_SUCCESS(BCryptSignHash(key.get(), nullptr, const_cast<PUCHAR>(digest.data()),
                                       static_cast<ULONG>(digest.size()), raw.data(),
                                       static_cast<ULONG>(raw.size()), &size, 0)) ||
        size != raw.size()) {
        *error = "the key cannot sign";
        return std::nullopt;
    }
    return EncodeDerSignature(raw);
}

}  // namespace crypto
