#pragma once

#include "platform/engine/formats/DecryptedView.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <mutex>

// The passwords of one archive and the keys they gave, shared by every
// reader of it. Formats whose entries each carry their own salt (RAR, zip
// with AES) find each entry's key here: the passwords that opened earlier
// entries are tried first, and only when none opens this one is another
// asked for, as libarchive does for zip. Workers reading at once share it, and the user
// is asked once.
class KeyRing {
public:
    // The key a password gives for a slot; empty when it cannot be made.
    using Derive = std::function<QByteArray(const QString &password)>;
    // Whether a key opens the slot: a check value, a header's checksum, or
    // a trial decoding.
    using Opens = std::function<bool(const QByteArray &key)>;

    // A password already known to be right (one that opened the headers).
    void addPassword(const QString &password);
    // The slot's key, found once; empty when no password opens it and no
    // other comes from `ask` (or the user gave up). Keys are cached by the
    // derivation's identity (salt, rounds) and password.
    QByteArray keyFor(int slot, const QByteArray &derivation, const Derive &derive, const Opens &opens,
                      const DecryptedView::PassphraseSource &ask);

    // The slot's key if it was found already; empty otherwise.
    QByteArray knownKey(int slot);

private:
    QByteArray derived(const QString &password, const QByteArray &derivation, const Derive &derive);
    void remember(int slot, const QByteArray &key, const QString &password);

    std::mutex m_lock;
    QStringList m_passwords;
    QHash<int, QByteArray> m_slotKeys;
    QHash<QByteArray, QByteArray> m_derived; // derivation + '\0' + password -> key
};
