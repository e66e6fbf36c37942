#include "platform/system/PatternMatch.h"

#include <QRegularExpression>

bool matchedByPattern(const QString &text, const QString &pattern)
{
    const QRegularExpression expression(pattern);
    return expression.isValid() && expression.match(text).hasMatch();
}
