#include "NameSamples.h"
#include "TestEnvironment.h"
#include "platform/encoding/EncodingDetector.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/EntryNameDecoder.h"
#include "platform/encoding/IcuTextCodec.h"
#include "platform/encoding/XADString.h"

#include <QProcess>
#include <QSet>
#include <QtTest>
#include <cstdio>

namespace {

constexpr const char *printVariable = "QUILLBOX_PRINT_ENCODINGS";

quint64 number(const QByteArray &name)
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

QByteArray encoded(const QString &text, const QString &codePage)
{
    return IcuTextCodec::encodeStrict(text, codePage.toLatin1().constData()).value_or(QByteArray());
}

// The caller's rule: a confident, clean guess is taken; otherwise the user
// picks, from the encodings that decode the name, the one that reads right.
struct PlayedUser {
    QString expected;
    bool asked = false;
    bool sawRightChoice = false;

    QString operator()(const XADString &string)
    {
        if (string.confidence() * 100 >= 80 && string.canDecodeWithEncoding(string.encoding()))
            return XADString::encodingNameForEncoding(string.encoding());
        asked = true;
        for (const auto &encoding : EncodingRegistry::instance().encodings()) {
            if (encoding.number != EncodingRegistry::UTF16 && string.canDecodeWithEncoding(encoding.number)
                && string.stringWithEncoding(encoding.number) == expected) {
                sawRightChoice = true;
                return XADString::encodingNameForEncoding(encoding.number);
            }
        }
        return QString();
    }
};

} // namespace

// The registry of encodings and the detection that picks one for legacy
// entry names, asking the user only when the names leave it in doubt.
class TestEncodings : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_environment;

