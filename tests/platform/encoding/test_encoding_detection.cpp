#include "NameSamples.h"
#include "TestEnvironment.h"
#include "platform/encoding/EncodingDetector.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/EntryNameDecoder.h"
#include "platform/encoding/IcuTextCodec.h"
#include "platform/encoding/LetterAlphabets.h"
#include "platform/encoding/SpellingRules.h"
#include "platform/encoding/XADString.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

QByteArray encoded(const QString &text, const QString &codePage)
{
    const auto bytes = IcuTextCodec::encodeStrict(text, codePage.toLatin1().constData());
    return bytes.value_or(QByteArray());
}

QList<QByteArray> encodedNames(const NameSample &sample)
{
    QList<QByteArray> names;
    for (const QString &name : sample.names)
        names.append(encoded(name, sample.codePage));
    return names;
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

class TestEncodingDetection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_environment = std::make_unique<TestEnvironment>(); }
    void samplesEncode_data();
    void samplesEncode();
    void samplesDecodeRight_data() { samplesEncode_data(); }
    void samplesDecodeRight();
    void noiseIsNeverSettled();
    void utf8SamplesWithoutFlagStayUtf8();
    void legacyNameThatLooksLikeUtf8();
    void namesArrivingOneByOne();
    void spellingRules();
    void alphabetsFitLanguages();

private:
    std::unique_ptr<TestEnvironment> m_environment;
};

void TestEncodingDetection::samplesEncode_data()
{
    QTest::addColumn<int>("index");
    const QList<NameSample> samples = nameSamples();
    for (int i = 0; i < samples.size(); ++i)
        QTest::newRow(samples.at(i).label.toUtf8().constData()) << i;
}

void TestEncodingDetection::samplesEncode()
{
    QFETCH(int, index);
    const NameSample sample = nameSamples().at(index);
    bool anyLegacy = false;
    for (const QString &name : sample.names) {
        const QByteArray bytes = encoded(name, sample.codePage);
        QVERIFY2(!bytes.isEmpty(), qPrintable(name));
        anyLegacy = anyLegacy || !EntryNameDecoder::isValidUtf8(bytes);
    }
    QVERIFY(anyLegacy);
}

void TestEncodingDetection::samplesDecodeRight()
{
    QFETCH(int, index);
    const NameSample sample = nameSamples().at(index);
    const QList<QByteArray> names = encodedNames(sample);
    if (qEnvironmentVariableIsSet("QUILLBOX_TUNE")) {
        const auto readings = EncodingDetector::rank(names, sample.fromWindows);
        qInfo().noquote() << sample.label << "conf" << EncodingDetector::confidenceFor(readings, names);
        for (int i = 0; i < std::min<int>(4, readings.size()); ++i)
            qInfo().noquote() << "   " << readings.at(i).plausibility << readings.at(i).support
                              << EncodingRegistry::instance().nameForNumber(readings.at(i).encoding)
                              << readings.at(i).names.join(u'|').left(60);
    }

    EntryNameDecoder decoder;
    decoder.setPrefersOEMCodePages(sample.fromWindows);
    decoder.addSampleNames(names);
    for (int i = 0; i < names.size(); ++i) {
        PlayedUser user{sample.names.at(i)};
        const QString decoded = decoder.decode(names.at(i), std::ref(user));
        QCOMPARE(decoded, sample.names.at(i));
        if (user.asked)
            QVERIFY(user.sawRightChoice);
        if (sample.expectConfident)
            QVERIFY2(!user.asked, qPrintable(sample.names.at(i)));
    }
}

// Bytes that are no text in any code page must not be shown as if they were.
void TestEncodingDetection::noiseIsNeverSettled()
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
        for (bool oem : {true, false}) {
            const auto guess = EncodingDetector::detect(names, oem);
            QVERIFY2(guess.confidence < 0.8f, qPrintable(QString::number(round)));
        }
    }
}

// Zips written on Linux often store UTF-8 without the flag: no question.
void TestEncodingDetection::utf8SamplesWithoutFlagStayUtf8()
{
    const QList<QByteArray> names = {u"Отчёт.docx"_qs.toUtf8(), u"中文.txt"_qs.toUtf8(), "plain.txt"};
    EntryNameDecoder decoder;
    decoder.setPrefersOEMCodePages(true);
    decoder.addSampleNames(names);
    int asked = 0;
    const auto chooser = [&asked](const XADString &) {
        ++asked;
        return QString();
    };
    QCOMPARE(decoder.decode(names.at(0), chooser), u"Отчёт.docx"_qs);
    QCOMPARE(decoder.decode(names.at(1), chooser), u"中文.txt"_qs);
    QCOMPARE(asked, 0);
}

