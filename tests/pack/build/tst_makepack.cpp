// The build sequence over a real archiver and a real tree, with the window
// replaced by a recorder: what ends up in the pack, what the user sees, and
// that no failure costs the user the pack they already had.
#include "pack/build/clsZip.h"
#include "pack/build/makePack.h"
#include "pack/contents/PackContents.h"
#include "platform/BuildLog.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <zip.h>

using namespace Qt::StringLiterals;

namespace {

struct Archive
{
    QStringList names;
    QByteArray comment;
    QByteArray manifest;
};

Archive readArchive(const QString& path)
{
    Archive a;
    int err = 0;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (za == nullptr)
        return a;
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i)
        a.names << QString::fromUtf8(zip_get_name(za, zip_uint64_t(i), 0));
    int len = 0;
    if (const char* c = zip_get_archive_comment(za, &len, ZIP_FL_ENC_RAW))
        a.comment = QByteArray(c, len);
    if (zip_file_t* f = zip_fopen(za, "ScriptInfo.xml", 0)) {
        char buf[4096];
        zip_int64_t n;
        while ((n = zip_fread(f, buf, sizeof buf)) > 0)
            a.manifest.append(buf, int(n));
        zip_fclose(f);
    }
    zip_discard(za);
    return a;
}

class RecordingView final : public BuildView
{
public:
    void ShowProgress(qint16 step, const QString& caption) override
    {
        steps << step;
        captions << caption;
        if (onCaption)
            onCaption(caption);
    }
    void DoEvents() override { ++events; }
    bool CancelRequested() const override { return cancel; }

    QList<qint16> steps;
    QStringList captions;
    int events = 0;
    bool cancel = false;
    std::function<void(const QString&)> onCaption;
};

} // namespace

