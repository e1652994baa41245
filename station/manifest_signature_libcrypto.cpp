// The manifest's signature checked by OpenSSL's libcrypto (Linux). Its key and signature code is
// loaded from the shared library when a signature is first checked: linked in, it doubled
// knot-fdt and its relocations cost every start about 1.7 ms, though few runs check a signature.
#include "manifest_signature.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/opensslv.h>
#include <openssl/pem.h>

#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <string>

namespace knot::station {
namespace {

// The libcrypto functions the check calls, typed by the headers it was built with.
struct Libcrypto {
    decltype(&BIO_new_mem_buf) newMemoryBio = nullptr;
    decltype(&BIO_free) freeBio = nullptr;
    decltype(&PEM_read_bio_PUBKEY) readPublicKey = nullptr;
    decltype(&EVP_PKEY_free) freeKey = nullptr;
    decltype(&EVP_PKEY_get_base_id) keyBaseId = nullptr;
    decltype(&EVP_PKEY_get_group_name) keyGroupName = nullptr;
    decltype(&EVP_MD_CTX_new) newDigest = nullptr;
    decltype(&EVP_MD_CTX_free) freeDigest = nullptr;
    decltype(&EVP_DigestVerifyInit) verifyInit = nullptr;
    decltype(&EVP_DigestVerify) verify = nullptr;
    decltype(&EVP_sha256) sha256 = nullptr;
};

template <typename Function> bool Find(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

// The shared libcrypto of the version the headers are, loaded once and kept; nullptr when it
// or one of its functions is missing.
const Libcrypto* LoadLibcrypto() {
    static const std::unique_ptr<const Libcrypto> loaded = []() -> std::unique_ptr<Libcrypto> {
        const std::string name = "libcrypto.so." + std::to_string(OPENSSL_VERSION_MAJOR);
        void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            return nullptr;
        }
        auto crypto = std::make_unique<Libcrypto>();
        if (Find(library, "BIO_new_mem_buf", crypto->newMemoryBio) &&
            Find(library, "BIO_free", crypto->freeBio) &&
            Find(library, "PEM_read_bio_PUBKEY", crypto->readPublicKey) &&
            Find(library, "EVP_PKEY_free", crypto->freeKey) &&
            Find(library, "EVP_PKEY_get_base_id", crypto->keyBaseId) &&
            Find(library, "EVP_PKEY_get_group_name", crypto->keyGroupName) &&
            Find(library, "EVP_MD_CTX_new", crypto->newDigest) &&
            Find(library, "EVP_MD_CTX_free", crypto->freeDigest) &&
            Find(library, "EVP_DigestVerifyInit", crypto->verifyInit) &&
            Find(library, "EVP_DigestVerify", crypto->verify) &&
            Find(library, "EVP_sha256", crypto->sha256)) {
            return crypto; // the library stays loaded for the process
        }
        dlclose(library);
        return nullptr;
    }();
    return loaded.get();
}

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

// The key when `pem` holds an EC public key on P-256 (libcrypto calls it prime256v1).
Key ReadP256Key(const Libcrypto& crypto, std::string_view pem) {
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        crypto.newMemoryBio(pem.data(), static_cast<int>(pem.size())), crypto.freeBio);
    Key key(bio ? crypto.readPublicKey(bio.get(), nullptr, nullptr, nullptr) : nullptr,
            crypto.freeKey);
    char group[64] = "";
    std::size_t length = 0;
    if (!key || crypto.keyBaseId(key.get()) != EVP_PKEY_EC ||
        crypto.keyGroupName(key.get(), group, sizeof group, &length) != 1 ||
        std::strcmp(group, "prime256v1") != 0) {
        return Key(nullptr, crypto.freeKey);
    }
    return key;
}

} // namespace

SignatureVerdict VerifyP256Signature(std::string_view keyPem, std::string_view message,
                                     std::string_view derSignature) {
    const Libcrypto* crypto = LoadLibcrypto();
    if (crypto == nullptr) {
        return SignatureVerdict::SystemFailure;
    }
    const Key key = ReadP256Key(*crypto, keyPem);
    if (!key) {
        return SignatureVerdict::KeyNotP256;
    }
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(crypto->newDigest(),
                                                                          crypto->freeDigest);
    if (!context ||
        crypto->verifyInit(context.get(), nullptr, crypto->sha256(), nullptr, key.get()) != 1) {
        return SignatureVerdict::SystemFailure;
    }
    // 1: good; 0: a signature of other bytes or by another key; below 0: not a DER signature.
    const int verified =
        crypto->verify(context.get(), reinterpret_cast<const unsigned char*>(derSignature.data()),
                       derSignature.size(), reinterpret_cast<const unsigned char*>(message.data()),
                       message.size());
    return verified == 1 ? SignatureVerdict::Good : SignatureVerdict::Bad;
}

} // namespace knot::station
