#include "pack/build/clsZip.h"
#include "pack/build/modZip.h"
#include "support/TestFiles.h"

#include <QPointer>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

class tst_clsZip : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString file(const QString& rel) const { return m_dir.filePath(rel); }
    QString pack() const { return m_dir.filePath(u"out/pack.plsc"_s); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QByteArray big(12 * 1024 * 1024, Qt::Uninitialized);
        quint32 x = 12345;
        for (char& c : big)
            c = char((x = x * 1103515245u + 12345u) >> 24);
        writeFile(file(u"big/one.bin"_s), big);
        writeFile(file(u"big/two.bin"_s), "two");
        writeFile(file(u"proj/a.dll"_s), "a dll");
        writeFile(file(u"proj/notes.txt"_s), "notes");
    }

    void init()
    {
        QDir(file(u"out"_s)).removeRecursively();
        QDir().mkpath(file(u"out"_s));
    }

    void runEvents()
    {
        // More files than the old 1022-entry table held, in one run.
        clsZip zip;
        for (int i = 0; i < 1100; ++i) {
            const QString f = file(u"many/f%1.txt"_s.arg(i, 4, 10, QChar(u'0')));
            writeFile(f, QByteArray::number(i));
            zip.AddFileSpec(f);
        }
        zip.setZipFile(pack());
        QStringList progress, asked;
        connect(&zip, &clsZip::Progress, this, [&](qint32, const QString& m) { progress << m; });
        connect(&zip, &clsZip::Cancel, this, [&](const QString& m, bool&) { asked << m; });
        zip.Zip();
        QVERIFY(zip.Success());
        QCOMPARE(progress.size(), 1100);
        QCOMPARE(progress.first(), u"  adding: f0000.txt"_s);
        QCOMPARE(asked.size(), 1100);
        QCOMPARE(readArchive(pack()).names.size(), 1100);
        // Outside a run the callbacks reach no archiver: the library is told to stop.
        QCOMPARE(modZip::ZipServiceCallback("name", 4), 1);
    }

    void cancelledRunAsksForNothingMore()
    {
        clsZip zip;
        zip.setZipFile(pack());
        zip.setAddComment(true);
        zip.AddFileSpec(file(u"proj/a.dll"_s));
        int comments = 0;
        connect(&zip, &clsZip::CommentRequest, this, [&](QString& c, bool&) {
            ++comments;
            c = u"comment"_s;
        });
        zip.Zip();
        QVERIFY(zip.Success());
        const QByteArray before = readAll(pack());

        // Cancelled from the handler: the archive stays as it was, and a comment request after
        // that (here from the error message's handler) answers 1 without asking the owner.
        zip.AddFileSpec(file(u"proj/notes.txt"_s));
        connect(&zip, &clsZip::Cancel, this, [](const QString& m, bool& c) { c = m == u"notes.txt"_s; });
        qint32 lateComment = -1;
        connect(&zip, &clsZip::Progress, this, [&](qint32, const QString& m) {
            char buf[256] = "junk";
            if (m.startsWith(u"zip error"_s))
                lateComment = modZip::ZipCommentCallback(buf);
        });
        comments = 0;
        zip.Zip();
        QCOMPARE(zip.LastResult(), qint32(ZpErrAborted));
        QCOMPARE(lateComment, 1);
        QCOMPARE(comments, 1); // the one before the files, none after the cancel
        QCOMPARE(readAll(pack()), before);
    }

    // The owner deletes the archiver from a handler (its window closed in a nested event
    // loop): the run stops there and writes nothing, even in the middle of one large file.
    void ownerGoesAwayDuringTheRun_data()
    {
        QTest::addColumn<bool>("duringTheFile");
        QTest::newRow("between files") << false;
        QTest::newRow("in one large file") << true;
    }

    void ownerGoesAwayDuringTheRun()
    {
        QFETCH(bool, duringTheFile);
        QPointer<clsZip> zip = new clsZip;
        zip->setZipFile(pack());
        zip->AddFileSpec(file(duringTheFile ? u"big/one.bin"_s : u"proj/a.dll"_s));
        if (!duringTheFile)
            zip->AddFileSpec(file(u"proj/notes.txt"_s));
        bool started = false; // its file is being read
        connect(zip, &clsZip::Cancel, this, [&](const QString&, bool&) { started = true; });
        if (duringTheFile)
            connect(zip, &clsZip::Idle, this, [&] {
                if (started)
                    delete zip.data();
            });
        else
            connect(zip, &clsZip::Progress, this, [&](qint32, const QString&) { delete zip.data(); });
        zip->Zip();
        QVERIFY(zip.isNull());
        QVERIFY(!QFile::exists(pack()));
    }
};

QTEST_GUILESS_MAIN(tst_clsZip)
#include "tst_clszip.moc"
