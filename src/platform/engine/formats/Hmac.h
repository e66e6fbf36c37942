#pragma once

#include <QByteArray>
#include <memory>

struct evp_mac_ctx_st;

// HMAC through OpenSSL's libcrypto, keyed once. A message is signed whole
// from a copy of the keyed state (PBKDF2's rounds spare the key schedule
// that way), or fed in pieces as it is read (a zip entry's code).
class Hmac {
public:
    // digest: OpenSSL's name for it ("SHA1", "SHA256").
    Hmac(const char *digest, const QByteArray &key);
    ~Hmac();
    Hmac(Hmac &&) noexcept;

    bool isValid() const { return bool(m_keyed); }
    // The code of one whole message, or empty.
    QByteArray sign(const char *data, qint64 size) const;
    // Pieces of one message, then its code (or empty).
    bool add(const char *data, qint64 size);
    QByteArray finish();

private:
    struct ContextFree {
        void operator()(evp_mac_ctx_st *context) const;
    };
    using Context = std::unique_ptr<evp_mac_ctx_st, ContextFree>;

    Context m_keyed;
    Context m_running;
};
