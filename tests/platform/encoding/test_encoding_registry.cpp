#include "TestEnvironment.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/EntryNameDecoder.h"
#include "platform/encoding/XADString.h"

#include <QProcess>
#include <QSet>
#include <QtTest>

#include <cstdio>

namespace {

constexpr const char *printVariable = "QUILLBOX_PRINT_ENCODINGS";

quint64 number(const char *name)
{
    return EncodingRegistry::instance().numberForName(QString::fromLatin1(name));
}

QString listing()
{
    QStringList lines;
    for (const auto &encoding : EncodingRegistry::instance().encodings())
        lines.append(QString::number(encoding.number) + u' ' + encoding.name);
    return lines.join(u'\n');
}

} // namespace

class TestEncodingRegistry : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_environment = std::make_unique<TestEnvironment>(); }
    void numbersAreStableAcrossRuns();
    void numbersAreNonZeroAndUnique();
    void namesRoundTrip();
    void wellKnownNumbersAndAliases_data();
    void wellKnownNumbersAndAliases();
    void unknownNamesAndNumbers();
    void displayNames();
    void decodesSamples_data();
    void decodesSamples();
    void refusesIllegalOrUnassignedBytes_data();
    void refusesIllegalOrUnassignedBytes();
    void reportsDetectionAsGiven();
    void forcedEncodingReplacesWhatItCannotMap();
    void declinedChoiceGivesNoName();
    void utf8Validation_data();
    void utf8Validation();

private:
    std::unique_ptr<TestEnvironment> m_environment;
};

// A second process builds its own registry from ICU's list; the numbers must
// match, or a number stored in one run would mean another encoding later.
void TestEncodingRegistry::numbersAreStableAcrossRuns()
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(printVariable), u"1"_qs);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 0);
    const QString theirs = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    QCOMPARE(theirs, listing());
}

void TestEncodingRegistry::numbersAreNonZeroAndUnique()
{
    const auto &encodings = EncodingRegistry::instance().encodings();
    QVERIFY(encodings.size() > 100);
    QSet<quint64> numbers;
    QSet<QString> names;
    for (const auto &encoding : encodings) {
        QVERIFY2(encoding.number != 0, qPrintable(encoding.name));
        // Numbers travel as signed 64-bit values through the item and the pop-up.
        QVERIFY2(encoding.number < (1ULL << 63), qPrintable(encoding.name));
        QVERIFY2(!numbers.contains(encoding.number), qPrintable(encoding.name));
        QVERIFY2(!names.contains(encoding.name.toLower()), qPrintable(encoding.name));
        numbers.insert(encoding.number);
        names.insert(encoding.name.toLower());
    }
}

void TestEncodingRegistry::namesRoundTrip()
{
    const auto &registry = EncodingRegistry::instance();
    for (const auto &encoding : registry.encodings()) {
        QCOMPARE(registry.numberForName(encoding.name), encoding.number);
        QCOMPARE(registry.nameForNumber(encoding.number), encoding.name);
        QCOMPARE(XADString::encodingNameForEncoding(encoding.number), encoding.name);
        QCOMPARE(registry.displayNameForNumber(encoding.number), encoding.displayName);
    }
}

void TestEncodingRegistry::wellKnownNumbersAndAliases_data()
{
    QTest::addColumn<QByteArrayList>("aliases");
    QTest::addColumn<quint64>("expected");
    QTest::newRow("UTF-8") << QByteArrayList{"UTF-8", "utf8", "UTF8"} << quint64(4);
    QTest::newRow("UTF-16") << QByteArrayList{"UTF-16", "utf-16", "ISO-10646-UCS-2"} << quint64(10);
    QTest::newRow("GBK") << QByteArrayList{"GBK", "cp936", "windows-936", "MS936"}
                         << quint64(0x80000421);
    QTest::newRow("Shift JIS") << QByteArrayList{"Shift_JIS", "cp932", "MS_Kanji", "windows-31j"}
                               << quint64(8);
    QTest::newRow("CP866") << QByteArrayList{"IBM866", "ibm-866", "cp866", "866"}
                           << quint64(0x8000041B);
    QTest::newRow("CP437") << QByteArrayList{"IBM437", "cp437", "437"} << quint64(0x80000400);
    QTest::newRow("windows-1252") << QByteArrayList{"windows-1252", "cp1252"} << quint64(12);
    QTest::newRow("windows-1251") << QByteArrayList{"windows-1251", "cp1251"} << quint64(11);
    QTest::newRow("Big5") << QByteArrayList{"Big5", "csBig5", "windows-950"} << quint64(0x80000A03);
    QTest::newRow("CP949") << QByteArrayList{"windows-949", "ms949"} << quint64(0x80000422);
    QTest::newRow("KOI8-R") << QByteArrayList{"KOI8-R", "koi8", "cp878"} << quint64(0x80000A02);
    QTest::newRow("Latin-1") << QByteArrayList{"ISO-8859-1", "latin1", "l1"} << quint64(5);
}

