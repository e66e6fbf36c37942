#include "platform/files/OriginMetadata.h"

#include <QFile>
#include <sys/xattr.h>

OriginMetadata OriginMetadata::ofFile(const QString &path)
{
    OriginMetadata metadata;
    const QByteArray native = QFile::encodeName(path);
    for (const char *name : {"user.xdg.origin.url", "user.xdg.referrer.url"}) {
        QByteArray value(4096, Qt::Uninitialized);
        const ssize_t size = ::getxattr(native.constData(), name, value.data(), size_t(value.size()));
        if (size > 0) {
            value.truncate(size);
            metadata.m_attributes.append({QByteArray(name), value});
        }
    }
    return metadata;
}

void OriginMetadata::applyTo(int fd) const
{
    for (const auto &[name, value] : m_attributes)
        ::fsetxattr(fd, name.constData(), value.constData(), size_t(value.size()), 0);
}
