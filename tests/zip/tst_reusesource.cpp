#include "support/ZpHarness.h"
#include "zip/ZipFormat.h"
#include "zip/ZipWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

using namespace Qt::StringLiterals;

class tst_ReuseSource : public ZpFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { makeTree(); }
    void init() { reset(); }

    // An archive this library wrote (here a copy of it) lends its stored data for files found
    // unchanged, and the result is what a fresh run makes. Columns: the byte of each file's entry
    // damaged (data: its stored data, which a copy carries along; header: its local header, which
    // stops the copy) | a file rewritten with the same size and time | the new run's comment |
    // the files had settled when the old archive was made, so its stat cache vouches for them |
    // the old archive copied | files the new run read (the cache spares the others).
    void reuse_data()
    {
        QTest::addColumn<int>("damage");
        QTest::addColumn<bool>("rewrite");
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<bool>("settled");
        QTest::addColumn<bool>("copied");
        QTest::addColumn<int>("read");
        const int data = 12, header = -20, none = 0, older = 1000 + data; // older: made by 6.3 too
        const QByteArray here("made here");
        QTest::newRow("unchanged, settled: copied unread") << none << false << here << true << true << 0;
        QTest::newRow("unchanged, made a moment ago: read") << none << false << here << false << true << 5;
        QTest::newRow("unchanged files, damaged data: packed afresh")
            << data << false << here << true << false << 4;
        QTest::newRow("same size and time, other bytes: deflated")
            << none << true << here << true << false << 1;
        QTest::newRow("another comment: not used")
            << data << false << QByteArray("made there") << true << false << 5;
        QTest::newRow("an earlier build's: not used") << older << false << here << true << false << 5;
        QTest::newRow("a damaged local header: deflated") << header << false << here << true << false << 4;
    }

    void reuse()
    {
        QFETCH(int, damage);
        QFETCH(bool, rewrite);
        QFETCH(QByteArray, comment);
        QFETCH(bool, settled);
        QFETCH(bool, copied);
        QFETCH(int, read);
        const QString small = m_dir.filePath(u"out/in/small.txt"_s),
                      big = m_dir.filePath(u"out/in/big.bin"_s);
        writeFile(small, QByteArray(3000, 's') + "tail");
        QVERIFY(QFile::copy(tree() + u"/big.bin"_s, big));
        const QStringList specs{small, tree() + u"/loose.txt"_s, big, tree() + u"/noise.bin"_s,
                                tree() + u"/noise.dat"_s};
        m_opt.fComment = 1;
        m_calls.comment = "made here";
        const QString old = m_dir.filePath(u"out/old.plsc"_s), fresh = m_dir.filePath(u"out/fresh.plsc"_s);
        // An hour ahead the files count as long settled; an hour behind, as just made, however slow the
        // run. The fresh archive below is made on the same clock: where it holds what the old one holds,
        // its cache is found by the same key.
        ZpSetSettleClockAhead(settled ? 3600 : -3600);
        QCOMPARE(run(specs, old), ZpOk);
        QByteArray oldBytes = readAll(old);
        if (damage != 0) { // one byte of each file's entry, counted from its name in the local header
            for (const char* name : {"small.txt", "big.bin", "noise.bin", "noise.dat"})
                oldBytes[oldBytes.indexOf(name) + damage % 1000] ^= 0x20;
            if (damage > 1000)
                oldBytes.replace("PK\x01\x02\x1e\x03", "PK\x01\x02\x3f\x03");
            writeFile(old, oldBytes);
        }
        if (rewrite) { // in place, its time put back to the nanosecond: only the change time tells
            struct stat st = {};
            QVERIFY(::stat(QFile::encodeName(small).constData(), &st) == 0);
            writeFile(small, QByteArray(3000, 'S') + "tail");
            const timespec times[2] = {st.st_atim, st.st_mtim};
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(small).constData(), times, 0) == 0);
        }
        m_calls.comment = comment;
        QCOMPARE(run(specs, fresh), ZpOk);
        ZpSetSettleClockAhead(0);
        // Random bytes are stored as they are, small or large: deflate would only add to them.
        const Archive made = readArchive(fresh);
        zip_t* za = zip_open(QFile::encodeName(fresh).constData(), ZIP_RDONLY, nullptr);
        for (const QString& name : {u"noise.bin"_s, u"noise.dat"_s}) {
            zip_stat_t st;
            QVERIFY(zip_stat(za, qPrintable(name), 0, &st) == 0);
            QCOMPARE(st.comp_method, ZIP_CM_STORE);
            QCOMPARE(made.data(name), readAll(tree() + u'/' + name));
        }
        zip_discard(za);
        const QByteArray reuseFrom = (old + u".copy"_s).toUtf8();
        QVERIFY(QFile::copy(old, QString::fromUtf8(reuseFrom)));
        m_opt.szReuse = reuseFrom.constData();
        m_opt.fLiteral = 1;
        const qsizetype openFiles = QDir(u"/proc/self/fd"_s).count();
        for (const bool ahead : {false, true}) { // the files read ahead, checked against the old archive
            QFile::remove(zipPath());
            if (ahead)
                run(specs, {}, true);
            const quint64 readBefore = ZpFilesRead();
            QCOMPARE(run(specs), ZpOk);
            if (!ahead)
                QCOMPARE(int(ZpFilesRead() - readBefore), read);
            QCOMPARE(QDir(u"/proc/self/fd"_s).count(), openFiles); // the old archive is let go with the run
            QCOMPARE(readAll(zipPath()), copied ? oldBytes : readAll(fresh));
        }
        m_opt.szReuse = nullptr;
        if (!copied)
            QCOMPARE(readArchive(zipPath()).data(u"small.txt"_s), readAll(small));
    }

    // A pipe where an archive's stat cache should be is no cache: the run reads
    // the files instead of waiting for a writer that never comes.
    void aCacheThatIsNoFileIsNone()
    {
        const QStringList specs{tree() + u"/loose.txt"_s, tree() + u"/noise.bin"_s};
        const QString old = m_dir.filePath(u"out/old.plsc"_s);
        ZpSetSettleClockAhead(3600);
        QCOMPARE(run(specs, old), ZpOk);
        ZpSetSettleClockAhead(0);
        const QStringList caches = QDir(StatCache::folder()).entryList(QDir::Files);
        QCOMPARE(caches.size(), 1);
        const QByteArray cache = QFile::encodeName(StatCache::folder() + u'/' + caches[0]);
        QVERIFY(QFile::remove(QString::fromLocal8Bit(cache)) && ::mkfifo(cache.constData(), 0600) == 0);
        const QByteArray reuseFrom = old.toUtf8();
        m_opt.szReuse = reuseFrom.constData();
        m_opt.fLiteral = 1;
        const quint64 readBefore = ZpFilesRead();
        QCOMPARE(run(specs), ZpOk);
        QCOMPARE(ZpFilesRead() - readBefore, quint64(2));
        m_opt.szReuse = nullptr;
    }

    // An unchanged file's entry is copied as the old archive holds it (here a
    // stream zlib made, so a copy shows), unless its data no longer inflates
    // to the file: then it is packed afresh, and the log says so.
    void reuseCopiesSoundData()
    {
        const QString file = m_dir.filePath(u"out/reuse/a.txt"_s),
                      old = m_dir.filePath(u"out/reuse/old.zip"_s);
        QByteArray data;
        for (int i = 0; data.size() < 6000; ++i)
            data += QByteArray::number(qint64(i) * 7919 % 1009) + (i % 7 ? " " : "\n");
        writeFile(file, data);
        const QByteArray zlibStream = qCompress(data).mid(6).chopped(4);
        for (const bool damaged : {false, true}) {
            ZipWriter w;
            QFile::remove(old);
            QVERIFY(w.create(old));
            const auto crc =
                quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
            QByteArray stream = zlibStream;
            if (damaged)
                stream[stream.size() / 2] = char(stream[stream.size() / 2] ^ 0x01);
            QVERIFY(w.writeEntry("a.txt", ZipDosTime(QFileInfo(file).lastModified().toSecsSinceEpoch()),
                                 false, crc, quint64(data.size()), stream, -1));
            QVERIFY(w.finish("made here"));
            w.close();
            m_opt = {};
            m_opt.fComment = 1;
            m_opt.fLiteral = 1;
            m_calls = ZpCalls();
            m_calls.comment = "made here";
            m_root = QFileInfo(file).path().toUtf8();
            const QByteArray reuseFrom = old.toUtf8();
            m_opt.szReuse = reuseFrom.constData();
            QFile::remove(zipPath());
            QCOMPARE(run({file}), ZpOk);
            m_opt = {};
            m_root.clear();
            const QByteArray made = readAll(zipPath());
            QCOMPARE(made.contains(zlibStream), !damaged);
            QCOMPARE(readArchive(zipPath()).data(u"a.txt"_s), data);
            QCOMPARE(m_calls.messages().contains(
                         u"zip warning: damaged in the old archive, packed afresh: a.txt"_s),
                     damaged);
        }
    }
};

QTEST_GUILESS_MAIN(tst_ReuseSource)
#include "tst_reusesource.moc"
