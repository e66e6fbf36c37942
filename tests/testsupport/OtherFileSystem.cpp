#include "OtherFileSystem.h"

#include <QFile>
#include <QFileInfo>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {

dev_t deviceOf(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(-1);
}

// Once per thread; mounts made afterwards never reach the rest of the system.
bool enterPrivateMountNamespace()
{
    static thread_local const bool entered =
        ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return entered;
}

} // namespace

OtherFileSystem::OtherFileSystem(const QString &near, qint64 sizeLimit)
{
    if (mountPrivateTmpfs(sizeLimit) || useSharedMemory(near))
        return;
    m_whyNot = u"no second file system: not allowed to mount a tmpfs, and /dev/shm is not one of its own"_qs;
}

OtherFileSystem::~OtherFileSystem()
{
    m_folder.reset();
    if (m_mountPoint)
        ::umount2(QFile::encodeName(m_mountPoint->path()).constData(), MNT_DETACH);
}

bool OtherFileSystem::mountPrivateTmpfs(qint64 sizeLimit)
{
    auto mountPoint = std::make_unique<QTemporaryDir>();
    if (!mountPoint->isValid() || !enterPrivateMountNamespace())
        return false;
    const QByteArray options = "size=" + QByteArray::number(sizeLimit) + ",mode=0700";
    if (::mount("tmpfs", QFile::encodeName(mountPoint->path()).constData(), "tmpfs", 0, options.constData()) != 0)
        return false;
    m_mountPoint = std::move(mountPoint);
    m_path = m_mountPoint->path();
    return true;
}

bool OtherFileSystem::useSharedMemory(const QString &near)
{
    const QString base = u"/dev/shm"_qs;
    if (!QFileInfo(base).isWritable() || deviceOf(base) == deviceOf(near))
        return false;
    m_folder = std::make_unique<QTemporaryDir>(base + u"/quillbox-test-XXXXXX"_qs);
    if (!m_folder->isValid())
        return false;
    m_path = m_folder->path();
    return true;
}
