#pragma once

#include <QString>

// The keys of the settings store, exactly as they are stored.
namespace SettingsKeys {
inline const QString SaveMethod = QStringLiteral("save method");
inline const QString SelectPath = QStringLiteral("select path");
inline const QString OpenFolder = QStringLiteral("open folder");
inline const QString ExitApp = QStringLiteral("exit app");
inline const QString DeleteZip = QStringLiteral("delete zip");
inline const QString CachedURLs = QStringLiteral("cached URLs Key");
inline const QString Desc = QStringLiteral("desc");
inline const QString First = QStringLiteral("first");
inline const QString Day = QStringLiteral("day");
inline const QString Comment = QStringLiteral("comment");
} // namespace SettingsKeys

// Values of "save method".
namespace SaveMethod {
constexpr int BesideArchive = 1;
constexpr int Desktop = 2;
constexpr int ChosenFolder = 3;
} // namespace SaveMethod
