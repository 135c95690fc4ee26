// The build sequence over a real archiver and tree, with the window replaced by a
// recorder: what ends up in the pack, what the user sees, and that no failure costs
// the user the pack they already had.
#include "pack/build/clsZip.h"
#include "pack/build/makePack.h"
#include "pack/contents/PackContents.h"
#include "platform/Durability.h"
#include "platform/ZipLibrary.h"
#include "support/FakeBuildView.h"
#include "support/TestFiles.h"
#include "zip/StatCache.h"

#include <QTemporaryDir>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class tst_makePack : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_lastError;
    AuthorManifest m_kept;
    QString src(const QString& rel) const { return m_dir.filePath(u"src/"_s + rel); }
    QString target() const { return m_dir.filePath(u"out/My Pack.plsc"_s); }
    QStringList outFolder() const
    {
        return QDir(m_dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden);
    }

    bool build(PackContents& contents, FakeBuildView& view, const QString& name = u"Tool"_s,
               const QString& path = {})
    {
        clsZip zip;
        PackBuild pb(zip, view);
        PackRequest r;
        r.ScriptName = name;
        r.ScriptDesc = u"Does things"_s;
        r.ScriptVersion = u"2.0"_s;
        r.PackPath = path.isEmpty() ? target() : path;
        r.Contents = &contents;
        r.Kept = m_kept;
        const bool ok = pb.makePack(r);
        m_lastError = pb.LastError();
        return ok;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The stat caches of the packs made here go to a folder of this test's own:
        // tests running side by side must not see each other's.
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.filePath(u"cache"_s)));
        for (const char* rel : {"top/a.js", "top/sub/b.dll", "top/sub/deep/c.dll", "top/\u00fcber.txt",
                                "top/z1.js", "top/z2.js", "other/x.dll", "loose.dll", "notes.txt"})
            writeFile(src(QString::fromUtf8(rel)), QByteArray(3000, 'q') + rel);
        QDir().mkpath(m_dir.filePath(u"out"_s));
    }

    void init() { QFile::remove(target()); }

    // Nested folders once under their top-level folder, loose files bare, the manifest
    // naming ticked files where the archive holds them.
    void buildsCompletePack()
    {
        PackContents c;
        QCOMPARE(c.AddFolderToTree(src(u"top"_s), -1), PackContents::FolderResult::Added);
        QCOMPARE(c.AddFolderToTree(src(u"other"_s), -1), PackContents::FolderResult::Added);
        QVERIFY(c.AddFileToTree(src(u"loose.dll"_s), -1) >= 0);
        QVERIFY(c.AddFileToTree(src(u"notes.txt"_s), -1) >= 0);
        for (const auto& [list, key] : {std::pair{PackList::Reg1, u"sub-"_s + src(u"top/sub/deep/c.dll"_s)},
                                        {PackList::Reg1, src(u"loose.dll"_s)},
                                        {PackList::Reg2, u"sub-"_s + src(u"top/sub/b.dll"_s)},
                                        {PackList::Reg2, u"sub-"_s + src(u"other/x.dll"_s)}})
            QVERIFY2(c.SetChecked(list, c.findKey(key), true), qPrintable(key));

        writeFile(target(), "an older pack");
        FakeBuildView view;
        QVERIFY2(build(c, view, u"Tom & Jerry <\u00fc>"_s), qPrintable(m_lastError));

        const Archive a = readArchive(target());
        QStringList names = a.names;
        names.sort();
        QCOMPARE(names, (QStringList{u"ScriptInfo.xml"_s, u"loose.dll"_s, u"notes.txt"_s, u"other/x.dll"_s,
                                     u"top/a.js"_s, u"top/sub/"_s, u"top/sub/b.dll"_s, u"top/sub/deep/"_s,
                                     u"top/sub/deep/c.dll"_s, u"top/z1.js"_s, u"top/z2.js"_s,
                                     u"top/\u00fcber.txt"_s}));
        QCOMPARE(a.comment, QByteArray("ScriptPack created using Bundlesmith v1.0.0"));
        QCOMPARE(outFolder(), QStringList{u"My Pack.plsc"_s}); // no work folder left beside it

        const QString xml = QString::fromUtf8(a.data(u"ScriptInfo.xml"_s));
        QVERIFY(xml.contains(u"<Name>Tom &amp; Jerry &lt;\u00fc&gt;</Name>"_s));
        QVERIFY(xml.contains(u"<OleFiles>\r\n<FileName>top\\sub\\deep\\c.dll</FileName>\r\n"
                             "<FileName>loose.dll</FileName>\r\n</OleFiles>\r\n<DotNetFiles>\r\n"
                             "<FileName>top\\sub\\b.dll</FileName>\r\n<FileName>other\\x.dll</FileName>\r\n"
                             "</DotNetFiles>"_s));

        QCOMPARE(view.captions.mid(0, 2),
                 (QStringList{u"Creating Script Info File"_s, u"Creating Script Pack"_s}));
        QCOMPARE(view.captions.size(), 2 + 12); // the manifest, nine files, two nested folders
        QVERIFY(view.captions.contains(u"Adding File:  top\\sub\\deep\\c.dll"_s));
    }

    // The bar's step: 100 / (files + 3), halves to the even neighbour.
    // The runs take over what was read ahead for them: every file is read once
    // (the manifest too, which is not read ahead).
    void eachFileReadOnce()
    {
        for (int i = 0; i < 300; ++i)
            writeFile(src(u"many/%1/f%2.txt"_s.arg(i % 3).arg(i)), QByteArray(100 + i, 'm'));
        PackContents c;
        QCOMPARE(c.AddFolderToTree(src(u"many"_s), -1), PackContents::FolderResult::Added);
        QCOMPARE(c.AddFolderToTree(src(u"top"_s), -1), PackContents::FolderResult::Added);
        QVERIFY(c.AddFileToTree(src(u"notes.txt"_s), -1) >= 0);
        FakeBuildView view;
        const quint64 before = ZpFilesRead();
        QVERIFY2(build(c, view), qPrintable(m_lastError));
        QCOMPARE(ZpFilesRead() - before, quint64(c.FileCount() + 1));
    }

    void progressStep()
    {
        const QList<std::pair<int, int>> rows = {{0, 33}, {1, 25}, {5, 12}, {7, 10}, {196, 1}, {197, 0}};
        for (const auto& [files, step] : rows)
            QVERIFY2(PackBuild::ProgressStepFor(files) == step, qPrintable(QString::number(files)));
    }

    // With folders only, the run for loose files has nothing to do and must not fail.
    void onlyFolders()
    {
        PackContents c;
        c.AddFolderToTree(src(u"other"_s), -1);
        FakeBuildView view;
        QVERIFY2(build(c, view), qPrintable(m_lastError));
        QCOMPARE(readArchive(target()).names, (QStringList{u"ScriptInfo.xml"_s, u"other/x.dll"_s}));
    }

    // Every way a build can fail leaves the old pack byte for byte and no temporary
    // file behind (nor a stat cache for the pack never kept), and says why.
    void failureKeepsOldPack_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("why");
        QTest::newRow("file gone before the build") << u"gone"_s << u"no longer there"_s;
        QTest::newRow("cancel in a folder run") << u"cancel"_s << u"cancelled"_s;
        QTest::newRow("cancel before the first run") << u"cancel-early"_s << u"cancelled"_s;
        QTest::newRow("target folder missing") << u"nofolder"_s << u"missing' no longer exists."_s;
        QTest::newRow("author's markup not well-formed") << u"kept"_s << u"could not be written"_s;
        QTest::newRow("pack not onto the disk") << u"sync"_s << u"Could not write the Script Pack"_s;
        QTest::newRow("the old pack by a link") << u"link"_s << u"is the Script Pack being replaced"_s;
        QTest::newRow("a pipe where the file was") << u"pipe"_s << u"it is not a regular file"_s;
        // The system lets root read and write anything: CI runs these as an ordinary user too.
        QTest::newRow("a file that cannot be read") << u"unreadable"_s << u"Could not read 'gone.js'"_s;
        QTest::newRow("a folder that cannot be written") << u"read-only folder"_s << u"out' is read-only."_s;
    }

    void failureKeepsOldPack()
    {
        QFETCH(QString, how);
        QFETCH(QString, why);
        if ((how == u"unreadable"_s || how == u"read-only folder"_s) && ::geteuid() == 0)
            QSKIP("root reads and writes whatever the permissions say");
        const QString gone = src(u"gone.js"_s), link = src(u"top/previous.plsc"_s);
        writeFile(gone);
        const QByteArray old = "the pack that worked yesterday";
        writeFile(target(), old);
        if (how == u"link"_s)
            QVERIFY(QFile::link(target(), link));
        PackContents c;
        c.AddFolderToTree(src(u"top"_s), -1);
        c.AddFolderToTree(src(u"other"_s), -1);
        c.AddFileToTree(gone, -1);
        if (how == u"gone"_s || how == u"pipe"_s)
            QVERIFY(QFile::remove(gone));
        if (how == u"pipe"_s)
            QCOMPARE(::mkfifo(QFile::encodeName(gone).constData(), 0600), 0);
        if (how == u"kept"_s)
            m_kept.Sections = {{u"X"_s, u"<X>"_s}};
        const QString out = m_dir.filePath(u"out"_s);
        if (how == u"unreadable"_s)
            QFile::setPermissions(gone, QFile::WriteOwner);
        if (how == u"read-only folder"_s)
            QFile::setPermissions(out, QFile::ReadOwner | QFile::ExeOwner);
        struct FailingDisk final : Durability
        {
            bool syncFile(const QString&) override { return false; }
            bool syncFolder(const QString&) override { return false; }
        } disk;
        ScopedSeam<Durability> seam(how == u"sync"_s ? &disk : Durability::installed());
        FakeBuildView view;
        view.onCaption = [&](const QString& caption) {
            view.cancel = view.cancel || how == u"cancel-early"_s ||
                          (how == u"cancel"_s && caption.startsWith(u"Adding File:  top\\"_s));
        };
        QDir(StatCache::folder()).removeRecursively();
        ZpSetSettleClockAhead(3600); // the files count as settled: the build would keep a cache of them
        QVERIFY(!build(c, view, u"Tool"_s,
                       how == u"nofolder"_s ? m_dir.filePath(u"missing/p.plsc"_s) : QString()));
        ZpSetSettleClockAhead(0);
        QCOMPARE(QDir(StatCache::folder()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QFile::setPermissions(out, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(m_lastError.contains(why), qPrintable(m_lastError));
        QCOMPARE(readAll(target()), old);
        QCOMPARE(outFolder(), QStringList{u"My Pack.plsc"_s});
        // A cancel stops the folder run it came in: no file of that folder after it.
        if (how == u"cancel"_s)
            QCOMPARE(view.captions.filter(u"Adding File:  "_s).size(), 2);
        QFile::remove(gone);
        QFile::remove(link);
        m_kept = {};
    }
};

QTEST_GUILESS_MAIN(tst_makePack)
#include "tst_makepack.moc"