void TestEncodingRegistry::wellKnownNumbersAndAliases()
{
    QFETCH(QByteArrayList, aliases);
    QFETCH(quint64, expected);
    for (const QByteArray &alias : aliases)
        QVERIFY2(number(alias.constData()) == expected, alias.constData());
}

void TestEncodingRegistry::unknownNamesAndNumbers()
{
    const auto &registry = EncodingRegistry::instance();
    QCOMPARE(registry.numberForName(u"no-such-encoding"_qs), quint64(0));
    QCOMPARE(registry.numberForName(QString()), quint64(0));
    QCOMPARE(registry.numberForName(u"   "_qs), quint64(0));
    QVERIFY(registry.nameForNumber(0).isNull());
    QVERIFY(registry.nameForNumber(123456789).isNull());
    QVERIFY(XADString::encodingNameForEncoding(0).isNull());
    QVERIFY(XADString(QByteArray("abc"), 0, 0).stringWithEncoding(0).isNull());
    QVERIFY(!XADString(QByteArray("abc"), 0, 0).canDecodeWithEncoding(987654321));
}

void TestEncodingRegistry::displayNames()
{
    const auto &registry = EncodingRegistry::instance();
    QCOMPARE(registry.displayNameForNumber(number("GBK")), u"Chinese Simplified (GBK)"_qs);
    QCOMPARE(registry.displayNameForNumber(number("Shift_JIS")), u"Japanese (Shift JIS)"_qs);
    QCOMPARE(registry.displayNameForNumber(number("cp866")), u"Cyrillic (DOS 866)"_qs);
    QCOMPARE(registry.displayNameForNumber(number("cp1252")), u"Western (Windows 1252)"_qs);
    for (const auto &encoding : registry.encodings())
        QVERIFY2(!encoding.displayName.trimmed().isEmpty(), qPrintable(encoding.name));
}

void TestEncodingRegistry::decodesSamples_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("GBK") << QByteArray("GBK") << QByteArray("\xd6\xd0\xce\xc4\xd7\xca\xc1\xcf")
                         << u"中文资料"_qs;
    QTest::newRow("Shift JIS") << QByteArray("Shift_JIS") << QByteArray("\x93\xfa\x96\x7b\x8c\xea")
                               << u"日本語"_qs;
    QTest::newRow("CP866") << QByteArray("IBM866") << QByteArray("\x8f\xe0\xa8\xa2\xa5\xe2")
                           << u"Привет"_qs;
    QTest::newRow("CP437") << QByteArray("IBM437") << QByteArray("Caf\x82") << u"Café"_qs;
    QTest::newRow("Big5") << QByteArray("Big5") << QByteArray("\xa4\xa4\xa4\xe5\xb8\xea\xae\xc6")
                          << u"中文資料"_qs;
    QTest::newRow("EUC-KR") << QByteArray("EUC-KR") << QByteArray("\xc7\xd1\xb1\xb9\xbe\xee")
                            << u"한국어"_qs;
    QTest::newRow("CP949 beyond EUC-KR") << QByteArray("windows-949") << QByteArray("\x8c\x63\xb9\xe6")
                                         << u"똠방"_qs;
    QTest::newRow("windows-1251") << QByteArray("windows-1251")
                                  << QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2") << u"Привет"_qs;
}

void TestEncodingRegistry::decodesSamples()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const quint64 n = number(encoding.constData());
    QVERIFY(n != 0);
    const XADString string(bytes, n, 0.9f);
    QCOMPARE(string.encoding(), n);
    QVERIFY(string.canDecodeWithEncoding(n));
    QCOMPARE(string.stringWithEncoding(n), text);
}

