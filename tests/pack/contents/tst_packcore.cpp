// The contents model on its own: what the windows cannot show directly
// (model consistency under change, the item layer's log lines, path helpers).
#include "pack/contents/PackContents.h"
#include "pack/contents/PackTreeModel.h"
#include "platform/BuildLog.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void Touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

QString ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class tst_PackCore : public QObject
{
    Q_OBJECT

private slots:
    void pathHelpers()
    {
        QCOMPARE(GetFileName("/a/b/c.js "), QStringLiteral("c.js"));
        QCOMPARE(GetFileName("plain"), QStringLiteral("plain"));
        QCOMPARE(GetFileName("/a/"), QString());
        QCOMPARE(GetFolderPath("/a/b/c.js"), QStringLiteral("/a/b/"));
        QCOMPARE(GetFolderPath("c.js"), QString());
        QCOMPARE(TrimNull(QStringLiteral("ab") + QChar(0) + QStringLiteral("cd")), QStringLiteral("ab"));
        QCOMPARE(TrimNull("abc"), QStringLiteral("abc"));
        QCOMPARE(NormalizeFolderPath("/a/b//"), QStringLiteral("/a/b"));
        QCOMPARE(NormalizeFolderPath("/"), QStringLiteral("/"));
        QCOMPARE(PackContents::GetIconKey("/a/x.JS", false), PackContents::GetIconKey("/b/y.js", false));
        QVERIFY(PackContents::GetIconKey("/a/x.js", false) != PackContents::GetIconKey("/a/x.dll", false));
        QVERIFY(PackContents::GetIconKey("/a/js", false) != PackContents::GetIconKey("/a/x.js", false));
    }

    // Every view sees a consistent tree while nodes come and go, rows move up
    // after a removal in the middle, and the indexes stay in step.
    void viewsStayConsistent()
    {
        QTemporaryDir tmp;
        for (const char* rel : {"p/a.js", "p/b.js", "p/c.js", "p/s/d.js", "p/s/e.js", "p/t/f.js", "q/g.js"})
            Touch(tmp.path() + QLatin1Char('/') + QLatin1String(rel));
        PackContents c;
        PackTreeModel files(c, PackList::Files);
        PackTreeModel reg1(c, PackList::Reg1);
        QAbstractItemModelTester t1(&files, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester t2(&reg1, QAbstractItemModelTester::FailureReportingMode::QtTest);

        QCOMPARE(c.AddFolderToTree(tmp.path() + "/p", -1), PackContents::FolderResult::Added);
        QVERIFY(c.AddFileToTree(tmp.path() + "/q/g.js", -1) >= 0);
        const int b = c.findKey("sub-" + tmp.path() + "/p/b.js");
        const int s = c.findKey("fldr-" + tmp.path() + "/p/s");
        QVERIFY(b >= 0 && s >= 0);
        QVERIFY(c.SetChecked(PackList::Reg1, c.findKey("sub-" + tmp.path() + "/p/t/f.js"), true));
        c.RemoveNode(b);
        c.RemoveNode(s);
        QVERIFY(!c.isLive(c.findKey("sub-" + tmp.path() + "/p/s/d.js")));
        const QModelIndex p = files.index(0, 0);
        QCOMPARE(files.rowCount(p), 3); // a.js, c.js, t
        QCOMPARE(files.index(2, 0, p).data().toString(), QStringLiteral("t"));
        const QModelIndex f = files.index(0, 0, files.index(2, 0, p));
        QCOMPARE(f.data().toString(), QStringLiteral("f.js"));
        QCOMPARE(f.parent(), files.index(2, 0, p));
        QCOMPARE(reg1.indexOf(files.nodeOf(f)).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QCOMPARE(c.liveCount(), 6);
        std::vector<int> live = c.liveNodes();
        QVERIFY(std::is_sorted(live.begin(), live.end()));
        QCOMPARE(int(live.size()), c.liveCount());
        QCOMPARE(c.FileCount(), 7);

        // A removed file's name and key are free again; removing twice is harmless.
        c.RemoveNode(b);
        QVERIFY(c.AddFileToTree(tmp.path() + "/p/b.js", -1) >= 0);
    }

    void itemLayerLogLines()
    {
        QTemporaryDir tmp;
        Touch(tmp.path() + "/makelog");
        const QString log = tmp.path() + "/log.txt";
        BuildLog::setMarkerFolder(tmp.path());
        BuildLog::setLogFilePath(log);

        PackContents c;
        Touch(tmp.path() + "/f/x.dll");
        QCOMPARE(c.AddFolderToTree(tmp.path() + "/f", -1), PackContents::FolderResult::Added);
        // Folder nodes lose their boxes through the item layer, once per list.
        QCOMPARE(ReadAll(log).count(QStringLiteral("   -   GetTVItemFromNode:   f\r\n")), 2);

        const int x = c.findKey("sub-" + tmp.path() + "/f/x.dll");
        QFile::remove(log);
        const int item = c.GetTVItemFromNode(PackList::Reg2, x);
        QVERIFY(item != 0);
        QVERIFY(!c.IsTVItemChecked(PackList::Reg2, item)); // empty box
        QVERIFY(c.SetChecked(PackList::Reg2, x, true));
        QVERIFY(c.IsTVItemChecked(PackList::Reg2, item));
        QVERIFY(!c.IsTVItemChecked(PackList::Reg1, c.GetTVItemFromNode(PackList::Reg1, x))); // no box
        QVERIFY(!c.IsTVItemChecked(PackList::Reg1, c.GetTVItemFromNode(PackList::Reg1, 0))); // folder
        const QString text = ReadAll(log);
        QVERIFY2(text.contains(QStringLiteral("   -   GetTVItemFromNode:   x.dll\r\n")), qPrintable(text));
        QCOMPARE(text.count(QStringLiteral("   -   IsTVItemChecked\r\n")), 4);

        // A node no longer in the pack has no item, and item 0 reads as not ticked.
        c.RemoveNode(0);
        QCOMPARE(c.GetTVItemFromNode(PackList::Reg2, x), 0);
        QVERIFY(!c.IsTVItemChecked(PackList::Reg2, 0));
        QCOMPARE(PackContents::StateImageMask(2), 8192);

        BuildLog::setMarkerFolder(QString());
        BuildLog::setLogFilePath(QString());
    }
};

QTEST_GUILESS_MAIN(tst_PackCore)
#include "tst_packcore.moc"