private Q_SLOTS:
    void initTestCase() { m_environment = std::make_unique<TestEnvironment>(); }

    // A second process builds its own registry from ICU's list; the numbers
    // must match, or a number stored in one run would mean another encoding later.
    void numbersAreStableAcrossRuns()
    {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(printVariable), u"1"_qs);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).trimmed(), listing());
    }

    void numbersAndNamesAreUnique()
    {
        const auto &registry = EncodingRegistry::instance();
        QVERIFY(registry.encodings().size() > 100);
        QSet<quint64> numbers;
        QSet<QString> names;
        for (const auto &encoding : registry.encodings()) {
            // Numbers travel as signed 64-bit values through the item and the pop-up.
            QVERIFY2(encoding.number != 0 && encoding.number < (1ULL << 63), qPrintable(encoding.name));
            QVERIFY2(!numbers.contains(encoding.number) && !names.contains(encoding.name.toLower()),
                     qPrintable(encoding.name));
            numbers.insert(encoding.number);
            names.insert(encoding.name.toLower());
            QCOMPARE(registry.numberForName(encoding.name), encoding.number);
            QCOMPARE(XADString::encodingNameForEncoding(encoding.number), encoding.name);
            QVERIFY2(!encoding.displayName.trimmed().isEmpty(), qPrintable(encoding.name));
        }
        QCOMPARE(registry.numberForName(u"no-such-encoding"_qs), quint64(0));
        QCOMPARE(registry.numberForName(QString()), quint64(0));
        QVERIFY(registry.nameForNumber(123456789).isNull());
        QVERIFY(!XADString(QByteArray("abc"), 0, 0).canDecodeWithEncoding(987654321));
    }

    // bytes decode to text in that encoding, or (null text) are refused by it.
    void decoding_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("GBK") << QByteArray("GBK") << QByteArray("\xd6\xd0\xce\xc4\xd7\xca\xc1\xcf") << u"中文资料"_qs;
        QTest::newRow("Shift JIS") << QByteArray("Shift_JIS") << QByteArray("\x93\xfa\x96\x7b\x8c\xea") << u"日本語"_qs;
        QTest::newRow("CP866") << QByteArray("IBM866") << QByteArray("\x8f\xe0\xa8\xa2\xa5\xe2") << u"Привет"_qs;
        QTest::newRow("CP437") << QByteArray("IBM437") << QByteArray("Caf\x82") << u"Café"_qs;
        QTest::newRow("Big5") << QByteArray("Big5") << QByteArray("\xa4\xa4\xa4\xe5\xb8\xea\xae\xc6") << u"中文資料"_qs;
        QTest::newRow("EUC-KR") << QByteArray("EUC-KR") << QByteArray("\xc7\xd1\xb1\xb9\xbe\xee") << u"한국어"_qs;
        QTest::newRow("CP949 beyond EUC-KR") << QByteArray("windows-949") << QByteArray("\x8c\x63\xb9\xe6") << u"똠방"_qs;
        QTest::newRow("windows-1251") << QByteArray("windows-1251") << QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2")
                                      << u"Привет"_qs;
        QTest::newRow("UTF-8 bad trail") << QByteArray("UTF-8") << QByteArray("ab\xc3\x28") << QString();
        QTest::newRow("UTF-8 truncated") << QByteArray("UTF-8") << QByteArray("ab\xe4\xb8") << QString();
        QTest::newRow("Shift JIS bad trail") << QByteArray("Shift_JIS") << QByteArray("\x81\x20x") << QString();
        QTest::newRow("GBK bad lead") << QByteArray("GBK") << QByteArray("\xff\xa1") << QString();
        QTest::newRow("GBK lone lead at end") << QByteArray("GBK") << QByteArray("abc\xd6") << QString();
        QTest::newRow("windows-1252 unassigned") << QByteArray("windows-1252") << QByteArray("a\x81z") << QString();
        QTest::newRow("Big5 bad trail") << QByteArray("Big5") << QByteArray("\xa4\x20") << QString();
        QTest::newRow("EUC-KR outside KS X 1001") << QByteArray("EUC-KR") << QByteArray("\x8c\x63") << QString();
        QTest::newRow("Latin-1 C1 control") << QByteArray("ISO-8859-1") << QByteArray("a\x85z") << QString();
        QTest::newRow("UTF-16 odd length") << QByteArray("UTF-16LE") << QByteArray("a\0b", 3) << QString();
    }

    void decoding()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const quint64 n = number(encoding);
        QVERIFY(n != 0);
        const XADString string(bytes, n, 0.9f);
        QCOMPARE(string.canDecodeWithEncoding(n), !text.isNull());
        QCOMPARE(string.stringWithEncoding(n), text);
    }

    void utf8Validation_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        QTest::newRow("ASCII") << QByteArray("abc") << true;
        QTest::newRow("four bytes") << QByteArray("\xf0\x9f\x98\x80") << true;
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << false;
        QTest::newRow("overlong three") << QByteArray("\xe0\x80\xaf") << false;
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << false;
        QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << false;
        QTest::newRow("lone trail") << QByteArray("\x80") << false;
        QTest::newRow("GBK") << QByteArray("\xd6\xd0\xce\xc4") << false;
    }

    void utf8Validation()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        QCOMPARE(EntryNameDecoder::isValidUtf8(bytes), valid);
    }

    // The user may insist on an encoding that cannot map every byte: the name
    // is shown with replacement characters rather than the entry refused, and
    // never with control characters. Declining gives no name at all.
    void userChoices()
    {
        EntryNameDecoder decoder;
        QCOMPARE(decoder.decode(QByteArray("Caf\x81\x85.txt"), [](const XADString &) { return u"windows-1252"_qs; }),
                 u"Caf\uFFFD….txt"_qs);
        QCOMPARE(decoder.decode(QByteArray("a\x85\xe9.txt"), [](const XADString &) { return u"ISO-8859-1"_qs; }),
                 u"a\uFFFDé.txt"_qs);
        int asked = 0;
        const auto decline = [&asked](const XADString &) {
            ++asked;
            return QString();
        };
        QVERIFY(decoder.decode(QByteArray("\xd6\xd0.txt"), decline).isNull());
        QVERIFY(decoder.decode(QByteArray("\xd6\xd0.txt"), [](const XADString &) { return u"no-such"_qs; }).isNull());
        // Unicode names never reach the chooser.
        QCOMPARE(decoder.decode(QByteArray("\xe4\xb8\xad.txt"), decline), u"中.txt"_qs);
        QCOMPARE(decoder.decode(QByteArray("plain.txt"), decline), u"plain.txt"_qs);
        QCOMPARE(asked, 1);
    }

    void samplesDecodeRight_data()
    {
        QTest::addColumn<int>("index");
        const QList<NameSample> samples = nameSamples();
        for (int i = 0; i < samples.size(); ++i)
            QTest::newRow(samples.at(i).label.toUtf8().constData()) << i;
    }

    // Realistic name sets: decoded right, and without a question where they
    // carry enough evidence.
    void samplesDecodeRight()
    {
        QFETCH(int, index);
        const NameSample sample = nameSamples().at(index);
        QList<QByteArray> names;
        bool anyLegacy = false;
        for (const QString &name : sample.names) {
            names.append(encoded(name, sample.codePage));
            QVERIFY2(!names.last().isEmpty(), qPrintable(name));
            anyLegacy = anyLegacy || !EntryNameDecoder::isValidUtf8(names.last());
        }
        QVERIFY(anyLegacy);
        EntryNameDecoder decoder;
        decoder.setPrefersOEMCodePages(sample.fromWindows);
        decoder.addSampleNames(names);
        for (int i = 0; i < names.size(); ++i) {
            PlayedUser user{sample.names.at(i)};
            QCOMPARE(decoder.decode(names.at(i), std::ref(user)), sample.names.at(i));
            QVERIFY(!user.asked || user.sawRightChoice);
            QVERIFY2(!sample.expectConfident || !user.asked, qPrintable(sample.names.at(i)));
        }
    }

    // Bytes that are no text in any code page must not be shown as if they were.
    void noiseIsNeverSettled()
    {
        quint32 state = 12345;
        const auto next = [&state] {
            state = state * 1103515245u + 12345u;
            return quint8(state >> 16);
        };
        for (int round = 0; round < 20; ++round) {
            QList<QByteArray> names;
            for (int n = 0; n < 6; ++n) {
                QByteArray name;
                for (int i = 0; i < 10; ++i)
                    name.append(char(0x80 | next()));
                names.append(name + ".dat");
            }
            for (bool oem : {true, false})
                QVERIFY2(EncodingDetector::detect(names, oem).confidence < 0.8f, qPrintable(QString::number(round)));
        }
    }

    // Zips written on Linux often store UTF-8 without the flag: no question.
    // GBK "图片" is also valid UTF-8 ("ͼƬ"); in an archive whose other
    // undeclared names are GBK it is a GBK name too, else UTF-8.
    void utf8OrLegacyByTheCompany()
    {
        const QList<QByteArray> utf8 = {u"Отчёт.docx"_qs.toUtf8(), u"中文.txt"_qs.toUtf8(), "plain.txt"};
        EntryNameDecoder unflagged;
        unflagged.setPrefersOEMCodePages(true);
        unflagged.addSampleNames(utf8);
        const auto refuse = [](const XADString &) { return QString(); };
        QCOMPARE(unflagged.decode(utf8.at(0), refuse), u"Отчёт.docx"_qs);
        QCOMPARE(unflagged.decode(utf8.at(1), refuse), u"中文.txt"_qs);

        const QStringList texts = {u"新建文件夹/工作报告.docx"_qs, u"会议纪要.txt"_qs, u"图片.png"_qs,
                                   u"财务报表.xlsx"_qs, u"项目说明.pdf"_qs};
        QList<QByteArray> names;
        for (const QString &text : texts)
            names.append(encoded(text, u"GBK"_qs));
        QVERIFY(EntryNameDecoder::isValidUtf8(names.at(2)));
        EntryNameDecoder decoder;
        decoder.setPrefersOEMCodePages(true);
        decoder.addSampleNames(names);
        for (int i = 0; i < names.size(); ++i) {
            PlayedUser user{texts.at(i)};
            QCOMPARE(decoder.decode(names.at(i), std::ref(user)), texts.at(i));
            QVERIFY(!user.asked);
        }
        QCOMPARE(EntryNameDecoder().decode(names.at(2), refuse), QString::fromUtf8(names.at(2)));
    }

    // Formats without a directory hand the names over one at a time; the guess grows with them.
    void namesArrivingOneByOne()
    {
        const QStringList words = {u"План проекта"_qs, u"Описание продукта"_qs, u"Отзывы клиентов"_qs,
                                   u"Годовой отчёт"_qs, u"Новые сотрудники"_qs};
        EntryNameDecoder decoder;
        int asked = 0;
        for (int i = 0; i < 3000; ++i) {
            const QString text = words.at(i % words.size()) + u' ' + QString::number(i) + u".txt"_qs;
            PlayedUser user{text};
            QCOMPARE(decoder.decode(encoded(text, u"KOI8-R"_qs), std::ref(user)), text);
            asked += user.asked ? 1 : 0;
        }
        QVERIFY(asked <= 2);
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(printVariable)) {
        std::fputs(listing().toUtf8().constData(), stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestEncodings test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_encodings.moc"
