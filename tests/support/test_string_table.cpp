#include "TestEnvironment.h"
#include "platform/errors/XADException.h"
#include "support/Localized.h"
#include "support/StringTable.h"

#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTranslator>

namespace {

// Every key the code hands to the string table as a literal, with the file
// that first uses it.
QMap<QString, QString> keysInSources()
{
    static const QRegularExpression call(
        u"(?:localizedString|qtTrId|QT_TRID_NOOP)\\(\\s*(?:u8?)?\"((?:[^\"\\\\]|\\\\.)+)\"(?:_qs)?\\s*[,)]"_qs);
    QMap<QString, QString> keys;
    const QStringList roots{QString::fromUtf8(QUILLBOX_SOURCE_DIR) + u"/src"_qs,
                            QString::fromUtf8(QUILLBOX_SOURCE_DIR) + u"/translations"_qs};
    for (const QString &root : roots) {
        QDirIterator it(root, {u"*.cpp"_qs, u"*.h"_qs}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (const auto &match : call.globalMatch(text))
                keys.insert(match.captured(1), path.mid(root.size() + 1));
        }
    }
    return keys;
}

QString sourceRoot()
{
    return QString::fromUtf8(QUILLBOX_SOURCE_DIR);
}

QStringList filesUnder(const QStringList &folders, const QStringList &patterns)
{
    QStringList files;
    for (const QString &folder : folders) {
        QDirIterator it(sourceRoot() + u'/' + folder, patterns, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    return files;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Names are the same in every language; any other text a user sees goes
// through the table.
bool isProperName(const QString &text)
{
    static const QSet<QString> names{u"Quillbox"_qs, u"Vantor"_qs, u"Miravel"_qs};
    return names.contains(text.trimmed());
}

// What a literal says to a person once markup, placeholders and escapes
// are taken out.
QString wording(QString literal)
{
    static const QRegularExpression noise(u"<[^>]*>|%\\d+|\\\\."_qs);
    return literal.remove(noise).simplified();
}

// Literals in the code that a user would read, outside the table: prose
// (two words or more), or any word handed straight to a text setter or drawn.
QStringList literalsOutsideTheTable(const QString &code, const QString &where)
{
    static const QRegularExpression tableCall(
        u"(?:localizedString|qtTrId|QT_TRID_NOOP)\\(\\s*(?:u8?)?\"(?:[^\"\\\\]|\\\\.)*\""_qs);
    static const QRegularExpression literal(
        u"(?:\\bu8?|QStringLiteral\\()\"((?:[^\"\\\\]|\\\\.)*)\""_qs);
    static const QRegularExpression setter(
        u"\\b(?:setText|setToolTip|setWindowTitle|setPlaceholderText|setTitle|setLabelText|setStatusTip|"
        "setAccessibleName|setInformativeText|addAction|addMenu|drawText|showMessage)\\("_qs);
    static const QRegularExpression prose(u"[A-Za-z]{2,}[,.!?]? [A-Za-z]{2,}"_qs);
    static const QRegularExpression word(u"[A-Za-z]{2,}"_qs);
    static const QRegularExpression fontName(u"\\bQFont(?:\\s+\\w+)?\\s*[({]|\\bsetFamil(?:y|ies)\\("_qs);
    QStringList found;
    const QStringList lines = code.split(u'\n');
    for (qsizetype number = 0; number < lines.size(); ++number) {
        QString line = lines[number];
        if (line.trimmed().startsWith(u"//"_qs))
            continue;
        line.remove(tableCall);
        if (fontName.match(line).hasMatch())
            continue; // font families are names too
        for (const auto &match : literal.globalMatch(line)) {
            const QString text = match.captured(1);
            if (text.contains(u'{') || text.contains(u"://"_qs) || text.startsWith(u':'))
                continue; // style sheets, addresses, resources
            const QString words = wording(text);
            const bool shown = prose.match(words).hasMatch()
                || (setter.match(line).hasMatch() && word.match(words).hasMatch());
            if (shown && !isProperName(words))
                found << u"%1:%2: \"%3\""_qs.arg(where).arg(number + 1).arg(text);
        }
    }
    return found;
}

QSet<QString> engineErrorTexts()
{
    QSet<QString> texts;
    for (int code = -1; code <= 256; ++code) {
        texts.insert(XADException::describeXADError(code));
        texts.insert(XADException::describeXADError(code, true));
    }
    return texts;
}

QSet<QString> placeholders(const QString &text)
{
    static const QRegularExpression marker(u"%\\d+"_qs);
    QSet<QString> found;
    for (const auto &match : marker.globalMatch(text))
        found.insert(match.captured());
    return found;
}

} // namespace

class TestStringTable : public QObject {
    Q_OBJECT

    const TestEnvironment m_env;
    QTranslator m_english;
    QTranslator m_chinese;
    QMap<QString, QString> m_keys;

    QString english(const QString &key) const { return m_english.translate(nullptr, key.toUtf8().constData()); }
    QString chinese(const QString &key) const { return m_chinese.translate(nullptr, key.toUtf8().constData()); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_english.load(StringTable::tablePath(u"en"_qs)));
        QVERIFY(m_chinese.load(StringTable::tablePath(u"zh_CN"_qs)));
        m_keys = keysInSources();
        // The scan itself must work, or every check below passes vacuously.
        QVERIFY(m_keys.contains(u"unarchiving"_qs));
        QVERIFY(m_keys.size() > 30);
    }

    // Every key of the code and every engine error text, in both languages,
    // translated rather than copied, with the same placeholders.
    void everyTextHasBothLanguages()
    {
        QMap<QString, QString> all = m_keys; // text -> where the code uses it
        for (const QString &text : engineErrorTexts())
            all.insert(text, u"an engine error"_qs);
        QStringList wrong;
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            const QString en = english(it.key());
            const QString zh = chinese(it.key());
            if (en.isEmpty() || zh.isEmpty())
                wrong << u"missing a text: \"%1\" (%2)"_qs.arg(it.key(), it.value());
            else if (en == zh && !en.startsWith(u"https://"_qs) && m_keys.contains(it.key()))
                wrong << u"copied, not translated: \"%1\""_qs.arg(it.key());
            if (placeholders(en) != placeholders(zh) || en.contains(u"%@"_qs) || zh.contains(u"%@"_qs))
                wrong << u"placeholders: \"%1\": \"%2\" / \"%3\""_qs.arg(it.key(), en, zh);
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
    }

    // Texts drawn into the artwork or set in code pass the table by, and
    // stay English in every language.
    void noTextBypassesTheTable()
    {
        static const QRegularExpression svgText(u"<(?:text|tspan)\\b[^>]*>([^<]*)<"_qs);
        QStringList found;
        int drawn = 0;
        for (const QString &path : filesUnder({u"resources"_qs}, {u"*.svg"_qs})) {
            for (const auto &match : svgText.globalMatch(readText(path))) {
                ++drawn;
                if (!match.captured(1).trimmed().isEmpty() && !isProperName(match.captured(1)))
                    found << u"%1: drawn into the image: \"%2\""_qs.arg(path.mid(sourceRoot().size() + 1),
                                                                         match.captured(1).trimmed());
            }
        }
        const QStringList shownCode{u"src/app"_qs, u"src/window"_qs, u"src/prompts"_qs,
                                    u"src/extraction/view"_qs, u"src/support/widgets"_qs, u"resources"_qs};
        for (const QString &path : filesUnder(shownCode, {u"*.cpp"_qs, u"*.h"_qs}))
            found << literalsOutsideTheTable(readText(path), path.mid(sourceRoot().size() + 1));
        QVERIFY(drawn > 0); // the artwork scan saw the banners' names
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u'\n')));
    }

    // What the scan of the code takes for a text a user reads.
    void literalScanSeesShownTexts_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("found");
        QTest::newRow("set") << u"button->setText(u\"Get it\"_qs);"_qs << true;
        QTest::newRow("drawn") << u"p.drawText(rect, Qt::AlignCenter, QStringLiteral(\"Open\"));"_qs << true;
        QTest::newRow("prose") << u"const QString tagline = u\"From the team\"_qs;"_qs << true;
        QTest::newRow("table") << u"button->setText(localizedString(\"banner_get\"));"_qs << false;
        QTest::newRow("English of a key") << u"    //% \"Get it\""_qs << false;
        QTest::newRow("markup") << u"label->setText(u\"<b>%1</b>\"_qs.arg(name));"_qs << false;
        QTest::newRow("style sheet") << u"bar->setStyleSheet(u\"QProgressBar { border: none; }\"_qs);"_qs << false;
        QTest::newRow("name") << u"tray->setToolTip(u\"Quillbox\"_qs);"_qs << false;
        QTest::newRow("font") << u"QFont latin(u\"DejaVu Sans\"_qs);"_qs << false;
    }

    void literalScanSeesShownTexts()
    {
        QFETCH(QString, code);
        QTEST(!literalsOutsideTheTable(code, u"sample"_qs).isEmpty(), "found");
    }

    void languageFollowsTheLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("language");
        QTest::newRow("zh_CN") << u"zh_CN"_qs << u"zh_CN"_qs;
        QTest::newRow("zh_SG") << u"zh_SG"_qs << u"zh_CN"_qs;
        QTest::newRow("zh_TW") << u"zh_TW"_qs << u"en"_qs;
        QTest::newRow("zh_HK") << u"zh_HK"_qs << u"en"_qs;
        QTest::newRow("de_DE") << u"de_DE"_qs << u"en"_qs;
    }

    // The table installed for a locale answers lookups in its language, a
    // key it lacks with the key itself; without a table, keys stay keys.
    void languageFollowsTheLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, language);
        QCOMPARE(StringTable::languageForLocale(QLocale(locale)), language);
        QCOMPARE(StringTable::install(QLocale(locale)), language);
        QCOMPARE(localizedString("menu_open"), language == u"en"_qs ? english(u"menu_open"_qs) : chinese(u"menu_open"_qs));
        QCOMPARE(localizedString("no such key"), u"no such key"_qs);
        StringTable::uninstall();
        QCOMPARE(localizedString("menu_open"), u"menu_open"_qs);
    }
};

QTEST_GUILESS_MAIN(TestStringTable)
#include "test_string_table.moc"
