// What reading an archive in a helper process of its own costs: a small zip
// extracted many times through the program's unarchiver (a helper each time)
// and through the engine in this process; with an archive named on the
// command line, that archive the same way, for throughput.

#include "ArchiveMaker.h"
#include "platform/engine/ArchiveEngine.h"
#include "platform/unarchiver/EngineProcess.h"
#include "platform/files/XADPlatform.h"
#include "platform/unarchiver/XADSimpleUnarchiver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

int rounds = 50;

template <class Unarchiver>
int extract(Unarchiver &unarchiver, const QString &destination)
{
    unarchiver.setDestination(destination);
    unarchiver.setRemovesEnclosingDirectoryForSoloItems(true);
    if (const int error = unarchiver.parse())
        return error;
    return unarchiver.unarchive();
}

template <class Make>
double millisecondsPerArchive(const QString &archive, const QString &scratch, Make make)
{
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < rounds; ++round) {
        const QString out = scratch + u"/out"_qs;
        QDir().mkpath(out);
        auto unarchiver = make(archive);
        if (!unarchiver || extract(*unarchiver, out) != 0)
            return -1;
        XADPlatform::removeItemAtPath(out);
    }
    return double(timer.nsecsElapsed()) / 1e6 / rounds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    EngineProcess::setHelperPath(QStringLiteral(QUILLBOX_ENGINE_PATH));
    QTemporaryDir scratch;
    if (argc > 1) {
        rounds = 3;
        const QString named = QString::fromLocal8Bit(argv[1]);
        const double inProcess = millisecondsPerArchive(named, scratch.path(), ArchiveEngine::forPath);
        const double helper = millisecondsPerArchive(named, scratch.path(), XADSimpleUnarchiver::simpleUnarchiverForPath);
        std::printf("%s, %d rounds: in this process %.0f ms, in a helper %.0f ms\n", argv[1], rounds, inProcess, helper);
        return 0;
    }
    const QString archive = scratch.filePath(u"small.zip"_qs);
    if (!ArchiveMaker::write(archive, u"zip"_qs, QString(),
                             {ArchiveEntrySpec::file("a.txt", "a"), ArchiveEntrySpec::file("b.txt", "b")}))
        return 1;
    const double inProcess = millisecondsPerArchive(archive, scratch.path(), ArchiveEngine::forPath);
    const double helper = millisecondsPerArchive(archive, scratch.path(), XADSimpleUnarchiver::simpleUnarchiverForPath);
    std::printf("small zip, %d rounds: in this process %.2f ms, in a helper %.2f ms, helper costs %.2f ms per archive\n",
                rounds, inProcess, helper, helper - inProcess);
    return 0;
}
