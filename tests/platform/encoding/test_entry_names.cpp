#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "LegacyZipWriter.h"
#include "TestEnvironment.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/IcuTextCodec.h"
#include "platform/encoding/XADString.h"

#include <QDir>
#include <QDirIterator>
#include <QHash>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Answers the engine as the archive item does: an encoding chosen earlier
// for this archive, else a confident detection, provided it decodes the
// name; otherwise the user is asked, and this user picks, among the
// encodings that decode the name, the one that gives the expected name.
class NamingDelegate : public RecordingDelegate {
public:
    QHash<QByteArray, QString> expected; // raw name, without a trailing slash -> what it must read as
    quint64 chosen = 0;
    int asked = 0;
    QStringList problems;

    QString encodingNameForXADString(XADSimpleUnarchiver *, const XADString &name) override
    {
        quint64 candidate = chosen;
        if (candidate == 0 && name.confidence() * 100.0f >= 80.0f)
            candidate = name.encoding();
        if (candidate != 0 && name.canDecodeWithEncoding(candidate))
            return XADString::encodingNameForEncoding(candidate);
        ++asked;
        QByteArray raw = name.data();
        while (raw.endsWith('/'))
            raw.chop(1);
        const QString wanted = expected.value(raw);
        for (const auto &encoding : EncodingRegistry::instance().encodings()) {
            QString decoded = name.stringWithEncoding(encoding.number);
            while (decoded.endsWith(u'/'))
                decoded.chop(1);
            if (encoding.number != EncodingRegistry::UTF16 && name.canDecodeWithEncoding(encoding.number)
                && decoded == wanted) {
                chosen = encoding.number;
                return XADString::encodingNameForEncoding(chosen);
            }
        }
        problems.append(u"no encoding offered reads "_qs + wanted);
        return QString();
    }

    // The names, folders with a trailing slash, each with its bytes in that code page.
    void expect(const QStringList &names, const QString &codePage, LegacyZipWriter *writer = nullptr)
    {
        for (const QString &name : names) {
            const QByteArray raw = IcuTextCodec::encodeStrict(name, codePage.toLatin1().constData()).value_or("?");
            expected.insert(raw.endsWith('/') ? raw.chopped(1) : raw, name.endsWith(u'/') ? name.chopped(1) : name);
            if (writer)
                writer->add(raw, name.endsWith(u'/') ? QByteArray() : name.toUtf8());
        }
    }
};

QStringList relativePaths(const QString &root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
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
            paths.insert(i + 1 < parts.size() || name.endsWith(u'/') ? prefix + u'/' : prefix);
            prefix += u'/';
        }
    }
    QStringList sorted(paths.begin(), paths.end());
    sorted.sort();
    return sorted;
}

} // namespace

