#include "platform/engine/formats/AesCbc.h"

#include <memory>
#include <openssl/evp.h>

namespace {

struct CipherFree {
    void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
};

} // namespace

bool AesCbc::decrypt(const QByteArray &key, const QByteArray &iv, char *data, qint64 size)
{
    const EVP_CIPHER *cipher = key.size() == 16 ? EVP_aes_128_cbc() : key.size() == 32 ? EVP_aes_256_cbc() : nullptr;
    if (!cipher || iv.size() != blockSize || size < 0 || size % blockSize != 0 || size > INT_MAX)
        return false;
    std::unique_ptr<EVP_CIPHER_CTX, CipherFree> context(EVP_CIPHER_CTX_new());
    const auto *keyBytes = reinterpret_cast<const unsigned char *>(key.constData());
    const auto *ivBytes = reinterpret_cast<const unsigned char *>(iv.constData());
    if (!context || EVP_DecryptInit_ex(context.get(), cipher, nullptr, keyBytes, ivBytes) != 1)
        return false;
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    auto *bytes = reinterpret_cast<unsigned char *>(data);
    int written = 0;
    return EVP_DecryptUpdate(context.get(), bytes, &written, bytes, int(size)) == 1 && written == size;
}
