#pragma once

#include <QString>

// The user's text for a string-table key; the key itself when the table has
// no text for it.
QString localizedString(const char *key);
// Same for a key known only at run time (the engine's error texts).
QString localizedString(const QString &key);