class tst_makePack : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString src(const QString& rel) const { return m_dir.filePath(u"src/"_s + rel); }
    QString target() const { return m_dir.filePath(u"out/My Pack.plsc"_s); }

    bool build(PackContents& contents, RecordingView& view, const QString& name = u"Tool"_s)
    {
        clsZip zip;
        PackBuild pb(zip, view);
        PackRequest r;
        r.ScriptName = name;
        r.ScriptDesc = u"Does things"_s;
        r.ScriptURL = u"http://example.org/?a=1&b=2"_s;
        r.ScriptVersion = u"2.0"_s;
        r.PackPath = target();
        r.Contents = &contents;
        const bool ok = pb.makePack(r);
        m_lastError = pb.LastError();
        return ok;
    }
    QString m_lastError;

    // Leftovers of a build beside the target: nothing but the pack itself.
    QStringList outFolder() const
    {
        return QDir(m_dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const char* rel : {"top/a.js", "top/sub/b.dll", "top/sub/deep/c.dll", "top/\u00fcber.txt",
                                "other/x.dll", "loose.dll", "notes.txt"})
            writeFile(src(QString::fromUtf8(rel)), QByteArray(3000, 'q') + rel);
        QDir().mkpath(m_dir.filePath(u"out"_s));
    }

    void init() { QFile::remove(target()); }

    void progressStep()
    {
        QCOMPARE(PackBuild::ProgressStepFor(0), qint16(33));
        QCOMPARE(PackBuild::ProgressStepFor(1), qint16(25));
        QCOMPARE(PackBuild::ProgressStepFor(5), qint16(12)); // 12.5, to even
        QCOMPARE(PackBuild::ProgressStepFor(197), qint16(0));
        QCOMPARE(PackBuild::ProgressStepFor(100000), qint16(0));
    }

    // Nested folders once under their top-level folder, loose files bare, the
    // manifest naming ticked files where the archive holds them, and the log
    // tracing every folder run.
    void buildsCompletePack()
    {
        PackContents c;
        QCOMPARE(c.AddFolderToTree(src(u"top"_s), -1), PackContents::FolderResult::Added);
        QCOMPARE(c.AddFolderToTree(src(u"other"_s), -1), PackContents::FolderResult::Added);
        QVERIFY(c.AddFileToTree(src(u"loose.dll"_s), -1) >= 0);
        QVERIFY(c.AddFileToTree(src(u"notes.txt"_s), -1) >= 0);
        auto tick = [&](PackList list, const QString& key) {
            const int n = c.findKey(key);
            QVERIFY2(n >= 0, qPrintable(key));
            QVERIFY(c.SetChecked(list, n, true));
        };
        tick(PackList::Reg1, u"sub-"_s + src(u"top/sub/deep/c.dll"_s));
        tick(PackList::Reg1, src(u"loose.dll"_s));
        tick(PackList::Reg2, u"sub-"_s + src(u"top/sub/b.dll"_s));
        tick(PackList::Reg2, u"sub-"_s + src(u"other/x.dll"_s));

        writeFile(target(), "an older pack");
        QTemporaryDir logDir;
        writeFile(logDir.filePath(u"makelog"_s), "");
        BuildLog::setMarkerFolder(logDir.path());
        BuildLog::setLogFilePath(logDir.filePath(u"log.txt"_s));
        RecordingView view;
        const bool ok = build(c, view, u"Tom & Jerry <\u00fc>"_s);
        BuildLog::setMarkerFolder({});
        BuildLog::setLogFilePath({});
        QVERIFY2(ok, qPrintable(m_lastError));
        QVERIFY(m_lastError.isEmpty());

        const Archive a = readArchive(target());
        QStringList names = a.names;
        names.sort();
        const QStringList expected{u"ScriptInfo.xml"_s,   u"loose.dll"_s,     u"notes.txt"_s,
                                   u"other/x.dll"_s,      u"top/a.js"_s,      u"top/sub/"_s,
                                   u"top/sub/b.dll"_s,    u"top/sub/deep/"_s, u"top/sub/deep/c.dll"_s,
                                   u"top/\u00fcber.txt"_s};
        QCOMPARE(names, expected);
        QCOMPARE(a.comment, PackBuild::PackComment().toUtf8());
        QVERIFY(PackBuild::PackComment().startsWith(u"ScriptPack created using Bundlesmith v"_s));

        const QString xml = QString::fromUtf8(a.manifest);
        QVERIFY(xml.contains(u"<Name>Tom &amp; Jerry &lt;\u00fc&gt;</Name>"_s));
        QVERIFY(xml.indexOf(u"<FileName>top\\sub\\deep\\c.dll</FileName>"_s) <
                xml.indexOf(u"<FileName>loose.dll</FileName>"_s));
        QVERIFY(xml.contains(u"<DotNetFiles>\r\n<FileName>top\\sub\\b.dll</FileName>\r\n"
                             "<FileName>other\\x.dll</FileName>\r\n</DotNetFiles>"_s));
        QVERIFY(!xml.contains(u"<FileName>sub</FileName>"_s));
        QVERIFY(xml.indexOf(u"OleFiles"_s) < xml.indexOf(u"DotNetFiles"_s));
        const QString manifestCopy = m_dir.filePath(u"manifest.xml"_s);
        writeFile(manifestCopy, a.manifest);
        QCOMPARE(QProcess::execute(u"xmllint"_s, {u"--noout"_s, manifestCopy}), 0);
        QCOMPARE(QProcess::execute(u"unzip"_s, {u"-tqq"_s, target()}), 0);

        QCOMPARE(view.captions.value(0), u"Creating Script Info File"_s);
        QCOMPARE(view.captions.value(1), u"Creating Script Pack"_s);
        QStringList added = view.captions.mid(2);
        added.sort();
        QCOMPARE(added.size(), 10); // the manifest, the seven files and the two nested folders
        QVERIFY(added.contains(u"Adding File:  top\\sub\\deep\\c.dll"_s));
        QVERIFY(added.contains(u"Adding File:  top\\sub\\"_s));
        QVERIFY(added.contains(u"Adding File:  ScriptInfo.xml"_s));
        for (qint16 s : view.steps)
            QCOMPARE(s, PackBuild::ProgressStepFor(7));

        const QString log = QString::fromUtf8(readAll(logDir.filePath(u"log.txt"_s)));
        const QString base = src(QString());
        for (const QString& line :
             {u"   -   Tag:   "_s + base + u"\r\n"_s,
              u"   -   Loop - Key:   fldr-"_s + src(u"top"_s) + u"\r\n"_s,
              u"   -   Base Path:  "_s + src(QString()).chopped(1),
              u"   -   New File Spec:  "_s + src(u"top\r\n"_s), u"   -   File Spec:  other\r\n"_s})
            QVERIFY2(log.contains(line), qPrintable(line));
        QVERIFY(!log.contains(u"fldr-"_s + src(u"top/sub"_s))); // nested folders get no run of their own
        const int at = log.indexOf(u"XML File:  "_s);
        QVERIFY(at > 0);
        const QString manifestPath = log.mid(at + 11, log.indexOf(u"\r\n"_s, at) - at - 11);
        QVERIFY(manifestPath.endsWith(u"ScriptInfo.xml"_s));
        QVERIFY(!QFile::exists(manifestPath));
        QCOMPARE(outFolder(), QStringList{u"My Pack.plsc"_s});
    }

    void onlyLooseFilesOrOnlyFolders()
    {
        {
            PackContents c;
            QVERIFY(c.AddFileToTree(src(u"loose.dll"_s), -1) >= 0);
            QVERIFY(c.AddFileToTree(src(u"notes.txt"_s), -1) >= 0);
            RecordingView view;
            QVERIFY2(build(c, view), qPrintable(m_lastError));
            const Archive a = readArchive(target());
            QCOMPARE(a.names, (QStringList{u"ScriptInfo.xml"_s, u"loose.dll"_s, u"notes.txt"_s}));
            QVERIFY(!a.manifest.contains("OleFiles"));
            QVERIFY(!a.manifest.contains("DotNetFiles"));
        }
        {
            PackContents c;
            QCOMPARE(c.AddFolderToTree(src(u"other"_s), -1), PackContents::FolderResult::Added);
            RecordingView view;
            QVERIFY2(build(c, view), qPrintable(m_lastError));
            QCOMPARE(readArchive(target()).names, (QStringList{u"ScriptInfo.xml"_s, u"other/x.dll"_s}));
        }
        QCOMPARE(outFolder(), QStringList{u"My Pack.plsc"_s});
    }

    // Every way a build can fail leaves the old pack byte for byte and no
    // temporary file behind, and says why.
    void failureKeepsOldPack_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("why");
        QTest::newRow("file gone before the build") << u"gone"_s << u"no longer there"_s;
        QTest::newRow("cancel in a folder run") << u"cancel"_s << u"cancelled"_s;
        QTest::newRow("cancel before the first run") << u"cancel-early"_s << u"cancelled"_s;
        QTest::newRow("target folder missing") << u"nofolder"_s << u"Could not write"_s;
    }

    void failureKeepsOldPack()
    {
        QFETCH(QString, how);
        QFETCH(QString, why);
        const QString gone = src(u"gone.js"_s);
        writeFile(gone);
        PackContents c;
        QCOMPARE(c.AddFolderToTree(src(u"top"_s), -1), PackContents::FolderResult::Added);
        QCOMPARE(c.AddFolderToTree(src(u"other"_s), -1), PackContents::FolderResult::Added);
        QVERIFY(c.AddFileToTree(gone, -1) >= 0);
        if (how == u"gone"_s)
            QVERIFY(QFile::remove(gone));

        const QByteArray old = "the pack that worked yesterday";
        writeFile(target(), old);
        RecordingView view;
        if (how == u"cancel"_s)
            view.onCaption = [&view](const QString& caption) {
                if (caption.startsWith(u"Adding File:  top\\"_s))
                    view.cancel = true;
            };
        if (how == u"cancel-early"_s)
            view.onCaption = [&view](const QString&) { view.cancel = true; };

        clsZip zip;
        PackBuild pb(zip, view);
        PackRequest r;
        r.ScriptName = u"Tool"_s;
        r.ScriptVersion = u"1.0"_s;
        r.PackPath = how == u"nofolder"_s ? m_dir.filePath(u"missing/p.plsc"_s) : target();
        r.Contents = &c;
        const bool built = pb.makePack(r);
        QVERIFY(!built);
        QVERIFY2(pb.LastError().contains(why), qPrintable(pb.LastError()));
        QCOMPARE(readAll(target()), old);
        QCOMPARE(outFolder(), QStringList{u"My Pack.plsc"_s});
        if (how == u"cancel"_s) // stopped in the run that was abandoned
            QVERIFY(!view.captions.contains(u"Adding File:  other\\x.dll"_s));
        QFile::remove(gone);
    }
};

QTEST_GUILESS_MAIN(tst_makePack)
#include "tst_makepack.moc"
