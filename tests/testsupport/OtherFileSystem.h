#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

// A scratch folder on another file system than the one holding `near`, for
// what only happens across file systems. As root, a small tmpfs mounted in a
// mount namespace private to this thread (it goes with the process, and its
// size limit turns a runaway write into a quick failure); otherwise /dev/shm
// when it is a file system of its own. Invalid when neither can be had.
class OtherFileSystem {
public:
    explicit OtherFileSystem(const QString &near, qint64 sizeLimit = qint64(256) << 20);
    ~OtherFileSystem();
    OtherFileSystem(const OtherFileSystem &) = delete;
    OtherFileSystem &operator=(const OtherFileSystem &) = delete;

    bool isValid() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    QString filePath(const QString &name) const { return m_path + u'/' + name; }
    // Why no folder could be had, for QSKIP.
    QString whyNot() const { return m_whyNot; }

private:
    bool mountPrivateTmpfs(qint64 sizeLimit);
    bool useSharedMemory(const QString &near);

    std::unique_ptr<QTemporaryDir> m_mountPoint;
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_path;
    QString m_whyNot;
};
