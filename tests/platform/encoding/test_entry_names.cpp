#include "ArchiveMaker.h"
#include "LegacyZipWriter.h"
#include "NameSamples.h"
#include "TestEnvironment.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/IcuTextCodec.h"
#include "platform/unarchiver/XADSimpleUnarchiver.h"
#include "platform/engine/XADSimpleUnarchiverDelegate.h"
#include "platform/encoding/XADString.h"

#include <QDir>
#include <QDirIterator>
#include <QHash>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <locale.h>

namespace {

// Answers the engine as the archive item does: an encoding chosen earlier
// for this archive, else a confident detection, provided it decodes the
// name; otherwise the user is asked, and this user picks, among the
// encodings that decode the name, the one that gives the expected name.
class NamingDelegate : public XADSimpleUnarchiverDelegate {
public:
    QHash<QByteArray, QString> expected; // raw name -> what it must read as
    quint64 chosen = 0;
    int asked = 0;
    QStringList problems;

    bool extractionShouldStop(XADSimpleUnarchiver *) override { return false; }
    void simpleUnarchiverNeedsPassword(XADSimpleUnarchiver *) override {}
    QString encodingNameForXADString(XADSimpleUnarchiver *, const XADString &name) override
    {
        quint64 candidate = chosen;
        if (candidate == 0 && name.confidence() * 100.0f >= 80.0f)
            candidate = name.encoding();
        if (candidate != 0 && name.canDecodeWithEncoding(candidate))
            return XADString::encodingNameForEncoding(candidate);
        ++asked;
        const QString wanted = wantedFor(name.data());
        for (const auto &encoding : EncodingRegistry::instance().encodings()) {
            if (encoding.number != EncodingRegistry::UTF16
                && name.canDecodeWithEncoding(encoding.number)
                && name.stringWithEncoding(encoding.number) == wanted) {
                chosen = encoding.number;
                return XADString::encodingNameForEncoding(chosen);
            }
        }
        problems.append(u"no encoding offered reads "_qs + wanted);
        return QString();
    }
    void extractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, qint64, qint64, qint64,
                            qint64) override {}
    void estimatedExtractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, double,
                                     double) override {}
    void didExtractEntry(XADSimpleUnarchiver *, const XADEntryInfo &entry, const QString &,
                         int error) override
    {
        if (error != 0)
            problems.append(entry.path + u": error "_qs + QString::number(error));
    }

private:
    QString wantedFor(const QByteArray &raw) const
    {
        const QByteArray withSlash = raw + '/';
        const QByteArray withoutSlash = raw.endsWith('/') ? raw.chopped(1) : raw;
        for (const QByteArray &key : {raw, withSlash, withoutSlash}) {
            if (expected.contains(key))
                return expected.value(key);
        }
        return QString();
    }
};

QStringList relativePaths(const QString &root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        paths.append(QDir(root).relativeFilePath(path) + (it.fileInfo().isDir() ? u"/"_qs : QString()));
    }
    paths.sort();
    return paths;
}

// Every path the names make, folders included, with a trailing slash on folders.
QStringList expectedPaths(const QStringList &names)
{
    QSet<QString> paths;
    for (const QString &name : names) {
        const QStringList parts = name.split(u'/', Qt::SkipEmptyParts);
        QString prefix;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            prefix += parts.at(i);
            const bool folder = i + 1 < parts.size() || name.endsWith(u'/');
            paths.insert(folder ? prefix + u'/' : prefix);
            prefix += u'/';
        }
    }
    QStringList sorted(paths.begin(), paths.end());
    sorted.sort();
    return sorted;
}

// libarchive's writers convert names by the locale; the test archives are
// written the way a UTF-8 desktop writes them, whatever locale the test runs in.
class Utf8WriterLocale {
public:
    Utf8WriterLocale()
        : m_utf8(newlocale(LC_ALL_MASK, "C.UTF-8", locale_t(nullptr)))
        , m_previous(m_utf8 ? uselocale(m_utf8) : locale_t(nullptr))
    {
    }
    ~Utf8WriterLocale()
    {
        if (m_utf8) {
            uselocale(m_previous);
            freelocale(m_utf8);
        }
    }
    Utf8WriterLocale(const Utf8WriterLocale &) = delete;
    Utf8WriterLocale &operator=(const Utf8WriterLocale &) = delete;

private:
    locale_t m_utf8;
    locale_t m_previous;
};

QByteArray encoded(const QString &text, const char *codePage)
{
    return IcuTextCodec::encodeStrict(text, codePage).value_or(QByteArray());
}

} // namespace

class TestEntryNames : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void windowsZipsExtractWithRightNames_data();
    void windowsZipsExtractWithRightNames();
    void doubtfulNameAsksOnceAndKeepsTheChoice();
    void flaggedAndLegacyNamesInOneZip();
    void unicodeArchivesUnderCLocale_data();
    void unicodeArchivesUnderCLocale();
    void realLegacyArchives_data();
    void realLegacyArchives();