void TestEncodingRegistry::refusesIllegalOrUnassignedBytes_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("UTF-8 bad trail") << QByteArray("UTF-8") << QByteArray("ab\xc3\x28");
    QTest::newRow("UTF-8 truncated") << QByteArray("UTF-8") << QByteArray("ab\xe4\xb8");
    QTest::newRow("Shift JIS bad trail") << QByteArray("Shift_JIS") << QByteArray("\x81\x20x");
    QTest::newRow("GBK bad lead") << QByteArray("GBK") << QByteArray("\xff\xa1");
    QTest::newRow("GBK lone lead at end") << QByteArray("GBK") << QByteArray("abc\xd6");
    QTest::newRow("windows-1252 unassigned") << QByteArray("windows-1252") << QByteArray("a\x81z");
    QTest::newRow("Big5 bad trail") << QByteArray("Big5") << QByteArray("\xa4\x20");
    QTest::newRow("EUC-KR outside KS X 1001") << QByteArray("EUC-KR") << QByteArray("\x8c\x63");
    QTest::newRow("Latin-1 C1 control") << QByteArray("ISO-8859-1") << QByteArray("a\x85z");
    QTest::newRow("UTF-16 odd length") << QByteArray("UTF-16LE") << QByteArray("a\0b", 3);
}

void TestEncodingRegistry::refusesIllegalOrUnassignedBytes()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, bytes);
    const quint64 n = number(encoding.constData());
    QVERIFY(n != 0);
    const XADString string(bytes, n, 1.0f);
    QVERIFY(!string.canDecodeWithEncoding(n));
    QVERIFY(string.stringWithEncoding(n).isNull());
}

void TestEncodingRegistry::reportsDetectionAsGiven()
{
    const XADString string(QByteArray("\xd6\xd0"), 42, 0.25f);
    QCOMPARE(string.data(), QByteArray("\xd6\xd0"));
    QCOMPARE(string.encoding(), quint64(42));
    QCOMPARE(string.confidence(), 0.25f);
    const XADString empty;
    QCOMPARE(empty.encoding(), quint64(0));
    QCOMPARE(empty.confidence(), 0.0f);
}

// The user may insist on an encoding that cannot map every byte: the name
// is shown with replacement characters rather than the entry refused, and
// never with control characters.
void TestEncodingRegistry::forcedEncodingReplacesWhatItCannotMap()
{
    EntryNameDecoder decoder;
    const QString forced = decoder.decode(QByteArray("Caf\x81\x85.txt"),
                                          [](const XADString &) { return u"windows-1252"_qs; });
    QCOMPARE(forced, u"Caf\uFFFD….txt"_qs);
    const QString latin1 = decoder.decode(QByteArray("a\x85\xe9.txt"),
                                          [](const XADString &) { return u"ISO-8859-1"_qs; });
    QCOMPARE(latin1, u"a\uFFFDé.txt"_qs);
}

void TestEncodingRegistry::declinedChoiceGivesNoName()
{
    EntryNameDecoder decoder;
    int asked = 0;
    const auto decline = [&asked](const XADString &string) {
        ++asked;
        [&] { QCOMPARE(string.data(), QByteArray("\xd6\xd0.txt")); }();
        return QString();
    };
    QVERIFY(decoder.decode(QByteArray("\xd6\xd0.txt"), decline).isNull());
    QCOMPARE(asked, 1);
    QVERIFY(decoder.decode(QByteArray("\xd6\xd0.txt"), [](const XADString &) {
        return u"no-such-encoding"_qs;
    }).isNull());
    // Unicode names never reach the chooser.
    QCOMPARE(decoder.decode(QByteArray("\xe4\xb8\xad.txt"), decline), u"中.txt"_qs);
    QCOMPARE(decoder.decode(QByteArray("plain.txt"), decline), u"plain.txt"_qs);
    QCOMPARE(asked, 1);
}

void TestEncodingRegistry::utf8Validation_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("ASCII") << QByteArray("abc") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("two bytes") << QByteArray("\xc3\xa9") << true;
    QTest::newRow("four bytes") << QByteArray("\xf0\x9f\x98\x80") << true;
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << false;
    QTest::newRow("overlong three") << QByteArray("\xe0\x80\xaf") << false;
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << false;
    QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << false;
    QTest::newRow("lone trail") << QByteArray("\x80") << false;
    QTest::newRow("truncated") << QByteArray("\xe4\xb8") << false;
    QTest::newRow("GBK") << QByteArray("\xd6\xd0\xce\xc4") << false;
}

void TestEncodingRegistry::utf8Validation()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(EntryNameDecoder::isValidUtf8(bytes), valid);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(printVariable)) {
        std::fputs(listing().toUtf8().constData(), stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestEncodingRegistry test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_encoding_registry.moc"
