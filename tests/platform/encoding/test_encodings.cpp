#include "TestEnvironment.h"
#include "platform/encoding/EncodingDetector.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/EntryNameDecoder.h"
#include "platform/encoding/IcuTextCodec.h"
#include "platform/encoding/XADString.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QtTest>
#include <cstdio>

namespace {

constexpr const char *printVariable = "QUILLBOX_PRINT_ENCODINGS";

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

const QStringList russian = {u"Новая папка/"_qs, u"Новая папка/Отчёт за март.docx"_qs, u"Фотографии/Отпуск на море.jpg"_qs,
                             u"Протокол совещания.txt"_qs, u"Бухгалтерия 2023.xlsx"_qs, u"Договор №15.pdf"_qs};

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

    // Another process builds its own registry from ICU's list; a number kept
    // from one run must name the same encoding in the next.
    void numbersAreUniqueAndStableAcrossRuns()
    {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(printVariable), u"1"_qs);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).trimmed(), listing());

        const auto &registry = EncodingRegistry::instance();
        QVERIFY(registry.encodings().size() > 100);
        QSet<quint64> numbers;
        for (const auto &encoding : registry.encodings()) {
            // Numbers travel as signed 64-bit values through the item and the pop-up.
            QVERIFY2(encoding.number != 0 && encoding.number < (1ULL << 63), qPrintable(encoding.name));
            QVERIFY2(!numbers.contains(encoding.number), qPrintable(encoding.name));
            numbers.insert(encoding.number);
            QCOMPARE(registry.numberForName(encoding.name), encoding.number);
        }
        QCOMPARE(registry.numberForName(u"no-such-encoding"_qs), quint64(0));
    }

    // bytes decode to text in that encoding, or (null text) are refused by it.
    void decoding_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("GBK") << u"GBK"_qs << QByteArray("\xd6\xd0\xce\xc4\xd7\xca\xc1\xcf") << u"中文资料"_qs;
        QTest::newRow("Shift JIS") << u"Shift_JIS"_qs << QByteArray("\x93\xfa\x96\x7b\x8c\xea") << u"日本語"_qs;
        QTest::newRow("CP866") << u"IBM866"_qs << QByteArray("\x8f\xe0\xa8\xa2\xa5\xe2") << u"Привет"_qs;
        QTest::newRow("Big5") << u"Big5"_qs << QByteArray("\xa4\xa4\xa4\xe5\xb8\xea\xae\xc6") << u"中文資料"_qs;
        QTest::newRow("CP949 beyond EUC-KR") << u"windows-949"_qs << QByteArray("\x8c\x63\xb9\xe6") << u"똠방"_qs;
        QTest::newRow("UTF-8 bad trail") << u"UTF-8"_qs << QByteArray("ab\xc3\x28") << QString();
        QTest::newRow("Shift JIS bad trail") << u"Shift_JIS"_qs << QByteArray("\x81\x20x") << QString();
        QTest::newRow("GBK lone lead at end") << u"GBK"_qs << QByteArray("abc\xd6") << QString();
        QTest::newRow("EUC-KR outside KS X 1001") << u"EUC-KR"_qs << QByteArray("\x8c\x63") << QString();
        QTest::newRow("windows-1252 unassigned") << u"windows-1252"_qs << QByteArray("a\x81z") << QString();
        QTest::newRow("Latin-1 C1 control") << u"ISO-8859-1"_qs << QByteArray("a\x85z") << QString();
        QTest::newRow("UTF-16 odd length") << u"UTF-16LE"_qs << QByteArray("a\0b", 3) << QString();
    }

    void decoding()
    {
        QFETCH(QString, encoding);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const quint64 n = EncodingRegistry::instance().numberForName(encoding);
        QVERIFY(n != 0);
        const XADString string(bytes, n, 0.9f);
        QCOMPARE(string.canDecodeWithEncoding(n), !text.isNull());
        QCOMPARE(string.stringWithEncoding(n), text);
    }

    void utf8Validation()
    {
        QVERIFY(EntryNameDecoder::isValidUtf8("abc") && EntryNameDecoder::isValidUtf8("\xf0\x9f\x98\x80"));
        for (const char *bytes : {"\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\x80", "\xd6\xd0"})
            QVERIFY2(!EntryNameDecoder::isValidUtf8(bytes), bytes);
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
        // Unicode names never reach the chooser, GBK "图片" read as UTF-8 ("ͼƬ")
        // among them when no other name says otherwise.
        QCOMPARE(decoder.decode(QByteArray("\xe4\xb8\xad.txt"), decline), u"中.txt"_qs);
        QCOMPARE(decoder.decode(encoded(u"图片.png"_qs, u"GBK"_qs), decline), u"ͼƬ.png"_qs);
        QCOMPARE(decoder.decode(QByteArray("plain.txt"), decline), u"plain.txt"_qs);
        QCOMPARE(asked, 1);
    }

    // Realistic name sets as one writer stored them, in its code page, from
    // an MS-DOS or Windows tool or not: decoded right, and settled without a
    // question where they carry enough evidence (detection growing timid
    // would ask about every archive).
    // One short name whose bytes are everyday text in two scripts: the
    // detection asks rather than picks one.
    void ambiguousShortNamesAreAsked_data()
    {
        using Origin = EncodingDetector::Origin;
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<EncodingDetector::Origin>("origin");
        QTest::addColumn<QString>("name");
        QTest::newRow("EUC-JP or GB2312, Unix") << u"EUC-JP"_qs << Origin::Unix << u"漢字.txt"_qs;
        QTest::newRow("GBK or Big5, Windows zip") << u"GBK"_qs << Origin::WindowsOem << u"报告.txt"_qs;
    }

    void ambiguousShortNamesAreAsked()
    {
        QFETCH(QString, codePage);
        QFETCH(EncodingDetector::Origin, origin);
        QFETCH(QString, name);
        const QList<QByteArray> names{encoded(name, codePage)};
        QVERIFY(!names.constFirst().isEmpty());
        QVERIFY(EncodingDetector::detect(names, origin).confidence < 0.8f);
    }

    void samplesDecodeRight_data()
    {
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<bool>("fromWindows");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("confident");
        const auto row = [](const char *label, const QString &codePage, bool fromWindows, const QStringList &names,
                            bool confident) { QTest::newRow(label) << codePage << fromWindows << names << confident; };
        row("GBK", u"GBK"_qs, true, {u"新建文件夹/"_qs, u"新建文件夹/工作报告.docx"_qs, u"会议纪要2023年.txt"_qs,
            u"照片/春节联欢.jpg"_qs, u"财务报表（最终版）.xlsx"_qs, u"项目说明.pdf"_qs, u"合同扫描件.pdf"_qs}, true);
        // GBK "图片" is valid UTF-8 too; among GBK names it is GBK.
        row("GBK, a name valid as UTF-8", u"GBK"_qs, true, {u"新建文件夹/工作报告.docx"_qs, u"会议纪要.txt"_qs,
            u"图片.png"_qs, u"财务报表.xlsx"_qs, u"项目说明.pdf"_qs}, true);
        // Zips written on Linux often store UTF-8 without the flag: no question.
        row("UTF-8 without the flag", u"UTF-8"_qs, true, {u"Отчёт.docx"_qs, u"中文.txt"_qs, u"plain.txt"_qs}, true);
        row("GBK, few names", u"GBK"_qs, true, {u"资料/"_qs, u"资料/年度总结.doc"_qs, u"图片.png"_qs}, false);
        row("GBK, one name", u"GBK"_qs, true, {u"报告.txt"_qs}, false);
        row("Shift JIS", u"Shift_JIS"_qs, true, {u"新しいフォルダー/"_qs, u"報告書.docx"_qs, u"写真/旅行の思い出.jpg"_qs,
            u"議事録_2023年4月.txt"_qs, u"見積書（改訂版）.xlsx"_qs, u"説明書.pdf"_qs, u"データ.csv"_qs}, true);
        row("Shift JIS, trail bytes like ASCII", u"Shift_JIS"_qs, true,
            {u"表計算.xls"_qs, u"ソフト/"_qs, u"ソフト/能力表.doc"_qs, u"予定表.txt"_qs}, true);
        row("Shift JIS, half-width kana", u"Shift_JIS"_qs, true, {u"ﾃﾞｰﾀ.xls"_qs, u"ｼｽﾃﾑ設計書.doc"_qs}, false);
        row("EUC-JP, Unix", u"EUC-JP"_qs, false, {u"新しいフォルダー/"_qs, u"報告書.txt"_qs, u"写真/旅行.jpg"_qs}, false);
        row("CP949", u"windows-949"_qs, true, {u"새 폴더/"_qs, u"새 폴더/보고서.docx"_qs, u"사진/여행.jpg"_qs,
            u"회의록 2023.txt"_qs, u"견적서(수정).xlsx"_qs, u"계약서.pdf"_qs, u"똠방각하.txt"_qs}, true);
        row("Big5", u"Big5"_qs, true, {u"新增資料夾/"_qs, u"新增資料夾/報告.docx"_qs, u"照片/旅遊.jpg"_qs,
            u"會議記錄.txt"_qs, u"財務報表.xlsx"_qs, u"說明書.pdf"_qs}, true);
        row("CP866", u"IBM866"_qs, true, russian, true);
        row("CP866, lower case", u"IBM866"_qs, true, {u"документы/"_qs, u"документы/отчет.doc"_qs, u"фото/лето.jpg"_qs}, false);
        row("windows-1251, Unix", u"windows-1251"_qs, false, russian, true);
        row("KOI8-R", u"KOI8-R"_qs, false, russian.mid(0, 5), true);
        row("CP437 loan words", u"IBM437"_qs, true,
            {u"Café menu.txt"_qs, u"Résumé.docx"_qs, u"Piñata party.jpg"_qs, u"Crème brûlée recipe.doc"_qs}, true);
        row("CP850 German", u"IBM850"_qs, true, {u"Übersicht.xlsx"_qs, u"Größe und Maße.txt"_qs, u"Straße/"_qs,
            u"Straße/Häuser.jpg"_qs, u"Bücher.pdf"_qs, u"Änderungen.docx"_qs}, true);
        row("CP850, one name among many", u"IBM850"_qs, true, {u"readme.txt"_qs, u"setup.exe"_qs, u"data/"_qs,
            u"data/config.ini"_qs, u"data/Präsentation.ppt"_qs, u"license.txt"_qs}, true);
        row("CP852", u"IBM852"_qs, true, {u"Zdjęcia/"_qs, u"Zdjęcia/Łódź.jpg"_qs, u"Sprawozdanie końcowe.docx"_qs,
            u"Příliš žluťoučký kůň.txt"_qs}, true);
        row("windows-1250, Unix", u"windows-1250"_qs, false, {u"Zdjęcia/"_qs, u"Zdjęcia/Łódź.jpg"_qs,
            u"Sprawozdanie końcowe.docx"_qs, u"Příliš žluťoučký kůň.txt"_qs}, true);
        row("windows-1252, Unix", u"windows-1252"_qs, false,
            {u"Café/"_qs, u"Résumé.docx"_qs, u"Übersicht.xlsx"_qs, u"Straße.txt"_qs}, true);
        row("CP737 Greek", u"ibm-737"_qs, true, {u"Έγγραφα/"_qs, u"Έγγραφα/Αναφορά.doc"_qs, u"Φωτογραφίες.jpg"_qs}, true);
        row("CP862 Hebrew", u"IBM862"_qs, true, {u"מסמכים/"_qs, u"מסמכים/דוח שנתי.doc"_qs, u"תמונות.jpg"_qs}, false);
        row("windows-874 Thai", u"windows-874"_qs, true, {u"เอกสาร/"_qs, u"เอกสาร/รายงานประจำปี.docx"_qs}, false);
    }

    void samplesDecodeRight()
    {
        QFETCH(QString, codePage);
        QFETCH(bool, fromWindows);
        QFETCH(QStringList, names);
        QFETCH(bool, confident);
        QList<QByteArray> bytes;
        bool anyLegacy = false;
        for (const QString &name : names) {
            bytes.append(encoded(name, codePage));
            QVERIFY2(!bytes.last().isEmpty(), qPrintable(name));
            anyLegacy = anyLegacy || !EntryNameDecoder::isValidUtf8(bytes.last());
        }
        QVERIFY(anyLegacy || codePage == u"UTF-8"_qs);
        EntryNameDecoder decoder;
        decoder.setOrigin(fromWindows ? EncodingDetector::Origin::WindowsOem : EncodingDetector::Origin::Unknown);
        decoder.addSampleNames(bytes);
        for (int i = 0; i < bytes.size(); ++i) {
            PlayedUser user{names.at(i)};
            QCOMPARE(decoder.decode(bytes.at(i), std::ref(user)), names.at(i));
            QVERIFY(!user.asked || user.sawRightChoice);
            QVERIFY2(!confident || !user.asked, qPrintable(names.at(i)));
        }
    }

    // Bytes that are no text in any code page must not be shown as if they were.
    void noiseIsNeverSettled()
    {
        QRandomGenerator random(12345);
        for (int round = 0; round < 20; ++round) {
            QList<QByteArray> names;
            for (int n = 0; n < 6; ++n) {
                QByteArray name;
                for (int i = 0; i < 10; ++i)
                    name.append(char(0x80 | random.bounded(0x80)));
                names.append(name + ".dat");
            }
            using Origin = EncodingDetector::Origin;
            for (Origin origin : {Origin::WindowsOem, Origin::WindowsAnsi, Origin::Unix, Origin::Unknown})
                QVERIFY2(EncodingDetector::detect(names, origin).confidence < 0.8f,
                         qPrintable(QString::number(round)));
        }
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
