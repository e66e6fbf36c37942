#include "TestEnvironment.h"

#include "platform/unarchiver/EngineProcess.h"
#include "platform/settings/UserDefaults.h"
#include "support/StringTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

TestEnvironment::TestEnvironment()
{
    QCoreApplication::setApplicationName(u"Quillbox"_qs);
    QCoreApplication::setOrganizationName(QString());
    const QByteArray home = m_home.path().toLocal8Bit();
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_CACHE_HOME", home + "/.cache");
    QDir().mkpath(appData());
    UserDefaults::useStoreAtPath(settingsPath());
    // Tests read the English texts, whatever the machine's locale.
    StringTable::install(QLocale(QLocale::English));
    // The helper of this build, not one that may be installed on the machine.
    EngineProcess::setHelperPath(QStringLiteral(QUILLBOX_ENGINE_PATH));
}

QString TestEnvironment::appData() const
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString TestEnvironment::settingsPath() const
{
    return m_home.path() + u"/.config/Quillbox/Quillbox.conf"_qs;
}

QStringList TestEnvironment::temporaryFolders() const
{
    return QDir(appData()).entryList({u".Temp_*"_qs}, QDir::AllEntries | QDir::Hidden | QDir::System);
}

QString TestEnvironment::corpusPath(const QString &name)
{
    const QString root = qEnvironmentVariable("QUILLBOX_CORPUS");
    return name.isEmpty() ? root : QDir(root).filePath(name);
}
