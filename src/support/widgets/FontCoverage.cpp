#include "FontCoverage.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHash>
#include <QList>
#include <QRawFont>
#include <QString>
#include <algorithm>

namespace {

// One font of every installed family, loaded at the first need.
const QList<QRawFont> &installedFonts()
{
    static const QList<QRawFont> fonts = [] {
        QList<QRawFont> loaded;
        for (const QString &family : QFontDatabase::families()) {
            const QRawFont font = QRawFont::fromFont(QFont(family));
            if (font.isValid())
                loaded.append(font);
        }
        return loaded;
    }();
    return fonts;
}

bool someFontHas(char32_t character)
{
    static QHash<char32_t, bool> known;
    const auto it = known.constFind(character);
    if (it != known.constEnd())
        return *it;
    const auto &fonts = installedFonts();
    const bool found = std::any_of(fonts.begin(), fonts.end(), [character](const QRawFont &font) {
        return font.supportsCharacter(character);
    });
    known.insert(character, found);
    return found;
}

} // namespace

bool FontCoverage::canDraw(const QString &text, const QFont &font)
{
    const QFontMetrics metrics(font);
    for (char32_t character : text.toUcs4()) {
        const QChar::Category category = QChar::category(character);
        if (category == QChar::Other_Format || QChar::isSpace(character))
            continue;
        if (category == QChar::Other_Control)
            return false;
        if (!metrics.inFontUcs4(character) && !someFontHas(character))
            return false;
    }
    return true;
}
