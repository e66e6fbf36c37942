#include "platform/engine/formats/KeyRing.h"

#include <QSet>

void KeyRing::addPassword(const QString &password)
{
    std::lock_guard lock(m_lock);
    if (!m_passwords.contains(password))
        m_passwords.append(password);
}

// Keys are derived and tried outside the lock, so that workers find the
// keys of their own entries at once; only asking is one at a time (the
// source's own lock). A password another worker was just given is tried
// before the user is asked again.
QByteArray KeyRing::keyFor(int slot, const QByteArray &derivation, const Derive &derive, const Opens &opens,
                           const DecryptedView::PassphraseSource &ask)
{
    QSet<QString> tried;
    for (;;) {
        QStringList known;
        {
            std::lock_guard lock(m_lock);
            if (const auto found = m_slotKeys.constFind(slot); found != m_slotKeys.constEnd())
                return *found;
            known = m_passwords;
        }
        for (const QString &password : std::as_const(known)) {
            if (tried.contains(password))
                continue;
            tried.insert(password);
            const QByteArray key = derived(password, derivation, derive);
            if (!key.isEmpty() && opens(key)) {
                remember(slot, key, password);
                return key;
            }
        }
        // The source refuses a password it gave before, so this ends.
        const char *next = ask ? ask() : nullptr;
        if (!next)
            return {};
        addPassword(QString::fromUtf8(next));
    }
}

QByteArray KeyRing::knownKey(int slot)
{
    std::lock_guard lock(m_lock);
    return m_slotKeys.value(slot);
}

// The password that opened the last entry is tried first on the next one:
// a wrong one typed earlier costs no key derivation per entry.
void KeyRing::remember(int slot, const QByteArray &key, const QString &password)
{
    std::lock_guard lock(m_lock);
    m_slotKeys.insert(slot, key);
    m_passwords.removeOne(password);
    m_passwords.prepend(password);
}

QByteArray KeyRing::derived(const QString &password, const QByteArray &derivation, const Derive &derive)
{
    const QByteArray id = derivation + '\0' + password.toUtf8();
    {
        std::lock_guard lock(m_lock);
        if (const auto found = m_derived.constFind(id); found != m_derived.constEnd())
            return *found;
    }
    const QByteArray key = derive(password);
    std::lock_guard lock(m_lock);
    m_derived.insert(id, key);
    return key;
}
