#pragma once

#include <QStringList>
#include <QTemporaryDir>

// Points the settings store and the application-support folder at a fresh
// temporary home, so tests never touch the user's own files.
class TestEnvironment {
public:
    TestEnvironment();
    QString home() const { return m_home.path(); }
    QString appData() const;
    QString settingsPath() const;
    // The runs' temporary folders (".Temp_*") in the application-support folder.
    QStringList temporaryFolders() const;
    static QString corpusPath(const QString &name = QString());

private:
    QTemporaryDir m_home;
};
