#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QXmlStreamReader>

namespace {

QString resource(const QString &name)
{
    return QString::fromUtf8(QUILLBOX_SOURCE_DIR) + u"/resources/desktop/"_qs + name;
}

const QString kAppId = u"app.quillbox.Quillbox"_qs;

// Types that newer shared-mime-info releases name and this system may not know.
const QSet<QString> kNewerTypes{u"application/x-bzip2-compressed-tar"_qs};

} // namespace

// The desktop entry and the AppStream data agree with each other, with the
// program, and with the system's MIME database.
class TestDesktopEntry : public QObject {
    Q_OBJECT

    QMap<QString, QString> m_entry;

    QStringList list(const QString &key) const
    {
        return m_entry.value(key).split(u';', Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QFile file(resource(kAppId + u".desktop"_qs));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(file.readLine().trimmed(), QByteArray("[Desktop Entry]"));
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(u'#'))
                continue;
            QVERIFY2(!line.startsWith(u'['), "one group only");
            const qsizetype equals = line.indexOf(u'=');
            QVERIFY2(equals > 0, qPrintable(line));
            const QString key = line.left(equals);
            QVERIFY2(!m_entry.contains(key), qPrintable(u"twice: "_qs + key));
            m_entry.insert(key, line.mid(equals + 1));
        }
    }

    void entryStartsTheProgramWithItsFiles()
    {
        QCOMPARE(m_entry.value(u"Type"_qs), u"Application"_qs);
        QCOMPARE(m_entry.value(u"Name"_qs), u"Quillbox"_qs);
        QCOMPARE(m_entry.value(u"Exec"_qs), u"quillbox %F"_qs);
        QCOMPARE(m_entry.value(u"Icon"_qs), kAppId);
        QCOMPARE(m_entry.value(u"Terminal"_qs), u"false"_qs);
        QVERIFY(list(u"Categories"_qs).contains(u"Archiving"_qs));
        QVERIFY(m_entry.value(u"MimeType"_qs).endsWith(u';'));
        QVERIFY(m_entry.contains(u"Comment[zh_CN]"_qs));
    }

    void everyTypeIsKnownAndCanonicalOrAnAlias()
    {
        const QMimeDatabase mimes;
        const QStringList types = list(u"MimeType"_qs);
        QVERIFY(types.size() >= 20);
        QCOMPARE(QSet<QString>(types.cbegin(), types.cend()).size(), types.size());
        for (const QString &type : types) {
            if (kNewerTypes.contains(type))
                continue;
            const QMimeType known = mimes.mimeTypeForName(type);
            QVERIFY2(known.isValid(), qPrintable(type));
        }
        for (const QString &must : {u"application/zip"_qs, u"application/x-7z-compressed"_qs,
                                    u"application/vnd.rar"_qs, u"application/x-tar"_qs,
                                    u"application/x-compressed-tar"_qs, u"application/gzip"_qs,
                                    u"application/x-cd-image"_qs, u"application/zstd"_qs})
            QVERIFY2(types.contains(must), qPrintable(must));
    }

    void archivesOfEveryKindAreOffered_data()
    {
        QTest::addColumn<QString>("fileName");
        for (const char *name : {"a.zip", "a.7z", "a.rar", "a.tar", "a.tar.gz", "a.tgz",
                                 "a.tar.bz2", "a.tar.xz", "a.tar.zst", "a.tar.lz", "a.tar.Z",
                                 "a.txt.gz", "a.bz2", "a.xz", "a.zst", "a.lz4", "a.iso",
                                 "a.cab", "a.lzh", "a.cpio", "a.xar", "a.a"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void archivesOfEveryKindAreOffered()
    {
        QFETCH(QString, fileName);
        const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
        const QStringList types = list(u"MimeType"_qs);
        QStringList names = type.aliases();
        names << type.name();
        bool offered = false;
        for (const QString &name : std::as_const(names))
            offered = offered || types.contains(name);
        QVERIFY2(offered, qPrintable(fileName + u" is "_qs + type.name()));
    }

    void metainfoNamesTheSameApplication()
    {
        QFile file(resource(kAppId + u".metainfo.xml"_qs));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QString id;
        QString launchable;
        QStringList binaries;
        QStringList mediaTypes;
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == u"id"_qs)
                id = xml.readElementText();
            else if (xml.name() == u"launchable"_qs)
                launchable = xml.readElementText();
            else if (xml.name() == u"binary"_qs)
                binaries << xml.readElementText();
            else if (xml.name() == u"mediatype"_qs)
                mediaTypes << xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(id, kAppId);
        QCOMPARE(launchable, kAppId + u".desktop"_qs);
        QCOMPARE(binaries, QStringList{u"quillbox"_qs});
        const QStringList offered = list(u"MimeType"_qs);
        for (const QString &type : std::as_const(mediaTypes))
            QVERIFY2(offered.contains(type), qPrintable(type));
    }
};

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "test_desktop_entry.moc"
