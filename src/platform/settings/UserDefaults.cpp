#include "platform/settings/UserDefaults.h"

#include <QStandardPaths>

namespace {

QString defaultStorePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + u"/Quillbox/Quillbox.conf"_qs;
}

std::unique_ptr<UserDefaults> &sharedStore()
{
    static std::unique_ptr<UserDefaults> store;
    return store;
}

} // namespace

UserDefaults::UserDefaults(const QString &iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

UserDefaults &UserDefaults::standardUserDefaults()
{
    auto &store = sharedStore();
    if (!store)
        store.reset(new UserDefaults(defaultStorePath()));
    return *store;
}

void UserDefaults::useStoreAtPath(const QString &iniPath)
{
    sharedStore().reset(new UserDefaults(iniPath));
}

qint64 UserDefaults::integerForKey(const QString &key) const
{
    bool ok = false;
    const qint64 value = m_settings->value(key).toLongLong(&ok);
    return ok ? value : 0;
}

bool UserDefaults::boolForKey(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    // INI files hold text; a hand-edited "1", "true" or "yes" all mean yes.
    const QString text = value.toString().trimmed().toLower();
    if (text == u"true"_qs || text == u"yes"_qs)
        return true;
    return integerForKey(key) != 0;
}

QString UserDefaults::stringForKey(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return QString();
    return value.toString();
}

QVariantMap UserDefaults::dictionaryForKey(const QString &key) const
{
    return m_settings->value(key).toMap();
}

void UserDefaults::setInteger(qint64 value, const QString &key)
{
    m_settings->setValue(key, value);
}

void UserDefaults::setBool(bool value, const QString &key)
{
    m_settings->setValue(key, value);
}

void UserDefaults::setString(const QString &value, const QString &key)
{
    m_settings->setValue(key, value);
}

void UserDefaults::setDictionary(const QVariantMap &value, const QString &key)
{
    m_settings->setValue(key, value);
}

void UserDefaults::removeObjectForKey(const QString &key)
{
    m_settings->remove(key);
}

void UserDefaults::synchronize()
{
    m_settings->sync();
}

QString UserDefaults::storePath() const
{
    return m_settings->fileName();
}
