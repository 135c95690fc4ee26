#include "pack/build/clsZip.h"
#include "pack/build/modZip.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <memory>
#include <zip.h>

using namespace Qt::StringLiterals;

namespace {

QStringList entries(const QString& path, QByteArray* comment = nullptr)
{
    QStringList out;
    int err = 0;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
    if (za == nullptr)
        return out;
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i)
        out << QString::fromUtf8(zip_get_name(za, static_cast<zip_uint64_t>(i), 0));
    if (comment) {
        int len = 0;
        const char* c = zip_get_archive_comment(za, &len, ZIP_FL_ENC_RAW);
        *comment = c ? QByteArray(c, len) : QByteArray();
    }
    zip_discard(za);
    return out;
}

} // namespace

class tst_clsZip : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString tree() const { return m_dir.filePath(u"tree"_s); }
    QString pack() const { return m_dir.filePath(u"out/pack.plsc"_s); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        writeFile(tree() + u"/ScriptInfo.xml"_s, "<?xml version=\"1.0\"?>\r\n");
        writeFile(tree() + u"/proj/top/main.js"_s, "main");
        writeFile(tree() + u"/proj/top/sub/lib.js"_s, "lib");
        writeFile(tree() + u"/proj/top/sub/img/logo.dll"_s, "logo");
        writeFile(tree() + u"/elsewhere/res/pic.png"_s, QByteArray(3000, '\x7f'));
        writeFile(tree() + u"/proj/a.dll"_s, "a dll");
        writeFile(tree() + u"/proj/notes.txt"_s, "notes");
    }

    void init()
    {
        QDir(m_dir.filePath(u"out"_s)).removeRecursively();
        QDir().mkpath(m_dir.filePath(u"out"_s));
    }

    void optionRecord()
    {
        clsZip zip;
        const ZpOptions& o = zip.Options();
        // Defaults: no directory entries, bare names, no recursion.
        QCOMPARE(o.fNoDirEntries, 1);
        QCOMPARE(o.fJunkDirNames, 1);
        QCOMPARE(o.fRecurse, 0);
        QVERIFY(!zip.StoreDirectories() && !zip.StoreFolderNames() && !zip.RecurseSubDirs());
        QCOMPARE(zip.MessageLevel(), 2);
        QVERIFY(o.szRootDir == nullptr && o.fComment == 0 && o.fDeleteEntries == 0);

        zip.setStoreDirectories(true);
        zip.setStoreFolderNames(true);
        zip.setRecurseSubDirs(true);
        QVERIFY(zip.StoreDirectories() && zip.StoreFolderNames() && zip.RecurseSubDirs());
        QCOMPARE(o.fNoDirEntries, 0);
        QCOMPARE(o.fJunkDirNames, 0);
        QCOMPARE(o.fRecurse, 2);

        zip.setFreshenFiles(true);
        QCOMPARE(o.fFreshen, 1);
        QCOMPARE(o.fUpdate, 0);
        QVERIFY(!zip.UpdateOnlyIfNewer());
        zip.setAddComment(true);
        zip.setConvertLFToCRLF(true);
        QCOMPARE(o.fComment, 1);
        QCOMPARE(o.fLFtoCRLF, 1);
        QCOMPARE(o.fCRLFtoLF, 0);

        zip.setMessageLevel(0);
        QCOMPARE(o.fVerbose, 1);
        QCOMPARE(o.fQuiet, 0);
        zip.setMessageLevel(1);
        QCOMPARE(o.fVerbose, 0);
        QCOMPARE(o.fQuiet, 1);
        zip.setMessageLevel(7);
        zip.setMessageLevel(-1);
        QCOMPARE(zip.MessageLevel(), 1);

        zip.setBasePath(u"/home/ü/proj/"_s);
        QCOMPARE(zip.BasePath(), u"/home/ü/proj/"_s);
        QCOMPARE(QString::fromUtf8(o.szRootDir), u"/home/ü/proj/"_s);

        // Spec list: 1-based, no 1022 limit.
        QCOMPARE(zip.AddFileSpec(u"a"_s), 0);
        for (int i = 2; i <= 1500; ++i)
            zip.AddFileSpec(QString::number(i));
        QCOMPARE(zip.FileSpecCount(), 1500);
        QCOMPARE(zip.FileSpec(1).toString(), u"a"_s);
        QCOMPARE(zip.FileSpec(1500).toString(), u"1500"_s);
        QVERIFY(!zip.FileSpec(0).isValid() && !zip.FileSpec(1501).isValid());
        zip.ClearFileSpecs();
        QCOMPARE(zip.FileSpecCount(), 0);
    }

    void callbackTexts()
    {
        QCOMPARE(modZip::TextFromCallback("ab", 2), std::optional<QString>(u"ab"_s));
        QVERIFY(!modZip::TextFromCallback("a", 1));
        QVERIFY(!modZip::TextFromCallback("", 0));
        const QByteArray long1023(1023, 'x'), long1024(1024, 'x');
        QCOMPARE(modZip::TextFromCallback(long1023.constData(), 1023)->size(), 1023);
        QVERIFY(!modZip::TextFromCallback(long1024.constData(), 1024));
        QCOMPARE(modZip::TextFromCallback("ab\0cd", 5), std::optional<QString>(u"ab"_s));
        QCOMPARE(modZip::TextFromCallback("\xc3\xa9t\xc3\xa9", 6), std::optional<QString>(u"été"_s));
        // Outside a run the callbacks reach no archiver: the library is told to stop.
        QCOMPARE(modZip::ZipServiceCallback("name", 4), 1);
        QCOMPARE(modZip::ZipPrintCallback("text", 4), 0);
    }

    void runEvents()
    {
        // Many files so that the spec list goes beyond 1022 in one run.
        const QString many = m_dir.filePath(u"many"_s);
        QDir().mkpath(many);
        clsZip zip;
        for (int i = 0; i < 1100; ++i) {
            const QString f = many + u"/f%1.txt"_s.arg(i, 4, 10, QChar(u'0'));
            writeFile(f, QByteArray::number(i));
            zip.AddFileSpec(f);
        }
        zip.AddFileSpec(tree() + u"/proj/top/sub/lib.js"_s);
        zip.setZipFile(pack());
        zip.setAddComment(true);
        QStringList progress, asked;
        int commentRequests = 0;
        connect(&zip, &clsZip::Progress, this, [&](qint32 n, const QString& m) {
            QCOMPARE(n, 1);
            progress << m;
        });
        connect(&zip, &clsZip::Cancel, this, [&](const QString& m, bool&) { asked << m; });
        connect(&zip, &clsZip::CommentRequest, this, [&](QString& c, bool&) {
            ++commentRequests;
            c = u"  "_s + QString(300, u'c') + u"  "_s;
        });
        zip.Zip();
        QVERIFY(zip.Success());
        QCOMPARE(progress.size(), 1101);
        QCOMPARE(progress.first(), u"  adding: f0000.txt"_s);
        QCOMPARE(asked.size(), 1101);
        QCOMPARE(commentRequests, 1);
        QByteArray comment;
        QCOMPARE(entries(pack(), &comment).size(), 1101);
        QCOMPARE(comment, QByteArray(255, 'c')); // trimmed, then cut to 255 bytes

        // Folder names arrive with backslashes; a multi-byte comment is cut before a character.
        zip.ClearFileSpecs();
        zip.setStoreFolderNames(true);
        zip.setRecurseSubDirs(true);
        zip.setBasePath(tree() + u"/proj/"_s);
        zip.AddFileSpec(u"top\\*.*"_s);
        disconnect(&zip, &clsZip::CommentRequest, this, nullptr);
        connect(&zip, &clsZip::CommentRequest, this, [&](QString& c, bool&) { c = QString(200, u'é'); });
        progress.clear();
        zip.Zip();
        QVERIFY(zip.Success());
        QVERIFY(progress.contains(u"  adding: top\\sub\\lib.js"_s));
        entries(pack(), &comment);
        QCOMPARE(comment, QString(127, u'é').toUtf8());
    }

    void cancelAndComment()
    {
        clsZip zip;
        zip.setZipFile(pack());
        zip.setAddComment(true);
        zip.AddFileSpec(tree() + u"/proj/a.dll"_s);
        zip.AddFileSpec(tree() + u"/proj/notes.txt"_s);
        // An empty comment gives no comment and the run still succeeds.
        int comments = 0;
        connect(&zip, &clsZip::CommentRequest, this, [&](QString&, bool&) { ++comments; });
        zip.Zip();
        QVERIFY(zip.Success());
        QCOMPARE(comments, 1);
        const QByteArray before = readAll(pack());

        // Cancel from the handler: the run is abandoned and the archive untouched;
        // a comment request after that (here from the error message's handler)
        // answers 1 at once without asking the owner.
        writeFile(tree() + u"/proj/new.txt"_s, "new");
        zip.AddFileSpec(tree() + u"/proj/new.txt"_s);
        connect(&zip, &clsZip::Cancel, this, [](const QString& m, bool& c) { c = m == u"new.txt"_s; });
        qint32 lateComment = -1;
        connect(&zip, &clsZip::Progress, this, [&](qint32, const QString& m) {
            if (m.startsWith(u"zip error"_s)) {
                char buf[256] = "junk";
                lateComment = modZip::ZipCommentCallback(buf);
                QCOMPARE(buf[0], '\0');
            }
        });
        comments = 0;
        zip.Zip();
        QVERIFY(!zip.Success());
        QCOMPARE(zip.LastResult(), qint32(ZpErrAborted));
        QCOMPARE(lateComment, 1);
        QCOMPARE(comments, 1); // the one before the files, none after the cancel
        QCOMPARE(readAll(pack()), before);
        QFile::remove(tree() + u"/proj/new.txt"_s);

        // Delete keeps no code of its own and clears its flag again.
        disconnect(&zip, &clsZip::Cancel, this, nullptr);
        zip.ClearFileSpecs();
        zip.AddFileSpec(u"notes.txt"_s);
        zip.Delete();
        QCOMPARE(zip.Options().fDeleteEntries, 0);
        QVERIFY(!zip.Success());
        QCOMPARE(entries(pack()), QStringList{u"a.dll"_s});
    }

    void ownerGoesAwayDuringTheRun()
    {
        // The owner deletes the archiver from a progress handler (its window closed
        // in a nested event loop): the run stops at the next file, nothing is written.
        QPointer<clsZip> zip = new clsZip;
        zip->setZipFile(pack());
        for (const char* f : {"/proj/a.dll", "/proj/notes.txt", "/ScriptInfo.xml"})
            zip->AddFileSpec(tree() + QString::fromLatin1(f));
        int seen = 0;
        connect(zip, &clsZip::Progress, this, [&](qint32, const QString&) {
            if (++seen == 1)
                delete zip.data();
        });
        zip->Zip();
        QVERIFY(zip.isNull());
        QCOMPARE(seen, 1);
        QVERIFY(!QFile::exists(pack()));

        // A handler that starts another run: refused, the outer run goes on.
        clsZip outer;
        outer.setZipFile(pack());
        outer.AddFileSpec(tree() + u"/proj/a.dll"_s);
        connect(&outer, &clsZip::Progress, this, [&](qint32, const QString&) {
            if (outer.LastResult() == 0)
                outer.Zip();
        });
        outer.Zip();
        QVERIFY(outer.Success());
        QCOMPARE(entries(pack()), QStringList{u"a.dll"_s});
    }

    void idleAndCancelDuringALongFile()
    {
        QByteArray big(12 * 1024 * 1024, Qt::Uninitialized);
        quint32 x = 12345;
        for (char& c : big) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 24);
        }
        writeFile(m_dir.filePath(u"big/one.bin"_s), big);
        writeFile(m_dir.filePath(u"big/two.bin"_s), "two");
        clsZip zip;
        zip.setZipFile(pack());
        zip.AddFileSpec(m_dir.filePath(u"big/one.bin"_s));
        zip.AddFileSpec(m_dir.filePath(u"big/two.bin"_s));
        // The owner's Cancel button is "clicked" during the long file; the next file is refused.
        bool cancelRequested = false;
        int idles = 0;
        connect(&zip, &clsZip::Idle, this, [&] {
            ++idles;
            cancelRequested = true;
        });
        connect(&zip, &clsZip::Cancel, this, [&](const QString&, bool& c) {
            if (cancelRequested)
                c = true;
        });
        zip.Zip();
        QVERIFY(idles > 0);
        QCOMPARE(zip.LastResult(), qint32(ZpErrAborted));
        QVERIFY(!QFile::exists(pack()));
    }

    // A later run first copies what the archive already holds, with no file
    // of its own being read; the owner still gets its turns there.
    void idleWhileEarlierEntriesAreCopied()
    {
        writeFile(m_dir.filePath(u"copy/old.bin"_s), QByteArray(100000, 'o'));
        // Large enough to be streamed, so nothing of the new file is read before it is added.
        writeFile(m_dir.filePath(u"copy/new.bin"_s), QByteArray(5 * 1024 * 1024, 'n'));
        clsZip zip;
        zip.setZipFile(pack());
        zip.AddFileSpec(m_dir.filePath(u"copy/old.bin"_s));
        zip.Zip();
        QVERIFY(zip.Success());
        zip.ClearFileSpecs();
        zip.AddFileSpec(m_dir.filePath(u"copy/new.bin"_s));
        zip.setAddComment(true);
        // The comment is asked for just before the archive is written; a slow
        // answer makes the next turn due while the old entry is copied.
        connect(&zip, &clsZip::CommentRequest, this, [](QString& c, bool&) {
            c = u"c"_s;
            QThread::msleep(40);
        });
        bool added = false;
        int turnsBeforeNewFile = 0;
        connect(&zip, &clsZip::Progress, this,
                [&](qint32, const QString& m) { added = added || m.startsWith(u"  adding: "_s); });
        connect(&zip, &clsZip::Idle, this, [&] { turnsBeforeNewFile += added ? 0 : 1; });
        zip.Zip();
        QVERIFY(zip.Success());
        QVERIFY(turnsBeforeNewFile > 0);
    }

    void packBuildSequence()
    {
        // The runs the pack build makes: manifest, each folder (list not cleared), loose files.
        clsZip zip;
        zip.setZipFile(pack());
        zip.setAddComment(true);
        connect(&zip, &clsZip::CommentRequest, this,
                [](QString& c, bool&) { c = u"ScriptPack created using Bundlesmith v1.0.0"_s; });
        zip.ClearFileSpecs();
        zip.AddFileSpec(tree() + u"/ScriptInfo.xml"_s);
        zip.Zip();
        QVERIFY(zip.Success());
        zip.setStoreFolderNames(true);
        zip.setRecurseSubDirs(true);
        zip.setStoreDirectories(true);
        for (const QString& folder : {tree() + u"/proj/top"_s, tree() + u"/elsewhere/res"_s}) {
            zip.setBasePath(QFileInfo(folder).path() + u'/');
            zip.AddFileSpec(folder + u"\\*.*"_s);
            zip.AddFileSpec(QFileInfo(folder).fileName() + u"\\*.*"_s);
            zip.Zip();
            QVERIFY2(zip.Success(), qPrintable(folder));
        }
        zip.setStoreDirectories(false);
        zip.setStoreFolderNames(false);
        zip.setRecurseSubDirs(false);
        zip.ClearFileSpecs();
        zip.Zip(); // a pack of folders only: the empty last run succeeds
        QVERIFY(zip.Success());
        zip.AddFileSpec(tree() + u"/proj/a.dll"_s);
        zip.AddFileSpec(tree() + u"/proj/notes.txt"_s);
        zip.Zip();
        QVERIFY(zip.Success());
        QByteArray comment;
        QCOMPARE(entries(pack(), &comment),
                 (QStringList{u"ScriptInfo.xml"_s, u"top/main.js"_s, u"top/sub/"_s, u"top/sub/img/"_s,
                              u"top/sub/img/logo.dll"_s, u"top/sub/lib.js"_s, u"res/pic.png"_s, u"a.dll"_s,
                              u"notes.txt"_s}));
        QCOMPARE(comment, QByteArray("ScriptPack created using Bundlesmith v1.0.0"));
    }
};

QTEST_GUILESS_MAIN(tst_clsZip)
#include "tst_clszip.moc"
