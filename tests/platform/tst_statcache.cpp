#include "platform/StatCache.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_StatCache : public QObject
{
    Q_OBJECT

private slots:
    // Where the caches go for each XDG_CACHE_HOME: a relative one is ignored,
    // or a build packing the current folder would pack its own cache.
    void folder_data()
    {
        QTest::addColumn<QByteArray>("xdg");
        QTest::addColumn<QString>("expected");
        const QString home = QDir::homePath();
        QTest::newRow("absolute") << QByteArray("/tmp/xdg-cache") << u"/tmp/xdg-cache/bundlesmith/packs"_s;
        QTest::newRow("relative: ignored") << QByteArray("cache") << home + u"/.cache/bundlesmith/packs"_s;
        QTest::newRow("unset") << QByteArray() << home + u"/.cache/bundlesmith/packs"_s;
    }
    void folder()
    {
        QFETCH(QByteArray, xdg);
        QFETCH(QString, expected);
        if (xdg.isNull())
            qunsetenv("XDG_CACHE_HOME");
        else
            qputenv("XDG_CACHE_HOME", xdg);
        QCOMPARE(StatCache::folder(), expected);
    }
};

QTEST_GUILESS_MAIN(tst_StatCache)
#include "tst_statcache.moc"
