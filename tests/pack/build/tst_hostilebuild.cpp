// Hostile names and faults through the contents model and the build: the
// pack holds exactly what was chosen, or the user is told why not.
#include "pack/build/clsZip.h"
#include "pack/build/makePack.h"
#include "pack/contents/PackContents.h"
#include "platform/WorkFolder.h"
#include "platform/ZipLibrary.h"
#include "support/FakeBuildView.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>

using namespace Qt::StringLiterals;

class tst_HostileBuild : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString at(const QString& rel) const { return m_dir.filePath(rel); }

    bool build(
        PackContents& c, const QString& target, QString* why = nullptr,
        std::function<void(const QString&)> onCaption = [](const QString&) {})
    {
        for (int i : c.liveNodes())
            c.SetChecked(PackList::Reg1, i, true); // every file named by the manifest
        FakeBuildView view;
        view.onCaption = std::move(onCaption);
        clsZip zip;
        PackBuild pb(zip, view);
        PackRequest r{u"Tool"_s, {}, {}, u"1.0"_s, target, &c, {}, {}};
        const bool ok = pb.makePack(r);
        if (why)
            *why = pb.LastError();
        return ok;
    }

private slots:
    void init()
    {
        std::filesystem::remove_all(
            QFile::encodeName(at(u"w\\e*"_s)).toStdString()); // Qt skips non-UTF-8 names
        QFile::remove(at(u"p.plsc"_s));
        // Every path runs through a folder whose name a pattern or a '\\'
        // would misread; beside every chosen thing, what a misread name would pull in.
        writeFile(at(u"w\\e*/lib/private.key"_s));
        writeFile(at(u"w\\e*/x/y.js"_s));
        writeFile(at(u"w\\e*/decoy.key"_s));
    }

    // Names x where they appear, and names Windows would hold as one: refused
    // with one message, or packed under the exact name. A path ending in '/'
    // is a folder; "top/bad" stands for a name that is not UTF-8.
    void names_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("adds");
        QTest::addColumn<int>("refused"); // adds refused, each with its message
        QTest::addColumn<int>("skipped"); // names left out of the walk, all in one message
        QTest::addColumn<QStringList>("entries");
        for (const QString& loose : {u" lib "_s, u"*"_s, u"x\\y.js"_s})
            QTest::newRow(qPrintable(loose))
                << QStringList{loose} << QStringList{loose} << 1 << 0 << QStringList();
        QTest::newRow("accents") << QStringList{u"ünï.js"_s} << QStringList{u"ünï.js"_s} << 0 << 0
                                 << QStringList{u"ünï.js"_s};
        QTest::newRow("in a folder") << QStringList{u"top/main.js"_s,   u"top/..\\..\\evil.js"_s,
                                                    u"top/con.txt"_s,   u"top/trail."_s,
                                                    u"top/sub./f.js"_s, u"top/a[1].js"_s,
                                                    u"top/bad"_s}
                                     << QStringList{u"top/"_s} << 0 << 5
                                     << QStringList{u"top/a[1].js"_s, u"top/main.js"_s};
        const QStringList oneUtil{u"a/util/x.js"_s, u"b/UTIL/x.js"_s, u"util"_s};
        QTest::newRow("folder, folder")
            << oneUtil << QStringList{u"a/util/"_s, u"b/UTIL/"_s} << 1 << 0 << QStringList{u"util/x.js"_s};
        QTest::newRow("file, folder")
            << oneUtil << QStringList{u"util"_s, u"b/UTIL/"_s} << 1 << 0 << QStringList{u"util"_s};
        QTest::newRow("folder, file")
            << oneUtil << QStringList{u"a/util/"_s, u"util"_s} << 1 << 0 << QStringList{u"util/x.js"_s};
        QTest::newRow("manifest folder") << QStringList{u"ScriptInfo.XML/x.js"_s}
                                         << QStringList{u"ScriptInfo.XML/"_s} << 1 << 0 << QStringList();
    }

    void names()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, adds);
        QFETCH(int, refused);
        QFETCH(int, skipped);
        QFETCH(QStringList, entries);
        for (const QString& f : files) {
            if (f == u"top/bad"_s) // a name Qt cannot even list
                std::ofstream(QFile::encodeName(at(u"w\\e*/top/bad"_s)).append("\xff.js").toStdString())
                    << "x";
            else
                writeFile(at(u"w\\e*/"_s + f));
        }
        PackContents c;
        int told = 0;
        PackAddHooks hooks;
        hooks.refuse = [&told](const QString&) { ++told; };
        for (const QString& add : adds) {
            if (add.endsWith(u'/'))
                c.AddFolderToTree(at(u"w\\e*/"_s + add), -1, hooks);
            else
                c.AddFileToTree(at(u"w\\e*/"_s + add), -1, hooks);
        }
        QCOMPARE(told, refused + (skipped ? 1 : 0));
        QCOMPARE(int(c.topLevel().size()), adds.size() - refused);
        QCOMPARE(int(c.SkippedNames().size()), skipped);
        if (c.isEmpty())
            return;
        QVERIFY(build(c, at(u"p.plsc"_s)));
        QStringList held;
        QVERIFY(ZpListEntries(at(u"p.plsc"_s), held));
        held.removeOne(u"ScriptInfo.xml"_s);
        held.sort();
        QCOMPARE(held, entries);
    }

    // Whatever reaches the archiver, it writes no name a Windows tool reads otherwise.
    void archiverRefusesNames()
    {
        writeFile(at(u"w\\e*/top/..\\..\\evil.js"_s));
        clsZip zip;
        zip.setZipFile(at(u"p.plsc"_s));
        zip.setBasePath(at(u"w\\e*"_s));
        zip.setLiteralSpecs(true);
        zip.setStoreFolderNames(true);
        zip.setRecurseSubDirs(true);
        zip.AddFileSpec(at(u"w\\e*/top"_s));
        zip.Zip();
        QCOMPARE(zip.LastResult(), qint32(ZpErrParams));
    }

    // What happens between the add and the build: a failure that names the
    // file, or exactly the files chosen; never a pack that lacks or adds one.
    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("why"); // empty: the build succeeds with top/a.js and top/b.js
        QTest::newRow("file deleted") << u"delete"_s << u"'top/a.js'"_s;
        QTest::newRow("file replaced by a folder") << u"folder"_s << u"'top/a.js'"_s;
        QTest::newRow("file created after the add") << u"create"_s << QString();
        QTest::newRow("file changes size while read") << u"shrink"_s << u"'top/b.js': it changed"_s;
    }

    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(QString, why);
        writeFile(at(u"w\\e*/top/a.js"_s));
        writeFile(at(u"w\\e*/top/b.js"_s), QByteArray(5 << 20, 'A')); // read as it is written
        PackContents c;
        c.AddFolderToTree(at(u"w\\e*/top"_s), -1);
        if (fault != u"shrink"_s)
            QFile::remove(at(u"w\\e*/top/a.js"_s));
        if (fault == u"folder"_s)
            writeFile(at(u"w\\e*/top/a.js/inner.js"_s));
        if (fault == u"create"_s) {
            writeFile(at(u"w\\e*/top/a.js"_s));
            writeFile(at(u"w\\e*/top/late.key"_s));
        }
        QString reason;
        const bool ok = build(c, at(u"p.plsc"_s), &reason, [&](const QString& caption) {
            if (fault == u"shrink"_s && caption.endsWith(u"b.js"_s))
                writeFile(at(u"w\\e*/top/b.js"_s), QByteArray(1 << 20, 'B'));
        });
        QCOMPARE(ok, why.isEmpty());
        QVERIFY2(why.isEmpty() || reason.contains(why), qPrintable(reason));
        QStringList held;
        ZpListEntries(at(u"p.plsc"_s), held);
        const QStringList chosen{u"ScriptInfo.xml"_s, u"top/a.js"_s, u"top/b.js"_s};
        QCOMPARE(held, ok ? chosen : QStringList());
    }

    // Names are compared by hash first. Even when every hash collides the pack
    // holds exactly the chosen names, and a file the manifest names but the
    // pack left out (the old pack, ticked) still stops the build.
    void collidingHashes_data()
    {
        QTest::addColumn<quint64>("mask");
        QTest::newRow("hashes") << ~quint64(0);
        QTest::newRow("every hash alike") << quint64(0);
    }

    void collidingHashes()
    {
        QFETCH(quint64, mask);
        PackBuild::NameHashMask = mask;
        for (const QString& f : {u"top/a.js"_s, u"top/A/b.js"_s, u"top/p.plsc"_s})
            writeFile(at(u"w\\e*/"_s + f));
        PackContents c;
        c.AddFolderToTree(at(u"w\\e*/top"_s), -1);
        QString why;
        QVERIFY(!build(c, at(u"w\\e*/top/p.plsc"_s), &why));
        QCOMPARE(why, u"The manifest names 'top\\p.plsc', which the Script Pack does not hold."_s);
        c.RemoveNode(c.findKey(u"sub-"_s + at(u"w\\e*/top/p.plsc"_s)));
        QVERIFY2(build(c, at(u"w\\e*/top/p.plsc"_s), &why), qPrintable(why));
        PackBuild::NameHashMask = ~quint64(0);
        QStringList held;
        QVERIFY(ZpListEntries(at(u"w\\e*/top/p.plsc"_s), held));
        QCOMPARE(held, (QStringList{u"ScriptInfo.xml"_s, u"top/a.js"_s, u"top/A/"_s, u"top/A/b.js"_s}));
    }

    // The target: kept permissions, long names,
    // and the leftovers of a killed build removed but not a running one's.
    void target()
    {
        writeFile(at(u"w\\e*/a.js"_s));
        PackContents c;
        c.AddFileToTree(at(u"w\\e*/a.js"_s), -1);

        const QString priv = at(u"private.plsc"_s);
        writeFile(priv, "old");
        QFile::setPermissions(priv, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(build(c, priv));
        QCOMPARE(QFile::permissions(priv),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

        QVERIFY(build(c, at(QString(250, u'p') + u".plsc"_s)));

        QDir().mkpath(at(u"out"_s));
        const WorkFolder running(at(u"out"_s));
        QVERIFY(running.isValid());
        const QString stale = at(u"out/.bundlesmith-stale"_s);
        writeFile(stale + u"/building"_s);
        writeFile(stale + u"/pack.plsc.x1Y2z3"_s);
        QVERIFY(build(c, at(u"out/p.plsc"_s)));
        QVERIFY(!QFile::exists(stale));
        QVERIFY(QFile::exists(running.path() + u"/building"_s));
    }
};

QTEST_GUILESS_MAIN(tst_HostileBuild)
#include "tst_hostilebuild.moc"