private:
    // Extracts the archive; the relative paths of what came out.
    QStringList extract(const QString &archive, NamingDelegate &delegate);

    std::unique_ptr<TestEnvironment> m_environment;
    QTemporaryDir m_dir;
    int m_count = 0;
};

void TestEntryNames::initTestCase()
{
    m_environment = std::make_unique<TestEnvironment>();
    QVERIFY(m_dir.isValid());
    // The engine must not depend on the locale it is started in.
    QCOMPARE(qgetenv("LC_ALL"), QByteArray("C"));
}

QStringList TestEntryNames::extract(const QString &archive, NamingDelegate &delegate)
{
    const QString destination = m_dir.filePath(u"out"_qs + QString::number(++m_count));
    if (!QDir().mkpath(destination))
        return {u"<no destination>"_qs};
    auto unarchiver = XADSimpleUnarchiver::simpleUnarchiverForPath(archive);
    if (!unarchiver)
        return {u"<cannot open>"_qs};
    unarchiver->setDelegate(&delegate);
    unarchiver->setPropagatesRelevantMetadata(true);
    unarchiver->setAlwaysRenamesFiles(true);
    if (const int error = unarchiver->parse())
        return {u"<parse error "_qs + QString::number(error) + u'>'};
    unarchiver->setDestination(destination);
    unarchiver->setRemovesEnclosingDirectoryForSoloItems(true);
    if (const int error = unarchiver->unarchive())
        return {u"<unarchive error "_qs + QString::number(error) + u'>'};
    // Several top-level items come out in a folder named after the archive.
    const QStringList top = QDir(destination).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const QString enclosing = unarchiver->enclosingDirectoryName();
    if (top.size() == 1 && top.constFirst() == enclosing && QFileInfo(unarchiver->createdItem()).isDir())
        return relativePaths(unarchiver->createdItem());
    return relativePaths(destination);
}

void TestEntryNames::windowsZipsExtractWithRightNames_data()
{
    QTest::addColumn<int>("index");
    const QList<NameSample> samples = nameSamples();
    for (int i = 0; i < samples.size(); ++i) {
        if (samples.at(i).fromWindows && samples.at(i).expectConfident)
            QTest::newRow(samples.at(i).label.toUtf8().constData()) << i;
    }
}

// Legacy names, no UTF-8 flag, MS-DOS host: detected over the whole
// directory, taken without asking, and every file lands under its name.
void TestEntryNames::windowsZipsExtractWithRightNames()
{
    QFETCH(int, index);
    const NameSample sample = nameSamples().at(index);
    LegacyZipWriter writer(LegacyZipWriter::hostMsDos);
    NamingDelegate delegate;
    for (const QString &name : sample.names) {
        const QByteArray raw = encoded(name, sample.codePage.toLatin1().constData());
        QVERIFY(!raw.isEmpty());
        writer.add(raw, name.endsWith(u'/') ? QByteArray() : name.toUtf8());
        delegate.expected.insert(raw, name);
    }
    const QString zip = m_dir.filePath(u"sample"_qs + QString::number(index) + u".zip"_qs);
    QVERIFY(writer.write(zip));
    QCOMPARE(extract(zip, delegate), expectedPaths(sample.names));
    QCOMPARE(delegate.asked, 0);
    QVERIFY2(delegate.problems.isEmpty(), qPrintable(delegate.problems.join(u'\n')));
}

// One short name cannot settle a code page: the user is asked once, and
// the choice carries over to the later names of the archive.
void TestEntryNames::doubtfulNameAsksOnceAndKeepsTheChoice()
{
    LegacyZipWriter writer(LegacyZipWriter::hostMsDos);
    NamingDelegate delegate;
    const QStringList names = {u"报告.txt"_qs, u"资料.doc"_qs};
    for (const QString &name : names) {
        const QByteArray raw = encoded(name, "GBK");
        writer.add(raw, QByteArray("x"));
        delegate.expected.insert(raw, name);
    }
    const QString zip = m_dir.filePath(u"doubtful.zip"_qs);
    QVERIFY(writer.write(zip));
    QCOMPARE(extract(zip, delegate), expectedPaths(names));
    QCOMPARE(delegate.asked, 1);
    QVERIFY(delegate.chosen != 0);
    QVERIFY2(delegate.problems.isEmpty(), qPrintable(delegate.problems.join(u'\n')));
}

