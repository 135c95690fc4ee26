// The contents model on its own: what each addition does to the trees, the messages
// and the counter; consistency under change.
#include "pack/contents/PackContents.h"
#include "pack/contents/PackTreeModel.h"
#include "support/TestFiles.h"
#include "support/TreeDump.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

class tst_PackCore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString path(const QString& rel) const { return m_tmp.filePath(rel); }

private slots:
    void initTestCase()
    {
        for (const char* rel :
             {"a/x.js", "b/X.JS", "b/SCRIPTINFO.XML", "b/ok.js", "lib/inner.js", "other/lib", "pack/f1.js",
              "pack/f2.js", "pack/.hidden", "pack/ScriptInfo.xml", "pack/s/f3.js", "d/f1.js", "d/f2.js",
              "top/mid/low/f.js", "top/g.js", "top/middle/h.js", "loop/a.js"})
            writeFile(path(QString::fromLatin1(rel)));
        for (const QString& name : {u"t"_s, u"\u017f"_s, u"u"_s, u"B.js"_s, u"a.js"_s})
            writeFile(path(u"order/"_s + name));
        QVERIFY(QFile::link(path(u"loop"_s), path(u"loop/back"_s)));
        QVERIFY(QFile::link(path(u"loop/a.js"_s), path(u"loop/alias.js"_s)));
        QVERIFY(QFile::link(path(u"loop/nowhere"_s), path(u"loop/dangling"_s)));
        QVERIFY(::mkfifo(QFile::encodeName(path(u"loop/pipe"_s)).constData(), 0600) == 0);
    }

    // Additions in order ("f:" a file, "d:" a folder, paths under the test folder) and what
    // the COM list then shows, the messages given ("%T" is the test folder) and the counter.
    void additions_data()
    {
        QTest::addColumn<QStringList>("adds");
        QTest::addColumn<QStringList>("reg1");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("count");
        const QString exists = u"\r\n\r\nalready exists in the file list."_s;
        QTest::newRow("refusals keep the rest, in order")
            << QStringList{u"f:b/SCRIPTINFO.XML"_s, u"f:a/x.js"_s, u"f:b/X.JS"_s, u"f:a/x.js"_s,
                           u"f:b/ok.js"_s}
            << QStringList{u"x.js [1]"_s, u"ok.js [1]"_s}
            << QStringList{u"Can't add a file named ScriptInfo.xml."_s,
                           u"A file called 'X.JS' already exists in the file list."_s,
                           u"%T/a/x.js"_s + exists}
            << 2;
        QTest::newRow("a file named like a folder in the tree")
            << QStringList{u"d:lib"_s, u"f:other/lib"_s} << QStringList{u"lib [0]"_s, u"  inner.js [1]"_s}
            << QStringList{u"A file called 'lib' already exists in the file list."_s} << 1;
        QTest::newRow("folder walk: files first, boxes on files only")
            << QStringList{u"d:pack/"_s}
            << QStringList{u"pack [0]"_s,     u"  .hidden [1]"_s,        u"  f1.js [1]"_s,
                           u"  f2.js [1]"_s,  u"  ScriptInfo.xml [1]"_s, u"  s [0]"_s,
                           u"    f3.js [1]"_s}
            << QStringList() << 5;
        QTest::newRow("a folder holding an added file comes without it")
            << QStringList{u"f:d/f1.js"_s, u"d:d"_s}
            << QStringList{u"f1.js [1]"_s, u"d [0]"_s, u"  f2.js [1]"_s}
            << QStringList{u"%T/d/f1.js"_s + exists} << 2;
        QTest::newRow("overlapping folders refused, a sibling of like name is not inside")
            << QStringList{u"d:top/mid"_s, u"d:top/mid"_s, u"d:top/mid/low"_s, u"d:top"_s, u"d:top/middle"_s}
            << QStringList{u"mid [0]"_s, u"  low [0]"_s, u"    f.js [1]"_s, u"middle [0]"_s, u"  h.js [1]"_s}
            << QStringList{PackContents::FolderMessage(u"%T/top/mid"_s),
                           PackContents::FolderMessage(u"%T/top/mid/low"_s),
                           PackContents::FolderMessage(u"%T/top"_s)}
            << 2;
        QTest::newRow("listed as the desktop lists a folder, letter case aside")
            << QStringList{u"d:order"_s} << QStringList{u"order [0]"_s, u"  a.js [1]"_s, u"  B.js [1]"_s,
                                                        u"  t [1]"_s,   u"  u [1]"_s,    u"  \u017f [1]"_s}
            << QStringList() << 5;
        QTest::newRow("a folder gone adds nothing")
            << QStringList{u"d:gone"_s} << QStringList() << QStringList() << 0;
        QTest::newRow("links to folders are not followed, and said; nor links to nothing; pipes are no files")
            << QStringList{u"d:loop"_s} << QStringList{u"loop [0]"_s, u"  a.js [1]"_s, u"  alias.js [1]"_s}
            << QStringList{u"These files and folders were left out of the Script Pack:\r\n\r\n"
                           u"loop/back: it is a link to a folder, which is not followed"_s}
            << 2;
    }

    void additions()
    {
        QFETCH(QStringList, adds);
        QFETCH(QStringList, reg1);
        QFETCH(QStringList, messages);
        QFETCH(int, count);
        PackContents c;
        PackTreeModel files(c, PackList::Files), com(c, PackList::Reg1), net(c, PackList::Reg2);
        QStringList said;
        PackContents::AddHooks hooks;
        hooks.refuse = [&](const QString& m) { said << QString(m).replace(m_tmp.path(), u"%T"_s); };
        for (const QString& add : adds) {
            if (add.startsWith(u"f:"_s))
                c.AddFileToTree(path(add.mid(2)), -1, hooks);
            else
                c.AddFolderToTree(path(add.mid(2)), -1, hooks);
        }
        QCOMPARE(dumpTree(&com, true), reg1);
        QCOMPARE(dumpTree(&net, true), reg1);
        QCOMPARE(dumpTree(&files, true), reg1.replaceInStrings(u"[1]"_s, u"[0]"_s)); // no boxes
        QCOMPARE(said, messages);
        QCOMPARE(c.FileCount(), count);
    }

    // Every view sees a consistent tree while nodes come and go, rows move up after a
    // removal in the middle, and ticks mirror between the lists.
    void viewsStayConsistent()
    {
        PackContents c;
        PackTreeModel files(c, PackList::Files), reg1(c, PackList::Reg1);
        QAbstractItemModelTester t1(&files, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester t2(&reg1, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(c.AddFolderToTree(path(u"pack"_s), -1), PackContents::FolderResult::Added);
        const int f1 = c.findKey(u"sub-"_s + path(u"pack/f1.js"_s)),
                  f2 = c.findKey(u"sub-"_s + path(u"pack/f2.js"_s));
        QVERIFY(c.SetChecked(PackList::Reg1, f2, true));
        QVERIFY(!c.SetChecked(PackList::Reg2, f2, true)); // no box there while ticked here
        c.RemoveNode(f1);
        c.RemoveNode(c.findKey(u"fldr-"_s + path(u"pack/s"_s)));
        QCOMPARE(dumpTree(&reg1, true), (QStringList{u"pack [0]"_s, u"  .hidden [1]"_s, u"  f2.js [2]"_s,
                                                     u"  ScriptInfo.xml [1]"_s}));
        QCOMPARE(c.FileCount(), 5); // removals do not lower it
        // Key, path and icon key come from the name and the folders above it.
        const int hidden = c.children(c.topLevel().front()).front();
        QCOMPARE(c.Key(hidden), u"sub-"_s + path(u"pack/.hidden"_s));
        QCOMPARE(c.IconKey(f2), u"K.js"_s);
        QCOMPARE(c.findKey(u"fldr-"_s + path(u"pack"_s)), c.topLevel().front());
        // A removed file's name and key are free again; removing twice is harmless.
        c.RemoveNode(f1);
        QVERIFY(c.AddFileToTree(path(u"pack/f1.js"_s), -1) >= 0);

        // Names stay indexed through removals and re-adds: X.JS refuses x.js.
        PackContents n;
        QStringList said;
        PackContents::AddHooks hooks;
        hooks.refuse = [&said](const QString& m) { said << m; };
        for (const char* step : {"+a", "+b", "-b", "+b", "-a"}) {
            const QString folder = path(QString::fromLatin1(step + 1));
            if (*step == '+')
                n.AddFolderToTree(folder, -1);
            else
                n.RemoveNode(n.findKey(u"fldr-"_s + folder));
        }
        QCOMPARE(n.AddFileToTree(path(u"a/x.js"_s), -1, hooks), -1);
        QCOMPARE(said, QStringList{u"A file called 'x.js' already exists in the file list."_s});
    }
};

QTEST_GUILESS_MAIN(tst_PackCore)
#include "tst_packcore.moc"
