// The manifest's signature checked by OpenSSL's libcrypto (Linux).
#include "manifest_signature.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstring>
#include <memory>

namespace knot::station {
namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// The key when `pem` holds an EC public key on P-256 (libcrypto calls it prime256v1).
std::unique_ptr<EVP_PKEY, KeyFree> ReadP256Key(std::string_view pem) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) {
        return nullptr;
    }
    std::unique_ptr<EVP_PKEY, KeyFree> key(
        PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    char group[64] = "";
    std::size_t length = 0;
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_EC ||
        EVP_PKEY_get_group_name(key.get(), group, sizeof group, &length) != 1 ||
        std::strcmp(group, "prime256v1") != 0) {
        return nullptr;
    }
    return key;
}

} // namespace

SignatureVerdict VerifyP256Signature(std::string_view keyPem, std::string_view message,
                                     std::string_view derSignature) {
    std::unique_ptr<EVP_PKEY, KeyFree> key = ReadP256Key(keyPem);
    if (!key) {
        return SignatureVerdict::KeyNotP256;
    }
    std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    if (!context ||
        EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
        return SignatureVerdict::SystemFailure;
    }
    // 1: good; 0: a signature of other bytes or by another key; below 0: not a DER signature.
    const int verified =
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(derSignature.data()),
                         derSignature.size(),
                         reinterpret_cast<const unsigned char*>(message.data()), message.size());
    return verified == 1 ? SignatureVerdict::Good : SignatureVerdict::Bad;
}

} // namespace knot::station
