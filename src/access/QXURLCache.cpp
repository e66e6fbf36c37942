#include "QXURLCache.h"

#include "platform/settings/SecurityBookmark.h"
#include "platform/settings/UserDefaults.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/files/PathComponents.h"

#include <QDir>
#include <QFileInfo>
#include <QVariantMap>
#include <memory>

namespace {

std::unique_ptr<QXURLCache> &sharedSlot()
{
    static std::unique_ptr<QXURLCache> instance;
    return instance;
}

bool isCleanAbsolutePath(const QString &path)
{
    return !path.isEmpty() && QDir::isAbsolutePath(path) && QDir::cleanPath(path) == path;
}

// Resolves symbolic links as far as the path exists; the part that does not
// exist yet is kept as written.
QString pathWithSymlinksResolved(const QString &path)
{
    const QString whole = QFileInfo(path).canonicalFilePath();
    if (!whole.isEmpty())
        return whole;
    QString head = QDir::cleanPath(path);
    QStringList missing;
    // Each step is strictly shorter, down to the root.
    while (QDir::isAbsolutePath(head) && head != u"/"_qs) {
        const QFileInfo info(head);
        missing.prepend(info.fileName());
        head = info.path();
        const QString existing = QFileInfo(head).canonicalFilePath();
        if (!existing.isEmpty())
            return QDir::cleanPath(existing + u'/' + missing.join(u'/'));
    }
    return QDir::cleanPath(path);
}

// A folder remembered under a path that runs through a link still covers
// the paths inside the folder the link leads to, since asked paths arrive
// with their links resolved.
bool folderCovers(const QString &folder, const QString &resolvedPath)
{
    return pathIsInsideFolder(resolvedPath, folder)
           || pathIsInsideFolder(resolvedPath, pathWithSymlinksResolved(folder));
}

} // namespace

QXURLCache &QXURLCache::sharedInstance()
{
    auto &instance = sharedSlot();
    if (!instance)
        instance.reset(new QXURLCache);
    return *instance;
}

void QXURLCache::resetSharedInstanceForTesting()
{
    sharedSlot().reset();
}

QXURLCache::QXURLCache()
{
    loadStoredBookmarks();
    addURLProvider(this);
}

QXURLCache::~QXURLCache() = default;

void QXURLCache::loadStoredBookmarks()
{
    const QVariantMap stored =
        UserDefaults::standardUserDefaults().dictionaryForKey(SettingsKeys::CachedURLs);
    for (auto it = stored.constBegin(); it != stored.constEnd(); ++it) {
        // A hand-edited or damaged store must not turn into a grant: relative
        // keys would be read against the working folder.
        if (!isCleanAbsolutePath(it.key()) || it.value().typeId() != QMetaType::QByteArray)
            continue;
        m_cachedBookmarks.insert(it.key(), it.value().toByteArray());
    }
}

void QXURLCache::storeBookmarks() const
{
    QVariantMap stored;
    for (auto it = m_cachedBookmarks.constBegin(); it != m_cachedBookmarks.constEnd(); ++it)
        stored.insert(it.key(), it.value());
    auto &defaults = UserDefaults::standardUserDefaults();
    defaults.setDictionary(stored, SettingsKeys::CachedURLs);
    defaults.synchronize();
}

void QXURLCache::addURLProvider(QXURLProvider *provider)
{
    if (provider)
        m_providers.append(provider);
}

void QXURLCache::removeURLProvider(QXURLProvider *provider)
{
    m_providers.removeAll(provider);
}

void QXURLCache::saveSecurityURL(const QUrl &url)
{
    if (!url.isLocalFile() || !QDir::isAbsolutePath(url.toLocalFile()))
        return;
    const QString folder = QDir::cleanPath(url.toLocalFile());
    // A stale or unreadable bookmark is replaced, or the folder could never
    // be granted again short of granting a folder around it.
    if (m_cachedBookmarks.contains(folder) && hasUsableBookmark(folder))
        return;
    const QByteArray bookmark = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(folder));
    if (bookmark.isEmpty())
        return;
    forgetFoldersInside(folder);
    m_cachedBookmarks.insert(folder, bookmark);
    const QUrl resolved = SecurityBookmark::URLByResolvingBookmarkData(bookmark);
    if (!resolved.isEmpty())
        m_cachedURLs.insert(folder, resolved);
    storeBookmarks();
}

void QXURLCache::forgetFoldersInside(const QString &folder)
{
    const QStringList stored = m_cachedBookmarks.keys();
    for (const QString &path : stored) {
        if (pathIsInsideFolder(path, folder)) {
            m_cachedBookmarks.remove(path);
            m_cachedURLs.remove(path);
        }
    }
}

bool QXURLCache::hasUsableBookmark(const QString &folder) const
{
    bool isStale = false;
    const QUrl url =
        SecurityBookmark::URLByResolvingBookmarkData(m_cachedBookmarks.value(folder), &isStale);
    return !url.isEmpty() && !isStale;
}

QUrl QXURLCache::urlWithAllowAccessToURL(const QUrl &url)
{
    return url.isLocalFile() ? urlWithAllowAccessToPath(url.toLocalFile()) : QUrl();
}

QUrl QXURLCache::urlWithAllowAccessToPath(const QString &path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return QUrl();
    const QString asked = pathWithSymlinksResolved(path);
    // A copy: a provider may add or remove providers while it is asked.
    const QList<QXURLProvider *> providers = m_providers;
    for (QXURLProvider *provider : providers) {
        const QStringList folders = provider->availablePaths();
        for (const QString &folder : folders) {
            if (!folderCovers(folder, asked))
                continue;
            const QUrl url = provider->securityScopedURLForPath(folder);
            if (!url.isEmpty())
                return url;
        }
    }
    return QUrl();
}

QStringList QXURLCache::availablePaths() const
{
    return m_cachedBookmarks.keys();
}

QUrl QXURLCache::securityScopedURLForPath(const QString &path)
{
    const auto cached = m_cachedURLs.constFind(path);
    if (cached != m_cachedURLs.constEnd())
        return *cached;
    const auto bookmark = m_cachedBookmarks.constFind(path);
    if (bookmark == m_cachedBookmarks.constEnd())
        return QUrl();
    bool isStale = false;
    const QUrl url = SecurityBookmark::URLByResolvingBookmarkData(*bookmark, &isStale);
    if (url.isEmpty() || isStale)
        return QUrl();
    m_cachedURLs.insert(path, url);
    return url;
}