// GBK "图片" is also valid UTF-8 ("ͼƬ"). In an archive whose other
// undeclared names are GBK it is a GBK name too.
void TestEncodingDetection::legacyNameThatLooksLikeUtf8()
{
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
    // The same bytes in an archive that never said they were legacy are UTF-8.
    EntryNameDecoder plain;
    QCOMPARE(plain.decode(names.at(2), [](const XADString &) { return QString(); }),
             QString::fromUtf8(names.at(2)));
}

// Formats without a directory hand the names over one at a time; the guess
// grows with them and the work stays bounded.
void TestEncodingDetection::namesArrivingOneByOne()
{
    const QStringList words = {u"План проекта"_qs, u"Описание продукта"_qs, u"Отзывы клиентов"_qs,
                               u"Годовой отчёт"_qs, u"Новые сотрудники"_qs};
    EntryNameDecoder decoder;
    int asked = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 3000; ++i) {
        const QString text = words.at(i % words.size()) + u' ' + QString::number(i) + u".txt"_qs;
        PlayedUser user{text};
        QCOMPARE(decoder.decode(encoded(text, u"KOI8-R"_qs), std::ref(user)), text);
        asked += user.asked ? 1 : 0;
    }
    qInfo() << "3000 names one by one:" << timer.elapsed() << "ms," << asked << "asked";
    QVERIFY(asked <= 2);
    QVERIFY(timer.elapsed() < 5000);
}

void TestEncodingDetection::spellingRules()
{
    // Polish: "koń" and "końca" are words, "Mańana" is Spanish read wrongly.
    QVERIFY(!SpellingRules::isOddLatinPair(U'o', U'ń'));
    QVERIFY(!SpellingRules::isOddLatinPair(U'ń', U'c'));
    QVERIFY(SpellingRules::isOddLatinPair(U'ń', U'a'));
    // Greek: "προϊόν" has its diaeresis after a vowel.
    QVERIFY(!SpellingRules::isOddGreekPair(U'ο', U'ϊ'));
    QVERIFY(SpellingRules::isOddGreekPair(U'λ', U'ϊ'));
    QVERIFY(SpellingRules::isOddGreekPair(0, U'ϊ'));
    // Russian: "объект", "мой"; not a word starting with ъ, not "лй".
    QVERIFY(!SpellingRules::isOddCyrillicPair(U'б', true, U'ъ'));
    QVERIFY(!SpellingRules::isOddCyrillicPair(U'о', true, U'й'));
    QVERIFY(SpellingRules::isOddCyrillicPair(0, false, U'ъ'));
    QVERIFY(SpellingRules::isOddCyrillicPair(U'а', true, U'ь'));
    QVERIFY(SpellingRules::isOddCyrillicPair(U'л', true, U'й'));
    // Thai: เก (leading vowel, consonant) is fine, เ before a tone mark is not.
    QVERIFY(!SpellingRules::isOddThaiPair(U'เ', U'ก'));
    QVERIFY(SpellingRules::isOddThaiPair(U'เ', U'่'));
    QVERIFY(!SpellingRules::isOddThaiPair(U'ก', U'่'));
    // Marks sit on letters of their own script.
    QVERIFY(SpellingRules::markFits(U'ก', false, U'่'));
    QVERIFY(!SpellingRules::markFits(U'a', false, U'่'));
    QVERIFY(SpellingRules::markFits(U'ب', false, U'َ'));
    QVERIFY(!SpellingRules::markFits(U'i', false, U'َ'));
    QVERIFY(SpellingRules::markFits(U'a', false, U'\u0301'));
    QVERIFY(!SpellingRules::markFits(U's', false, U'\u0301'));
}

void TestEncodingDetection::alphabetsFitLanguages()
{
    const auto fit = [](LetterAlphabets::Script script, const QString &letters) {
        QHash<char16_t, int> counts;
        for (QChar c : letters)
            ++counts[c.toLower().unicode()];
        return LetterAlphabets::bestFit(script, counts);
    };
    const auto german = fit(LetterAlphabets::Script::Latin, u"äöüßä"_qs);
    QVERIFY(LetterAlphabets::contains(german.alphabet, U'Ü'));
    QVERIFY(LetterAlphabets::contains(german.group, U'é'));
    QVERIFY(!LetterAlphabets::contains(german.group, U'ř'));
    const auto czech = fit(LetterAlphabets::Script::Latin, u"řěůčš"_qs);
    QVERIFY(LetterAlphabets::contains(czech.alphabet, U'Ř'));
    QVERIFY(!LetterAlphabets::contains(czech.group, U'è'));
    const auto ukrainian = fit(LetterAlphabets::Script::Cyrillic, u"їєіґ"_qs);
    QVERIFY(LetterAlphabets::contains(ukrainian.alphabet, U'Ї'));
    QVERIFY(!LetterAlphabets::contains(ukrainian.group, U'ђ'));
}

QTEST_GUILESS_MAIN(TestEncodingDetection)
#include "test_encoding_detection.moc"
