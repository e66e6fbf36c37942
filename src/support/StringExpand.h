#pragma once

#include <QDateTime>
#include <QString>

// Present (not null), not blank once trimmed, and not the text "(null)".
bool isValid(const QString &text);
// The date the text spells in a QDateTime pattern, in local time; an invalid
// QDateTime when the text is empty or does not follow the pattern.
QDateTime convertToDateWithFormat(const QString &text, const QString &pattern);
// The folder name in the user's application-support folder; null when there is none.
QString toTempFolderPath(const QString &folderName);
// The user's desktop folder, or ~/Desktop when the system names none.
QString desktopPath();
