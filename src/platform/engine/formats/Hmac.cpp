#include "platform/engine/formats/Hmac.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>

void Hmac::ContextFree::operator()(evp_mac_ctx_st *context) const
{
    EVP_MAC_CTX_free(context);
}

Hmac::Hmac(const char *digest, const QByteArray &key)
{
    EVP_MAC *mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    if (!mac)
        return;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char *>(digest), 0),
        OSSL_PARAM_construct_end()};
    Context keyed(EVP_MAC_CTX_new(mac));
    EVP_MAC_free(mac); // the context holds its own reference
    const auto *bytes = reinterpret_cast<const unsigned char *>(key.constData());
    if (keyed && EVP_MAC_init(keyed.get(), bytes, size_t(key.size()), params) == 1)
        m_keyed = std::move(keyed);
}

Hmac::~Hmac() = default;
Hmac::Hmac(Hmac &&) noexcept = default;

QByteArray Hmac::sign(const char *data, qint64 size) const
{
    Context context(m_keyed ? EVP_MAC_CTX_dup(m_keyed.get()) : nullptr);
    unsigned char code[EVP_MAX_MD_SIZE];
    size_t written = 0;
    if (!context || EVP_MAC_update(context.get(), reinterpret_cast<const unsigned char *>(data), size_t(size)) != 1 ||
        EVP_MAC_final(context.get(), code, &written, sizeof code) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char *>(code), qsizetype(written));
}

bool Hmac::add(const char *data, qint64 size)
{
    if (!m_running && m_keyed)
        m_running.reset(EVP_MAC_CTX_dup(m_keyed.get()));
    return m_running &&
           EVP_MAC_update(m_running.get(), reinterpret_cast<const unsigned char *>(data), size_t(size)) == 1;
}

QByteArray Hmac::finish()
{
    unsigned char code[EVP_MAX_MD_SIZE];
    size_t written = 0;
    const Context running = std::move(m_running);
    if (!running || EVP_MAC_final(running.get(), code, &written, sizeof code) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char *>(code), qsizetype(written));
}
