#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <functional>
#include <mutex>

// Answers libarchive's passphrase requests for one run. libarchive keeps
// every passphrase it was given and tries them all on each encrypted entry
// before it asks again, so a request means that every one handed over so
// far failed for the current entry. Handing over one of those again would
// only loop; the run gives up with a password error instead.
class PassphraseBroker {
public:
    struct Hooks {
        std::function<QString()> currentPassword;
        // Asks the user; false when nobody can be asked.
        std::function<bool()> ask;
        std::function<bool()> shouldStop;
        // Shared by the brokers of readers that run at once, so that one
        // answer serves them all and the user is asked once.
        std::mutex *askLock = nullptr;
    };

    explicit PassphraseBroker(Hooks hooks) : m_hooks(std::move(hooks)) {}

    // For libarchive: a passphrase to try, or null to give up.
    const char *next();
    // Why the last request was refused: XADPasswordError, XADBreakError or 0.
    int failure() const { return m_failure; }

private:
    const char *give(const QString &password);

    Hooks m_hooks;
    QSet<QString> m_given;
    QByteArray m_answer;
    int m_failure = 0;
};
