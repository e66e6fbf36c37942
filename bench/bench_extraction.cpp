// Extracts a ~200 MB archive of mixed files (tar.gz, zip, 7z) with the
// engine and with `bsdtar -xf`, each in a child process of its own, and
// prints the wall-clock times and peak resident sizes.
//
//   bench_extraction [megabytes]          make the archives and measure
//   bench_extraction --extract ARCHIVE DIR [PASSWORD]
//                                         one extraction, as the program does it
//                                         (used by this benchmark and bench/compare_encrypted.sh)
//   bench_extraction --measure COMMAND...    (used by the benchmark itself)

#include "ArchiveMaker.h"
#include "platform/unarchiver/EngineProcess.h"
#include "platform/files/XADPlatform.h"
#include "platform/unarchiver/XADSimpleUnarchiver.h"
#include "platform/engine/XADSimpleUnarchiverDelegate.h"
#include "platform/encoding/XADString.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class QuietDelegate : public XADSimpleUnarchiverDelegate {
public:
    bool extractionShouldStop(XADSimpleUnarchiver *) override { return false; }
    void simpleUnarchiverNeedsPassword(XADSimpleUnarchiver *unarchiver) override
    {
        if (!password.isNull())
            unarchiver->setPassword(password);
    }
    QString encodingNameForXADString(XADSimpleUnarchiver *, const XADString &) override
    {
        return u"ISO-8859-1"_qs;
    }
    void extractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, qint64, qint64, qint64, qint64) override
    {
        ++reports;
    }
    void estimatedExtractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, double, double) override
    {
        ++reports;
    }
    void didExtractEntry(XADSimpleUnarchiver *, const XADEntryInfo &, const QString &, int error) override
    {
        errors += error != 0;
    }
    long reports = 0;
    long errors = 0;
    QString password;
};

int extractWithEngine(const QString &archive, const QString &destination, const QString &password = QString())
{
    QuietDelegate delegate;
    delegate.password = password;
    auto unarchiver = XADSimpleUnarchiver::simpleUnarchiverForPath(archive);
    if (!unarchiver)
        return 2;
    unarchiver->setDelegate(&delegate);
    // As the item does: the helper is confined to the destination from the start.
    unarchiver->setDestination(destination);
    unarchiver->setRemovesEnclosingDirectoryForSoloItems(true);
    if (unarchiver->parse() != 0)
        return 3;
    const int result = unarchiver->unarchive();
    if (result != 0 || delegate.errors != 0)
        std::fprintf(stderr, "engine: result %d, %ld entry errors\n", result, delegate.errors);
    return result == 0 ? 0 : 4;
}

// Words from a small vocabulary: compresses like source code or prose.
QByteArray textLike(QRandomGenerator &random, qsizetype size)
{
    static const QList<QByteArray> words = {"archive ", "extract ", "folder ", "the ", "of ", "file ",
                                            "name\n", "return ", "{\n", "}\n", "int ", "value = ",
                                            "0x1f; ", "// note ", "QString ", "for (;;) "};
    QByteArray text;
    text.reserve(size);
    while (text.size() < size)
        text += words.at(random.bounded(words.size()));
    text.truncate(size);
    return text;
}

QByteArray noise(QRandomGenerator &random, qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    return data;
}

// Prose, already-compressed media and a crowd of small files, roughly
// 50/30/20 by size.
QList<ArchiveEntrySpec> mixedEntries(qint64 megabytes)
{
    QRandomGenerator random(2024);
    const qint64 total = megabytes << 20;
    QList<ArchiveEntrySpec> entries;
    for (qint64 made = 0, i = 0; made < total / 2; ++i) {
        const qsizetype size = 64 * 1024 + random.bounded(192 * 1024);
        entries.append(ArchiveEntrySpec::file("project/src/module" + QByteArray::number(i % 40) + "/file"
                                                  + QByteArray::number(i) + ".txt",
                                              textLike(random, size)));
        made += size;
    }
    for (qint64 made = 0, i = 0; made < total * 3 / 10; ++i) {
        const qsizetype size = (1 << 20) + random.bounded(3 << 20);
        entries.append(ArchiveEntrySpec::file("project/media/clip" + QByteArray::number(i) + ".bin",
                                              noise(random, size)));
        made += size;
    }
    for (qint64 made = 0, i = 0; made < total / 5; ++i) {
        const qsizetype size = 512 + random.bounded(6 * 1024);
        entries.append(ArchiveEntrySpec::file("project/small/d" + QByteArray::number(i % 200) + "/n"
                                                  + QByteArray::number(i) + ".dat",
                                              textLike(random, size)));
        made += size;
    }
    return entries;
}

struct Measurement {
    double seconds = 0;
    double cpuSeconds = 0; // user + system: steadier than wall time on a busy machine
    long peakKiB = 0;
    int status = -1;
};

