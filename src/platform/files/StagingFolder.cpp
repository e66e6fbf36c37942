#include "platform/files/StagingFolder.h"

#include "platform/files/ProcessUmask.h"
#include "platform/files/TreeRemover.h"
#include "platform/files/UniqueName.h"
#include "platform/errors/XADException.h"
#include "platform/files/XADPlatform.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Another program may take the free name between looking and moving; the
// move never replaces, so it is simply tried again.
constexpr int publishAttempts = 20;

constexpr QLatin1StringView namePrefix{".quillbox-extracting-"};

QString publish(const QString &from, const QString &wantedPath)
{
    for (int attempt = 0; attempt < publishAttempts; ++attempt) {
        const QString target = UniqueName::freePath(wantedPath);
        if (target.isNull())
            return QString();
        if (XADPlatform::moveItemAtPath(from, target))
            return target;
    }
    return QString();
}

} // namespace

StagingFolder::~StagingFolder()
{
    discard();
}

int StagingFolder::create(const QString &destination)
{
    if (destination.isEmpty() || !QDir().mkpath(destination))
        return XADWriteError;
    m_destination = QDir(destination).absolutePath();
    QByteArray pattern = QFile::encodeName(m_destination + u'/' + namePrefix + u"XXXXXX"_qs);
    if (!::mkdtemp(pattern.data()))
        return XADWriteError;
    m_path = QFile::decodeName(pattern);
    m_fd.reset(::open(pattern.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!m_fd.isValid()) {
        discard();
        return XADWriteError;
    }
    return XADNoError;
}

QStringList StagingFolder::foldersIn(const QString &destination)
{
    if (destination.isEmpty())
        return {};
    const QDir folder(destination);
    QStringList paths;
    const auto filters = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QString &name : folder.entryList({namePrefix + u'*'}, filters))
        paths.append(folder.filePath(name));
    return paths;
}

QStringList StagingFolder::topLevelNames() const
{
    if (m_path.isEmpty())
        return {};
    return QDir(m_path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QString StagingFolder::publishItem(const QString &name)
{
    const QString published = publish(m_path + u'/' + name, m_destination + u'/' + name);
    if (!published.isNull())
        discard();
    return published;
}

QString StagingFolder::publishAsFolder(const QString &folderName)
{
    // mkdtemp made it private; as a result it gets what any new folder gets.
    ::fchmod(m_fd.get(), 0777 & ~ProcessUmask::value());
    const QString published = publish(m_path, m_destination + u'/' + folderName);
    if (!published.isNull()) {
        m_path.clear();
        m_fd.reset();
    }
    return published;
}

void StagingFolder::discard()
{
    m_fd.reset();
    if (!m_path.isEmpty())
        TreeRemover::remove(m_path);
    m_path.clear();
}
