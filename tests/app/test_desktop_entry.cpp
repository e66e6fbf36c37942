#include <QFile>
#include <QMimeDatabase>
#include <QSet>
#include <QTest>

namespace {

const QString kAppId = u"app.quillbox.Quillbox"_qs;

QString resource(const QString &suffix)
{
    return QString::fromUtf8(QUILLBOX_SOURCE_DIR) + u"/resources/desktop/"_qs + kAppId + suffix;
}

} // namespace

// The desktop entry starts the program with its files and offers it for
// every kind of archive the system's MIME database knows.
class TestDesktopEntry : public QObject {
    Q_OBJECT

    QMap<QString, QString> m_entry;
    QStringList m_types;

private Q_SLOTS:
    void initTestCase()
    {
        QFile file(resource(u".desktop"_qs));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(file.readLine().trimmed(), QByteArray("[Desktop Entry]"));
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(u'#'))
                continue;
            const qsizetype equals = line.indexOf(u'=');
            QVERIFY2(equals > 0 && !m_entry.contains(line.left(equals)), qPrintable(line));
            m_entry.insert(line.left(equals), line.mid(equals + 1));
        }
        m_types = m_entry.value(u"MimeType"_qs).split(u';', Qt::SkipEmptyParts);
    }

    void entryStartsTheProgramWithItsFiles()
    {
        QCOMPARE(m_entry.value(u"Type"_qs), u"Application"_qs);
        QCOMPARE(m_entry.value(u"Exec"_qs), u"quillbox %F"_qs);
        QCOMPARE(m_entry.value(u"Icon"_qs), kAppId);
        QVERIFY(m_entry.value(u"MimeType"_qs).endsWith(u';'));
        QCOMPARE(QSet<QString>(m_types.cbegin(), m_types.cend()).size(), m_types.size());
        // Newer shared-mime-info releases name types this system may not know.
        for (const QString &type : std::as_const(m_types))
            QVERIFY2(QMimeDatabase().mimeTypeForName(type).isValid()
                         || type == u"application/x-bzip2-compressed-tar"_qs, qPrintable(type));
    }

    void archivesOfEveryKindAreOffered_data()
    {
        QTest::addColumn<QString>("fileName");
        for (const char *name : {"a.zip", "a.7z", "a.rar", "a.tar", "a.tar.gz", "a.tgz", "a.tar.bz2",
                                 "a.tar.xz", "a.tar.zst", "a.tar.lz", "a.tar.Z", "a.txt.gz", "a.bz2",
                                 "a.xz", "a.zst", "a.lz4", "a.iso", "a.cab", "a.lzh", "a.cpio", "a.xar", "a.a"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void archivesOfEveryKindAreOffered()
    {
        QFETCH(QString, fileName);
        const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
        QStringList names = type.aliases() << type.name();
        const bool offered = std::any_of(names.cbegin(), names.cend(),
                                         [this](const QString &name) { return m_types.contains(name); });
        QVERIFY2(offered, qPrintable(fileName + u" is "_qs + type.name()));
    }

};

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "test_desktop_entry.moc"
