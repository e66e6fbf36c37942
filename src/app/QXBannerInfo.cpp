#include "QXBannerInfo.h"

QXBannerInfo::QXBannerInfo(const QString &imageName, const QString &url)
    : m_imageName(imageName)
    , m_url(url)
{
}

QString QXBannerInfo::highlightedImageName() const
{
    return u"%1_h"_qs.arg(m_imageName);
}

QXBannerInfo QXBannerInfo::vantor()
{
    return QXBannerInfo(u"quillbox"_qs, u"https://quillbox.app/vantor"_qs);
}

QXBannerInfo QXBannerInfo::miravel()
{
    return QXBannerInfo(u"miravel"_qs, u"https://quillbox.app/miravel"_qs);
}