// Linux counts the resident size a process had before exec() in its peak,
// so a child of this large process would inherit its figure. A small helper
// process (this program, before Qt starts) runs the command instead and
// reports: peak KiB, CPU seconds, exit status, wall seconds.
int measureCommand(char **argv)
{
    timespec start{}, end{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = -1;
    if (::posix_spawnp(&child, argv[0], nullptr, nullptr, argv, environ) != 0)
        return 127;
    int status = 0;
    struct rusage usage = {};
    if (::wait4(child, &status, 0, &usage) != child)
        return 127;
    ::clock_gettime(CLOCK_MONOTONIC, &end);
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                       + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const double wall = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    std::printf("%ld %.3f %d %.3f\n", usage.ru_maxrss, cpu, WIFEXITED(status) ? WEXITSTATUS(status) : -1, wall);
    return 0;
}

Measurement runChild(const QList<QByteArray> &arguments)
{
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList helperArguments = {u"--measure"_qs};
    for (const QByteArray &argument : arguments)
        helperArguments.append(QFile::decodeName(argument));
    helper.start(QCoreApplication::applicationFilePath(), helperArguments);
    Measurement measurement;
    if (!helper.waitForFinished(-1))
        return measurement;
    const QList<QByteArray> fields = helper.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() == 4) {
        measurement.peakKiB = fields.at(0).toLong();
        measurement.cpuSeconds = fields.at(1).toDouble();
        measurement.status = fields.at(2).toInt();
        measurement.seconds = fields.at(3).toDouble();
    }
    return measurement;
}

Measurement median(QList<Measurement> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Measurement &a, const Measurement &b) { return a.seconds < b.seconds; });
    return runs.at(runs.size() / 2);
}

void measure(const QString &label, const QString &archive, const QString &scratch)
{
    const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    QList<Measurement> engine, bsdtar;
    for (int round = 0; round < 3; ++round) {
        const QString out = scratch + u"/out"_qs;
        QDir().mkpath(out);
        engine.append(runChild({self, "--extract", QFile::encodeName(archive), QFile::encodeName(out)}));
        XADPlatform::removeItemAtPath(out);
        QDir().mkpath(out);
        bsdtar.append(runChild({"bsdtar", "-xf", QFile::encodeName(archive), "-C", QFile::encodeName(out)}));
        XADPlatform::removeItemAtPath(out);
    }
    const Measurement e = median(engine);
    const Measurement b = median(bsdtar);
    std::printf("%-7s %6.1f MB | engine %6.2f s wall %6.2f s cpu, peak RSS %5.1f MB, exit %d"
                " | bsdtar -xf %6.2f s wall %6.2f s cpu, peak RSS %5.1f MB, exit %d"
                " | engine/bsdtar wall %.2f cpu %.2f\n",
                qPrintable(label), double(QFileInfo(archive).size()) / 1e6, e.seconds, e.cpuSeconds,
                e.peakKiB / 1024.0, e.status, b.seconds, b.cpuSeconds, b.peakKiB / 1024.0, b.status,
                e.seconds / b.seconds, e.cpuSeconds / b.cpuSeconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--measure") == 0)
        return measureCommand(argv + 2);
    QCoreApplication app(argc, argv);
    EngineProcess::setHelperPath(QStringLiteral(QUILLBOX_ENGINE_PATH));
    const QStringList arguments = app.arguments();
    if ((arguments.size() == 4 || arguments.size() == 5) && arguments.at(1) == u"--extract"_qs)
        return extractWithEngine(arguments.at(2), arguments.at(3), arguments.value(4));

    const qint64 megabytes = arguments.size() > 1 ? arguments.at(1).toLongLong() : 200;
    QTemporaryDir scratch;
    std::printf("Making archives of %lld MB of mixed files in %s\n", megabytes, qPrintable(scratch.path()));
    std::fflush(stdout);
    struct Kind {
        QString label, file, format, filter, options;
    };
    const QList<Kind> kinds = {
        {u"tar.gz"_qs, u"mixed.tar.gz"_qs, u"pax"_qs, u"gzip"_qs, QString()},
        {u"zip"_qs, u"mixed.zip"_qs, u"zip"_qs, QString(), QString()},
        {u"7z"_qs, u"mixed.7z"_qs, u"7zip"_qs, QString(), u"7zip:compression=lzma2,7zip:compression-level=1"_qs},
    };
    {
        const QList<ArchiveEntrySpec> entries = mixedEntries(megabytes);
        for (const Kind &kind : kinds) {
            QElapsedTimer timer;
            timer.start();
            if (!ArchiveMaker::write(scratch.filePath(kind.file), kind.format, kind.filter, entries, kind.options)) {
                std::printf("could not write %s\n", qPrintable(kind.file));
                return 1;
            }
            std::printf("  %s: %lld entries written in %.1f s\n", qPrintable(kind.label), qint64(entries.size()),
                        double(timer.elapsed()) / 1000.0);
            std::fflush(stdout);
        }
    }
    const Measurement floor = runChild({"true"});
    std::printf("Median of 3 runs each, extracting onto the same disk (a process doing nothing"
                " measures %.1f MB peak here):\n", floor.peakKiB / 1024.0);
    for (const Kind &kind : kinds)
        measure(kind.label, scratch.filePath(kind.file), scratch.path());
    return 0;
}
