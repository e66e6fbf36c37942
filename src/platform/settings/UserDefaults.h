#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariantMap>
#include <memory>

// The per-user settings store: plain keys in an INI file at the XDG config
// location (~/.config/Quillbox/Quillbox.conf). No defaults are registered: an
// absent key reads as 0, false, a null string or an empty map.
class UserDefaults {
public:
    static UserDefaults &standardUserDefaults();
    // Points the shared store at another file (tests, sandboxed runs).
    static void useStoreAtPath(const QString &iniPath);

    qint64 integerForKey(const QString &key) const;
    bool boolForKey(const QString &key) const;
    QString stringForKey(const QString &key) const;
    QVariantMap dictionaryForKey(const QString &key) const;

    void setInteger(qint64 value, const QString &key);
    void setBool(bool value, const QString &key);
    void setString(const QString &value, const QString &key);
    void setDictionary(const QVariantMap &value, const QString &key);
    void removeObjectForKey(const QString &key);
    void synchronize();

    QString storePath() const;

private:
    explicit UserDefaults(const QString &iniPath);
    std::unique_ptr<QSettings> m_settings;
};
