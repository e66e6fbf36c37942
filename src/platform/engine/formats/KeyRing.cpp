#include "platform/engine/formats/KeyRing.h"

void KeyRing::addPassword(const QString &password)
{
    std::lock_guard lock(m_lock);
    if (!m_passwords.contains(password))
        m_passwords.append(password);
}

QByteArray KeyRing::keyFor(int slot, const QByteArray &derivation, const Derive &derive, const Opens &opens,
                           const DecryptedView::PassphraseSource &ask)
{
    std::lock_guard lock(m_lock);
    if (const auto known = m_slotKeys.constFind(slot); known != m_slotKeys.constEnd())
        return *known;
    auto tryPassword = [&](const QString &password) {
        const QByteArray key = derived(password, derivation, derive);
        if (key.isEmpty() || !opens(key))
            return false;
        m_slotKeys.insert(slot, key);
        return true;
    };
    for (const QString &password : std::as_const(m_passwords))
        if (tryPassword(password))
            return m_slotKeys.value(slot);
    // The source refuses a password it gave before, so this ends.
    while (const char *next = ask ? ask() : nullptr) {
        const QString password = QString::fromUtf8(next);
        if (m_passwords.contains(password))
            continue;
        m_passwords.append(password);
        if (tryPassword(password))
            return m_slotKeys.value(slot);
    }
    return {};
}

QByteArray KeyRing::derived(const QString &password, const QByteArray &derivation, const Derive &derive)
{
    const QByteArray id = derivation + '\0' + password.toUtf8();
    auto found = m_derived.find(id);
    if (found == m_derived.end())
        found = m_derived.insert(id, derive(password));
    return *found;
}

QByteArray KeyRing::knownKey(int slot)
{
    std::lock_guard lock(m_lock);
    return m_slotKeys.value(slot);
}
