// The plan of a build: the entries in packing order, the runs that store
// them, and the specs each run hands the archiver.
#include "pack/build/PackPlan.h"
#include "pack/build/clsZip.h"
#include "pack/contents/PackContents.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>

using namespace Qt::StringLiterals;

class tst_PackPlan : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString src(const QString& rel) const { return m_dir.filePath(u"src/"_s + rel); }

    // Each entry as "depth:name in the pack", in packing order.
    static QStringList listed(const PackContents& c, const PackPlan& plan)
    {
        QStringList out;
        for (const PackPlan::Entry& e : plan.entries())
            out << u"%1:%2"_s.arg(e.depth).arg(c.NameInPack(e.node, u'/'));
        return out;
    }

private slots:
    void initTestCase()
    {
        for (const char* rel : {"top/a.js", "top/sub/b.dll", "top/sub/deep/c.dll", "top/z.js", "top/old.plsc",
                                "other/x.dll", "loose.dll"})
            writeFile(src(QString::fromUtf8(rel)), rel);
    }

    void plan()
    {
        PackContents c;
        QCOMPARE(c.AddFolderToTree(src(u"top"_s), -1), PackContents::FolderResult::Added);
        QVERIFY(c.AddFileToTree(src(u"loose.dll"_s), -1) >= 0);
        QCOMPARE(c.AddFolderToTree(src(u"other"_s), -1), PackContents::FolderResult::Added);
        PackPlan plan;
        int turns = 0;
        // The pack being replaced lies among the files: left out, and said in the log.
        std::vector<int> planned; // each run handed on as soon as it is whole, its entries there
        QVERIFY(plan.make(
            c, src(u"top/old.plsc"_s), [&] { return ++turns > 0; },
            [&](const PackPlan::Run& r) { planned.push_back(int(plan.entries().size() - r.first)); }));
        QCOMPARE(planned, (std::vector<int>{6, 1, 1}));
        QCOMPARE(listed(c, plan),
                 (QStringList{u"0:top/a.js"_s, u"0:top/z.js"_s, u"0:top/sub"_s, u"1:top/sub/b.dll"_s,
                              u"1:top/sub/deep"_s, u"2:top/sub/deep/c.dll"_s, u"0:other/x.dll"_s,
                              u"0:loose.dll"_s}));
        QCOMPARE(plan.leftOut(), std::vector<int>{c.findKey(u"sub-"_s + src(u"top/old.plsc"_s))});
        QCOMPARE(turns, 9); // one per entry, and for the one left out
        // Folder runs in order, then the loose files'; each run's specs are the files' paths.
        QCOMPARE(plan.runs().size(), size_t(3));
        QCOMPARE(plan.runs().back().top, -1);
        const QStringList specs[] = {
            {src(u"top/a.js"_s), src(u"top/z.js"_s), src(u"top/sub"_s), src(u"top/sub/b.dll"_s),
             src(u"top/sub/deep"_s), src(u"top/sub/deep/c.dll"_s)},
            {src(u"other/x.dll"_s)},
            {src(u"loose.dll"_s)},
        };
        for (size_t r = 0; r < 3; ++r) {
            clsZip zip;
            plan.addSpecs(c, plan.runs()[r], zip, 100, {});
            QStringList got;
            for (qint32 i = 1; i <= zip.FileSpecCount(); ++i)
                got << zip.FileSpec(i).toString();
            QCOMPARE(got, specs[r]);
        }
        // A limit cuts the list short; a cancel stops the walk.
        clsZip zip;
        plan.addSpecs(c, plan.runs()[0], zip, 4, {});
        QCOMPARE(zip.FileSpecCount(), 4);
        QCOMPARE(plan.nodeAt(c, src(u"top/sub/deep/c.dll"_s)),
                 c.findKey(u"sub-"_s + src(u"top/sub/deep/c.dll"_s)));
        QVERIFY(!plan.make(c, QString(), [&] { return --turns > 5; }));
    }
};

QTEST_GUILESS_MAIN(tst_PackPlan)
#include "tst_packplan.moc"
