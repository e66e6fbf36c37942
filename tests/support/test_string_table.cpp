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

    void languageFollowsTheLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, language);
        QCOMPARE(StringTable::languageForLocale(QLocale(locale)), language);
    }

    void installedTablesAnswerLookups()
    {
        QCOMPARE(StringTable::install(QLocale(u"zh_CN"_qs)), u"zh_CN"_qs);
        QCOMPARE(localizedString("menu_open"), chinese(u"menu_open"_qs));
        QCOMPARE(localizedString("no such key"), u"no such key"_qs);

        QCOMPARE(StringTable::install(QLocale(u"de_DE"_qs)), u"en"_qs);
        QCOMPARE(localizedString("menu_open"), english(u"menu_open"_qs));

        StringTable::uninstall();
        QCOMPARE(localizedString("menu_open"), u"menu_open"_qs);
    }
};

QTEST_GUILESS_MAIN(TestStringTable)
#include "test_string_table.moc"
