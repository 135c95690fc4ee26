// Hostile names and faults through the contents model and the build: the
// pack holds exactly what was chosen, or the user is told why not.
#include "pack/build/clsZip.h"
#include "pack/build/makePack.h"
#include "pack/contents/PackContents.h"
#include "platform/WorkFolder.h"
#include "platform/ZipLibrary.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

class View final : public BuildView
{
public:
    void ShowProgress(qint16, const QString& caption) override
    {
        if (onCaption)
            onCaption(caption);
    }
    void DoEvents() override {}
    bool CancelRequested() const override { return false; }
    std::function<void(const QString&)> onCaption;
};

} // namespace

class tst_HostileBuild : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString at(const QString& rel) const { return m_dir.filePath(rel); }

    bool build(PackContents& c, const QString& target, QString* why = nullptr,
               std::function<void(const QString&)> onCaption = {})
    {
        for (int i : c.liveNodes())
            c.SetChecked(PackList::Reg1, i, true); // every file named by the manifest
        View view;
        view.onCaption = std::move(onCaption);
        clsZip zip;
        PackBuild pb(zip, view);
        PackRequest r{u"Tool"_s, {}, {}, u"1.0"_s, target, &c};
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

    // Names x where they appear: refused with a message, or packed under the exact name.
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder"); // false: a loose file; true: inside an added folder
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QStringList>("entries");
        const QStringList onlyTop{u"top/main.js"_s};
        QTest::newRow("spaces, loose") << u" lib "_s << false << true << QStringList();
        QTest::newRow("star, loose") << u"*"_s << false << true << QStringList();
        QTest::newRow("backslash, loose") << u"x\\y.js"_s << false << true << QStringList();
        QTest::newRow("backslash, in folder") << u"..\\..\\evil.js"_s << true << true << onlyTop;
        QTest::newRow("device, in folder") << u"con.txt"_s << true << true << onlyTop;
        QTest::newRow("trailing dot, in folder") << u"trail."_s << true << true << onlyTop;
        QTest::newRow("not UTF-8, in folder") << u"bad"_s << true << true << onlyTop;
        QTest::newRow("accents, loose")
            << u"\u00fcn\u00ef.js"_s << false << false << QStringList{u"\u00fcn\u00ef.js"_s};
        QTest::newRow("pattern-like, in folder")
            << u"a[1]*.js"_s.remove(u'*') << true << false << QStringList{u"top/a[1].js"_s, u"top/main.js"_s};
    }

    void names()
    {
        QFETCH(QString, name);
        QFETCH(bool, folder);
        QFETCH(bool, refused);
        QFETCH(QStringList, entries);
        PackContents c;
        QStringList told;
        PackAddHooks hooks;
        hooks.refuse = [&told](const QString& m) { told << m; };
        writeFile(at(u"w\\e*/top/main.js"_s));
        if (name == u"bad"_s) // a name Qt cannot even list
            std::ofstream(QFile::encodeName(at(u"w\\e*/top/bad"_s)).append("\xff.js").toStdString()) << "x";
        else
            writeFile(at(folder ? u"w\\e*/top/"_s + name : u"w\\e*/"_s + name));
        if (folder)
            QCOMPARE(c.AddFolderToTree(at(u"w\\e*/top"_s), -1, hooks), PackContents::FolderResult::Added);
        else
            c.AddFileToTree(at(u"w\\e*/"_s + name), -1, hooks);
        QCOMPARE(told.size(), refused ? 1 : 0);
        if (folder)
            QCOMPARE(c.SkippedNames().size(), refused ? 1 : 0);
        if (c.isEmpty())
            return;
        QVERIFY(build(c, at(u"p.plsc"_s)));
        QStringList held;
        QVERIFY(ZpListEntries(at(u"p.plsc"_s), held));
        held.removeOne(u"ScriptInfo.xml"_s);
        held.sort();
        QCOMPARE(held, entries);
    }

    // Names Windows would hold as one, and a root folder named like the manifest.
    void clashes_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second"); // a path ending in '/' is a folder
        QTest::newRow("folder, folder") << u"a/util/"_s << u"b/UTIL/"_s;
        QTest::newRow("file, folder") << u"util"_s << u"d/Util/"_s;
        QTest::newRow("folder, file") << u"d/util/"_s << u"UTIL"_s;
        QTest::newRow("manifest folder") << QString() << u"ScriptInfo.XML/"_s;
    }

    void clashes()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        PackContents c;
        int told = 0;
        PackAddHooks hooks;
        hooks.refuse = [&told](const QString&) { ++told; };
        for (const QString& rel : {first, second}) {
            if (rel.isEmpty())
                continue;
            const QString path = at(u"w\\e*/"_s + rel);
            writeFile(rel.endsWith(u'/') ? path + u"x.js"_s : path);
            if (rel.endsWith(u'/'))
                c.AddFolderToTree(path, -1, hooks);
            else
                c.AddFileToTree(path, -1, hooks);
        }
        QCOMPARE(told, 1);
        QCOMPARE(int(c.topLevel().size()), first.isEmpty() ? 0 : 1);
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
        if (ok) {
            QVERIFY(ZpListEntries(at(u"p.plsc"_s), held));
            QCOMPARE(held, (QStringList{u"ScriptInfo.xml"_s, u"top/a.js"_s, u"top/b.js"_s}));
        }
        QVERIFY(!QFile::exists(at(u"p.plsc"_s)) || ok);
    }

    // The target: kept permissions, a read-only pack left alone, long names,
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

        const QString ro = at(u"ro.plsc"_s);
        writeFile(ro, "old");
        QFile::setPermissions(ro, QFile::ReadOwner | QFile::ReadUser);
        QString why;
        QVERIFY(!build(c, ro, &why));
        QVERIFY(why.contains(u"read-only"_s));
        QCOMPARE(readAll(ro), QByteArray("old"));

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
