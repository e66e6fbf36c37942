#include "platform/engine/PassphraseBroker.h"

#include "platform/errors/XADException.h"

const char *PassphraseBroker::next()
{
    std::unique_lock<std::mutex> lock;
    if (m_hooks.askLock)
        lock = std::unique_lock(*m_hooks.askLock);
    const QString known = m_hooks.currentPassword();
    if (!known.isNull() && !m_given.contains(known))
        return give(known);
    const bool asked = m_hooks.ask && m_hooks.ask();
    if (m_hooks.shouldStop && m_hooks.shouldStop()) {
        m_failure = XADBreakError;
        return nullptr;
    }
    const QString answer = m_hooks.currentPassword();
    if (!asked || answer.isNull() || m_given.contains(answer)) {
        m_failure = XADPasswordError;
        return nullptr;
    }
    return give(answer);
}

const char *PassphraseBroker::give(const QString &password)
{
    m_failure = 0;
    m_given.insert(password);
    // libarchive copies it at once; the bytes only have to live until then.
    m_answer = password.toUtf8();
    return m_answer.constData();
}
