#include "zip/StatCache.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_StatCache : public QObject
{
    Q_OBJECT

private slots:
    // Where the caches go for each XDG_CACHE_HOME and HOME: a relative one is
    // ignored, or a build packing the current folder would pack its own cache;
    // with no absolute place at all there is no cache.
    void folder_data()
    {
        QTest::addColumn<QByteArray>("xdg");
        QTest::addColumn<QByteArray>("home");
        QTest::addColumn<QString>("expected");
        const QByteArray home = qgetenv("HOME");
        const QString packs = QString::fromLocal8Bit(home) + u"/.cache/bundlesmith/packs"_s;
        QTest::newRow("absolute") << QByteArray("/tmp/xdg-cache") << home
                                  << u"/tmp/xdg-cache/bundlesmith/packs"_s;
        QTest::newRow("relative: ignored") << QByteArray("cache") << home << packs;
        QTest::newRow("unset") << QByteArray() << home << packs;
        QTest::newRow("relative, and HOME too: none")
            << QByteArray("cache") << QByteArray("here") << QString();
    }
    void folder()
    {
        QFETCH(QByteArray, xdg);
        QFETCH(QByteArray, home);
        QFETCH(QString, expected);
        const QByteArray realHome = qgetenv("HOME");
        qputenv("HOME", home);
        if (xdg.isNull())
            qunsetenv("XDG_CACHE_HOME");
        else
            qputenv("XDG_CACHE_HOME", xdg);
        const QString folder = StatCache::folder();
        qputenv("HOME", realHome);
        QCOMPARE(folder, expected);
    }
};

QTEST_GUILESS_MAIN(tst_StatCache)
#include "tst_statcache.moc"
