#pragma once

#include <QString>

// True when the regular expression matches anywhere in the text.
bool matchedByPattern(const QString &text, const QString &pattern);