// A name flagged UTF-8 is taken as it is, the legacy ones beside it are
// detected, including one whose GBK bytes happen to be valid UTF-8.
void TestEntryNames::flaggedAndLegacyNamesInOneZip()
{
    LegacyZipWriter writer(LegacyZipWriter::hostMsDos);
    NamingDelegate delegate;
    LegacyZipWriter::Entry flagged;
    flagged.name = u"说明 (UTF-8).txt"_qs.toUtf8();
    flagged.data = "u";
    flagged.utf8Flag = true;
    writer.add(flagged);
    const QStringList legacy = {u"新建文件夹/"_qs, u"新建文件夹/工作报告.docx"_qs, u"会议纪要.txt"_qs,
                                u"图片.png"_qs, u"财务报表.xlsx"_qs, u"项目说明.pdf"_qs};
    for (const QString &name : legacy) {
        const QByteArray raw = encoded(name, "GBK");
        writer.add(raw, name.endsWith(u'/') ? QByteArray() : QByteArray("g"));
        delegate.expected.insert(raw, name);
    }
    QVERIFY(!encoded(u"图片.png"_qs, "GBK").isEmpty());
    const QString zip = m_dir.filePath(u"mixed.zip"_qs);
    QVERIFY(writer.write(zip));
    QCOMPARE(extract(zip, delegate), expectedPaths(legacy + QStringList{u"说明 (UTF-8).txt"_qs}));
    QCOMPARE(delegate.asked, 0);
    QVERIFY2(delegate.problems.isEmpty(), qPrintable(delegate.problems.join(u'\n')));
}

void TestEntryNames::unicodeArchivesUnderCLocale_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("file");
    QTest::newRow("zip with UTF-8 flag") << u"zip"_qs << u"unicode.zip"_qs;
    QTest::newRow("7z") << u"7zip"_qs << u"unicode.7z"_qs;
    QTest::newRow("pax") << u"pax"_qs << u"unicode.tar"_qs;
}

// Formats that declare their names Unicode come out right whatever the
// locale, without a question.
void TestEntryNames::unicodeArchivesUnderCLocale()
{
    QFETCH(QString, format);
    QFETCH(QString, file);
    const QStringList names = {u"中文资料/"_qs, u"中文资料/年度总结 2023.docx"_qs, u"照片/春节.jpg"_qs,
                               u"Résumé.pdf"_qs, u"Отчёт.txt"_qs};
    QList<ArchiveEntrySpec> entries;
    for (const QString &name : names) {
        entries.append(name.endsWith(u'/') ? ArchiveEntrySpec::directory(name.chopped(1).toUtf8())
                                           : ArchiveEntrySpec::file(name.toUtf8(), "data"));
    }
    const QString archive = m_dir.filePath(file);
    {
        Utf8WriterLocale utf8;
        QVERIFY(ArchiveMaker::write(archive, format, QString(), entries));
    }
    NamingDelegate delegate;
    QCOMPARE(extract(archive, delegate), expectedPaths(names));
    QCOMPARE(delegate.asked, 0);
    QVERIFY2(delegate.problems.isEmpty(), qPrintable(delegate.problems.join(u'\n')));
}

void TestEntryNames::realLegacyArchives_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QString>("codePage");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("maximumQuestions");
    QTest::newRow("zip, CP932, NTFS host")
        << u"test_read_format_zip_filename_cp932.zip"_qs << u"Shift_JIS"_qs
        << QStringList{u"表だよ/一覧表.txt"_qs, u"表だよ/漢字.txt"_qs} << 0;
    QTest::newRow("zip, CP866") << u"test_read_format_zip_filename_cp866.zip"_qs << u"IBM866"_qs
                                << QStringList{u"ПРИВЕТ"_qs, u"привет"_qs} << 0;
    QTest::newRow("zip, KOI8-R") << u"test_read_format_zip_filename_koi8r.zip"_qs << u"KOI8-R"_qs
                                 << QStringList{u"привет"_qs, u"ПРИВЕТ"_qs} << 0;
    // No directory to read ahead: the first name alone may need a question.
    QTest::newRow("tar, KOI8-R") << u"test_read_format_gtar_filename_koi8r.tar.Z"_qs << u"KOI8-R"_qs
                                 << QStringList{u"привет"_qs, u"ПРИВЕТ"_qs} << 1;
}

void TestEntryNames::realLegacyArchives()
{
    QFETCH(QString, archive);
    QFETCH(QString, codePage);
    QFETCH(QStringList, names);
    QFETCH(int, maximumQuestions);
    NamingDelegate delegate;
    for (const QString &name : names)
        delegate.expected.insert(encoded(name, codePage.toLatin1().constData()), name);
    const QString path = TestEnvironment::corpusPath(archive);
    QVERIFY(QFileInfo::exists(path));
    QStringList extracted = extract(path, delegate);
    QStringList wanted = expectedPaths(names);
    QCOMPARE(extracted, wanted);
    QVERIFY(delegate.asked <= maximumQuestions);
    QVERIFY2(delegate.problems.isEmpty(), qPrintable(delegate.problems.join(u'\n')));
}

int main(int argc, char **argv)
{
    // Before Qt reads the locale: names must not depend on it.
    qputenv("LC_ALL", "C");
    qunsetenv("LANG");
    QCoreApplication app(argc, argv);
    TestEntryNames test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_entry_names.moc"