// Legacy names of real archives and of zips as Windows tools write them come
// out under their right names, in a process started in the C locale.
class TestEntryNames : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_environment;
    QTemporaryDir m_dir;
    int m_count = 0;

    // The relative paths of what came out: inside the folder named after the
    // archive when there were several top-level items.
    QStringList extract(const QString &archive, NamingDelegate &delegate)
    {
        const QString destination = m_dir.filePath(u"out"_qs + QString::number(++m_count));
        const EngineResult result = runEngine(archive, destination, &delegate);
        if (result.parse != 0 || result.unarchive != 0)
            return {u"<error %1 %2>"_qs.arg(result.parse).arg(result.unarchive)};
        for (const auto &[path, error] : std::as_const(delegate.entryErrors))
            delegate.problems.append(path + u": error "_qs + QString::number(error));
        const bool enclosed = QFileInfo(result.created).fileName() == result.enclosing
                              && QDir(destination).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size() == 1
                              && QFileInfo(result.created).isDir();
        return relativePaths(enclosed ? result.created : destination);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_environment = std::make_unique<TestEnvironment>();
        QVERIFY(m_dir.isValid());
        QCOMPARE(qgetenv("LC_ALL"), QByteArray("C"));
    }

    // Legacy names, no UTF-8 flag, MS-DOS host: detected over the whole
    // directory, and every file lands under its name. One short name cannot
    // settle a code page: the user is asked once, and the choice carries over
    // to the later names. A name flagged UTF-8 is taken as it is, the legacy
    // ones beside it detected, including one whose GBK bytes are valid UTF-8.
    void legacyZipsExtractWithRightNames_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<QString>("flagged");
        QTest::addColumn<int>("questions");
        QTest::newRow("doubtful") << QStringList{u"报告.txt"_qs, u"资料.doc"_qs} << u"GBK"_qs << QString() << 1;
        // Central European and Western names some Windows tools write in the
        // ANSI code page rather than the OEM one; Turkish in its OEM one.
        QTest::newRow("windows-1250") << QStringList{u"Dokumenty/"_qs, u"Dokumenty/Sprawozdanie końcowe.docx"_qs,
                                                     u"Zdjęcia/Wakacje nad morzem.jpg"_qs, u"Łódź.txt"_qs}
                                      << u"windows-1250"_qs << QString() << 0;
        QTest::newRow("windows-1252") << QStringList{u"Übersicht/"_qs, u"Übersicht/Präsentation.pptx"_qs,
                                                     u"Café au lait.txt"_qs, u"Résumé.docx"_qs}
                                      << u"windows-1252"_qs << QString() << 0;
        // One name, one accented letter: the rival tables make a capital of
        // it inside the word.
        QTest::newRow("IBM850, one name") << QStringList{u"Rechnung März.pdf"_qs} << u"IBM850"_qs << QString() << 0;
        QTest::newRow("IBM857") << QStringList{u"Belgeler/"_qs, u"Belgeler/Yıllık rapor.docx"_qs,
                                               u"Fotoğraflar/İstanbul gezisi.jpg"_qs, u"Öğrenci listesi.xlsx"_qs}
                                << u"IBM857"_qs << QString() << 0;
        QTest::newRow("flagged and legacy")
            << QStringList{u"新建文件夹/"_qs, u"新建文件夹/工作报告.docx"_qs, u"会议纪要.txt"_qs, u"图片.png"_qs,
                           u"财务报表.xlsx"_qs, u"项目说明.pdf"_qs}
            << u"GBK"_qs << u"说明 (UTF-8).txt"_qs << 0;
    }

    void legacyZipsExtractWithRightNames()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, codePage);
        QFETCH(QString, flagged);
        QFETCH(int, questions);
        LegacyZipWriter writer(LegacyZipWriter::hostMsDos);
        NamingDelegate delegate;
        if (!flagged.isEmpty())
            writer.add(LegacyZipWriter::Entry{flagged.toUtf8(), "u", true});
        delegate.expect(names, codePage, &writer);
        QVERIFY(!delegate.expected.contains("?"));
        const QString zip = m_dir.filePath(u"sample%1.zip"_qs.arg(++m_count));
        QVERIFY(writer.write(zip));
        QCOMPARE(extract(zip, delegate), expectedPaths(flagged.isEmpty() ? names : names + QStringList{flagged}));
        QCOMPARE(delegate.asked, questions);
        QVERIFY(questions == 0 || delegate.chosen != 0);
        QVERIFY2(delegate.problems.isEmpty(), qPrintable(delegate.problems.join(u'\n')));
    }

    // tar and cpio from Unix machines of the day, in their locales' code
    // pages, with names as people write them: settled without a question.
    void unixArchivesSettleWithoutAsking_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<QStringList>("names");
        const QList<std::pair<const char *, QStringList>> sets = {
            {"KOI8-R", {u"Документы/"_qs, u"Документы/Отчёт за 2020 год.odt"_qs, u"Фотографии/Отпуск на море.jpg"_qs,
                        u"Список покупок.txt"_qs}},
            {"EUC-JP", {u"資料/"_qs, u"資料/会議の議事録.txt"_qs, u"写真/旅行の思い出.jpg"_qs, u"見積書.pdf"_qs}},
            {"EUC-KR", {u"문서/"_qs, u"문서/회의 보고서.txt"_qs, u"사진/여름 휴가.jpg"_qs, u"견적서.pdf"_qs}},
            {"GB2312", {u"文档/"_qs, u"文档/会议记录.txt"_qs, u"照片/暑假旅行.jpg"_qs, u"报价单.pdf"_qs}}};
        for (const auto &[codePage, names] : sets) {
            for (const char *format : {"gnutar", "newc"})
                QTest::newRow(qPrintable(u"%1, %2"_qs.arg(QLatin1StringView(format), QLatin1StringView(codePage))))
                    << QString::fromLatin1(format) << QString::fromLatin1(codePage) << names;
        }
    }

    void unixArchivesSettleWithoutAsking()
    {
        QFETCH(QString, format);
        QFETCH(QString, codePage);
        QFETCH(QStringList, names);
        NamingDelegate delegate;
        delegate.expect(names, codePage);
        QList<ArchiveEntrySpec> entries;
        for (const QString &name : names) {
            const QByteArray raw = IcuTextCodec::encodeStrict(name, codePage.toLatin1().constData()).value_or("?");
            entries.append(name.endsWith(u'/') ? ArchiveEntrySpec::directory(raw)
                                               : ArchiveEntrySpec::file(raw, name.toUtf8()));
        }
        const QString archive = m_dir.filePath(u"unix%1.%2"_qs.arg(++m_count).arg(format));
        QVERIFY(ArchiveMaker::write(archive, format, QString(), entries));
        QCOMPARE(extract(archive, delegate), expectedPaths(names));
        QCOMPARE(delegate.asked, 0);
        QVERIFY2(delegate.problems.isEmpty(), qPrintable(delegate.problems.join(u'\n')));
    }

    void realLegacyArchives_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("maximumQuestions");
        QTest::newRow("zip, CP932, NTFS host") << u"test_read_format_zip_filename_cp932.zip"_qs << u"Shift_JIS"_qs
                                               << QStringList{u"表だよ/一覧表.txt"_qs, u"表だよ/漢字.txt"_qs} << 0;
        QTest::newRow("zip, CP866") << u"test_read_format_zip_filename_cp866.zip"_qs << u"IBM866"_qs
                                    << QStringList{u"ПРИВЕТ"_qs, u"привет"_qs} << 0;
        // No directory to read ahead: each name is judged as it comes, a
        // Unix locale's code pages first.
        for (const char *name : {"gtar_filename_koi8r.tar.Z", "ustar_filename_koi8r.tar.Z", "cpio_filename_koi8r.cpio"})
            QTest::newRow(name) << u"test_read_format_"_qs + QLatin1StringView(name) << u"KOI8-R"_qs
                                << QStringList{u"привет"_qs, u"ПРИВЕТ"_qs} << 0;
        // A pax archive: ПРИВЕТ raw in KOI8-R beside привет declared UTF-8.
        QTest::newRow("tar_filename_koi8r.tar.Z") << u"test_read_format_tar_filename_koi8r.tar.Z"_qs << u"KOI8-R"_qs
                                                  << QStringList{u"ПРИВЕТ"_qs, u"привет"_qs} << 0;
        QTest::newRow("lha, CP932") << u"test_read_format_lha_filename_cp932.lzh"_qs << u"Shift_JIS"_qs
                                    << QStringList{u"漢字.txt"_qs, u"表.txt"_qs} << 0;
        QTest::newRow("cab, CP932") << u"test_read_format_cab_filename_cp932.cab"_qs << u"Shift_JIS"_qs
                                    << QStringList{u"表だよ/一覧表.txt"_qs, u"表だよ/漢字.txt"_qs} << 0;
        // 表 in EUC-JP is valid UTF-8 (ɽ), which nobody writes: among legacy
        // names it is one. The two short names read as Japanese and as
        // Chinese alike (漢字, 表 against 戳机, 山): asked once.
        for (const char *name : {"gtar_filename_eucjp.tar.Z", "ustar_filename_eucjp.tar.Z", "cpio_filename_eucjp.cpio"})
            QTest::newRow(name) << u"test_read_format_"_qs + QLatin1StringView(name) << u"EUC-JP"_qs
                                << QStringList{u"漢字.txt"_qs, u"表.txt"_qs} << 1;
        for (const char *name : {"gtar_filename_cp866.tar.Z", "ustar_filename_cp866.tar.Z", "cpio_filename_cp866.cpio"})
            QTest::newRow(name) << u"test_read_format_"_qs + QLatin1StringView(name) << u"IBM866"_qs
                                << QStringList{u"привет"_qs, u"ПРИВЕТ"_qs} << 0;

    }

    void realLegacyArchives()
    {
        QFETCH(QString, archive);
        QFETCH(QString, codePage);
        QFETCH(QStringList, names);
        QFETCH(int, maximumQuestions);
        NamingDelegate delegate;
        delegate.expect(names, codePage);
        QCOMPARE(extract(TestEnvironment::corpusPath(archive), delegate), expectedPaths(names));
        QVERIFY(delegate.asked <= maximumQuestions);
        QVERIFY2(delegate.problems.isEmpty(), qPrintable(delegate.problems.join(u'\n')));
    }
};

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
