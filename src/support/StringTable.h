#pragma once

#include <QLocale>
#include <QString>

// The application's string table: the English table under every lookup, the
// user's language (Simplified Chinese) above it when the locale asks for it,
// and Qt's own texts for the standard dialogs in that language.
class StringTable {
public:
    // Replaces whatever an earlier call installed; returns the language now
    // in use, "en" or "zh_CN".
    static QString install(const QLocale &locale = QLocale::system());
    static void uninstall();

    // The first of the locale's languages that has a table; "en" otherwise.
    static QString languageForLocale(const QLocale &locale);
    // The compiled table of a language, as embedded in the program.
    static QString tablePath(const QString &language);
};
