#pragma once

#include "access/QXURLProvider.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

// Remembers the folders the user granted, across launches, and answers
// whether one of them covers a path. It never asks the user and never starts
// access itself. The grants are kept in the settings store under
// "cached URLs Key" as folder path -> bookmark bytes, read once when the
// shared instance is made and written whole after each new grant.
//
// Main thread only.
class QXURLCache : public QXURLProvider {
public:
    static QXURLCache &sharedInstance();
    // Drops the shared instance; the next sharedInstance() reads the store again.
    static void resetSharedInstanceForTesting();

    ~QXURLCache() override;
    QXURLCache(const QXURLCache &) = delete;
    QXURLCache &operator=(const QXURLCache &) = delete;

    // Providers are asked in the order they were added; they are not owned
    // and must be removed before they are destroyed. The cache itself is first.
    void addURLProvider(QXURLProvider *provider);
    void removeURLProvider(QXURLProvider *provider);

    // Remembers a folder the user granted. A folder already remembered keeps
    // its bookmark unless that bookmark no longer leads to it. Grants of
    // folders inside the new one are dropped: the new grant covers them.
    void saveSecurityURL(const QUrl &url);

    // The access URL of a granted folder that holds the path (after symbolic
    // links in the path are resolved), or an empty URL when none does.
    QUrl urlWithAllowAccessToURL(const QUrl &url);
    QUrl urlWithAllowAccessToPath(const QString &path);

    QStringList availablePaths() const override;
    QUrl securityScopedURLForPath(const QString &path) override;

    const QList<QXURLProvider *> &providers() const { return m_providers; }
    const QMap<QString, QUrl> &cachedURLs() const { return m_cachedURLs; }
    const QMap<QString, QByteArray> &cachedBookmarks() const { return m_cachedBookmarks; }

private:
    QXURLCache();
    void loadStoredBookmarks();
    void storeBookmarks() const;
    void forgetFoldersInside(const QString &folder);
    bool hasUsableBookmark(const QString &folder) const;

    QList<QXURLProvider *> m_providers;
    QMap<QString, QUrl> m_cachedURLs;
    QMap<QString, QByteArray> m_cachedBookmarks;
};
