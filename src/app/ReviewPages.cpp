#include "ReviewPages.h"

#include "app/QXBannerInfo.h"
#include "app/QXReviewPrompt.h"
#include "support/Localized.h"

#include <QDesktopServices>
#include <QUrl>

ReviewPages::ReviewPages(QWidget *window)
{
    m_review.setAsk([window] { return QXReviewPrompt::ask(window); });
}

QUrl ReviewPages::supportPageUrl()
{
    return QUrl(u"https://quillbox.app/support"_qs);
}

void ReviewPages::openPage(const QUrl &url)
{
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

void ReviewPages::openSupportPage()
{
    openPage(supportPageUrl());
}

void ReviewPages::openVantorPage()
{
    openPage(QUrl(QXBannerInfo::vantor().url()));
}

void ReviewPages::openMiravelPage()
{
    openPage(QUrl(QXBannerInfo::miravel().url()));
}

void ReviewPages::openPhoneAppPage()
{
    //% "https://quillbox.app/apps"
    const QUrl address(localizedString("ad.url"), QUrl::StrictMode);
    // The address comes from a translation file: only a web page may open.
    if (address.isValid() && (address.scheme() == u"https"_qs || address.scheme() == u"http"_qs))
        openPage(address);
}
