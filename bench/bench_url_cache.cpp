// Measures the folder cache: how long a new grant takes (bookmark, store
// written and synchronised) and how long a look-up takes with 1 to 200
// grants remembered, both for a path a grant covers and for one it does not.
// Runs against a throw-away settings file.
#include "access/QXURLCache.h"
#include "platform/settings/UserDefaults.h"
#include "platform/settings/SettingsKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

double microseconds(const QElapsedTimer &timer, int count)
{
    return double(timer.nsecsElapsed()) / 1000.0 / count;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir root;
    const QString base = QFileInfo(root.path()).canonicalFilePath();
    UserDefaults::useStoreAtPath(base + u"/bench.conf"_qs);

    for (const int grants : {1, 20, 200}) {
        QXURLCache::resetSharedInstanceForTesting();
        UserDefaults::standardUserDefaults().removeObjectForKey(SettingsKeys::CachedURLs);
        auto &cache = QXURLCache::sharedInstance();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < grants; ++i) {
            const QString folder = base + u"/g%1/d"_qs.arg(i);
            QDir().mkpath(folder);
            cache.saveSecurityURL(QUrl::fromLocalFile(folder));
        }
        const double perSave = microseconds(timer, grants);

        // A new process: nothing resolved yet.
        QXURLCache::resetSharedInstanceForTesting();
        auto &fresh = QXURLCache::sharedInstance();
        const QString inside = base + u"/g%1/d/sub/deeper"_qs.arg(grants - 1);
        const QString outside = base + u"/elsewhere/x"_qs;
        constexpr int lookups = 2000;
        timer.restart();
        for (int i = 0; i < lookups; ++i)
            fresh.urlWithAllowAccessToPath(inside);
        const double perHit = microseconds(timer, lookups);
        timer.restart();
        for (int i = 0; i < lookups; ++i)
            fresh.urlWithAllowAccessToPath(outside);
        const double perMiss = microseconds(timer, lookups);
        out << grants << " grants: save " << perSave << " us, look-up covered " << perHit
            << " us, not covered " << perMiss << " us\n";
    }
    return 0;
}
