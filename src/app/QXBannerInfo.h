#pragma once

#include <QString>

// One entry of the promotion banner: the name of its image among the
// application's images (the highlighted one adds "_h") and the page a click opens.
class QXBannerInfo {
public:
    QXBannerInfo() = default;
    QXBannerInfo(const QString &imageName, const QString &url);

    QString imageName() const { return m_imageName; }
    void setImageName(const QString &imageName) { m_imageName = imageName; }
    QString url() const { return m_url; }
    void setUrl(const QString &url) { m_url = url; }

    QString highlightedImageName() const;

    // The two companion products, in the banner's order. The menu entries
    // that open their pages use the same addresses.
    static QXBannerInfo vantor();
    static QXBannerInfo miravel();

private:
    QString m_imageName;
    QString m_url;
};
