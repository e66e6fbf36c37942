#include "StringTable.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>
#include <vector>

namespace {

std::vector<std::unique_ptr<QTranslator>> &installed()
{
    static std::vector<std::unique_ptr<QTranslator>> translators;
    return translators;
}

void installTranslator(std::unique_ptr<QTranslator> translator)
{
    QCoreApplication::installTranslator(translator.get());
    installed().push_back(std::move(translator));
}

bool isSimplifiedChinese(const QLocale &locale)
{
    return locale.language() == QLocale::Chinese
           && locale.script() == QLocale::SimplifiedHanScript;
}

} // namespace

QString StringTable::languageForLocale(const QLocale &locale)
{
    // uiLanguages() lists the user's choices in order (LANGUAGE first);
    // the first one that is English or Chinese decides.
    for (const QString &name : locale.uiLanguages()) {
        const QLocale candidate(name);
        if (candidate.language() == QLocale::English)
            return u"en"_qs;
        // A reader of Traditional Chinese gets English rather than a script
        // they did not ask for.
        if (candidate.language() == QLocale::Chinese)
            return isSimplifiedChinese(candidate) ? u"zh_CN"_qs : u"en"_qs;
    }
    return u"en"_qs;
}

QString StringTable::tablePath(const QString &language)
{
    return u":/i18n/quillbox_"_qs + language + u".qm"_qs;
}

QString StringTable::install(const QLocale &locale)
{
    uninstall();
    // Installed first, asked last: a key the user's table lacks still shows
    // its English text, never the bare key.
    auto english = std::make_unique<QTranslator>();
    if (english->load(tablePath(u"en"_qs)))
        installTranslator(std::move(english));

    const QString language = languageForLocale(locale);
    if (language == u"en"_qs)
        return language;
    auto own = std::make_unique<QTranslator>();
    if (own->load(tablePath(language)))
        installTranslator(std::move(own));
    auto qtTexts = std::make_unique<QTranslator>();
    if (qtTexts->load(u"qtbase_"_qs + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(std::move(qtTexts));
    return language;
}

void StringTable::uninstall()
{
    for (const auto &translator : installed())
        QCoreApplication::removeTranslator(translator.get());
    installed().clear();
}
