// The one-pass writer: the times it stores, the entry counts around the
// Zip64 boundary, and entries copied from an old archive with others left
// out between them, each against what a fresh write gives.
#include "platform/ZipLibrary.h"
#include "support/TestFiles.h"
#include "zip/ZipFormat.h"
#include "zip/ZipReader.h"
#include "zip/ZipWriter.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

using namespace Qt::StringLiterals;

class tst_ZipWriter : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString at(const QString& name) const { return m_dir.filePath(name); }

    // Entries named by letters, each with its own deflated data, in order.
    static bool write(ZipWriter& w, const QString& path, const QByteArray& names)
    {
        if (!w.create(path))
            return false;
        for (char name : names) {
            const QByteArray data = QByteArray(1 + name % 7, name).repeated(50);
            const QByteArray packed = qCompress(data).mid(6).chopped(4);
            const auto crc =
                quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
            if (!w.writeEntry(QByteArray(1, name), 0x5A863C21, false, crc, quint64(data.size()), packed, -1))
                return false;
        }
        return w.finish("c");
    }

private slots:
    void dosTime_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("stored"); // as the date and time fields read
        const auto row = [](const char* tag, QDate d, QTime t, const char* stored) {
            QTest::newRow(tag) << QDateTime(d, t) << QString::fromLatin1(stored);
        };
        row("first day a zip holds", {1980, 1, 1}, {0, 0, 0}, "1980-01-01 00:00:00");
        row("before it", {1979, 12, 31}, {23, 59, 59}, "1980-01-01 00:00:00");
        row("January", {2024, 1, 31}, {8, 9, 10}, "2024-01-31 08:09:10");
        row("leap day", {2024, 2, 29}, {12, 0, 1}, "2024-02-29 12:00:00");
        row("June", {2001, 6, 15}, {13, 14, 15}, "2001-06-15 13:14:14");
        row("December", {1999, 12, 31}, {23, 59, 58}, "1999-12-31 23:59:58");
        row("last day a zip holds", {2107, 12, 31}, {23, 59, 58}, "2107-12-31 23:59:58");
        row("after it", {2108, 1, 1}, {0, 0, 0}, "2107-12-31 23:59:58");
    }

    void dosTime()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, stored);
        const quint32 t = ZipDosTime(time_t(time.toSecsSinceEpoch()));
        const QString got = u"%1-%2-%3 %4:%5:%6"_s.arg((t >> 25) + 1980)
                                .arg((t >> 21) & 15, 2, 10, QChar(u'0'))
                                .arg((t >> 16) & 31, 2, 10, QChar(u'0'))
                                .arg((t >> 11) & 31, 2, 10, QChar(u'0'))
                                .arg((t >> 5) & 63, 2, 10, QChar(u'0'))
                                .arg((t & 31) * 2, 2, 10, QChar(u'0'));
        QCOMPARE(got, stored);
    }

    // 65,535 entries no longer fit the classic end record: a reader must still find every one.
    void entryCounts_data()
    {
        QTest::addColumn<int>("count");
        for (const int n : {65534, 65535, 65536})
            QTest::addRow("%d", n) << n;
    }

    void entryCounts()
    {
        QFETCH(int, count);
        const QString path = at(u"count.zip"_s);
        ZipWriter w;
        QVERIFY(w.create(path));
        w.reserve(quint32(count));
        for (int i = 0; i < count; ++i)
            QVERIFY(w.writeEntry(QByteArray::number(i), 0x5A863C21, false, 0, 0, {}, -1, true));
        QVERIFY(w.finish({}));
        int err = 0;
        zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
        QVERIFY2(za != nullptr, qPrintable(QString::number(err)));
        QCOMPARE(zip_get_num_entries(za, 0), zip_int64_t(count));
        QCOMPARE(QByteArray(zip_get_name(za, zip_uint64_t(count - 1), 0)), QByteArray::number(count - 1));
        zip_discard(za);
        // From 65,535 on the count is the Zip64 end record's; the classic one says 0xFFFF.
        QCOMPARE(readAll(path).right(200).contains("PK\x06\x06"), count >= 65535);
        QFile::remove(path);
    }

    // Copied entries with others of the old archive left out before, between
    // or after them come out as a fresh write of the same entries would, side
    // by side ones as one copy.
    void copyLeavingOut_data()
    {
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("first left out") << QByteArray("bcde");
        QTest::newRow("one between left out") << QByteArray("abde");
        QTest::newRow("two apart left out") << QByteArray("ace");
        QTest::newRow("last left out") << QByteArray("abcd");
        QTest::newRow("all kept") << QByteArray("abcde");
    }

    void copyLeavingOut()
    {
        QFETCH(QByteArray, kept);
        for (const char* name : {"old.zip", "fresh.zip", "copied.zip"})
            QFile::remove(at(QString::fromLatin1(name)));
        ZipWriter old, fresh, copied;
        QVERIFY(write(old, at(u"old.zip"_s), "abcde"));
        QVERIFY(write(fresh, at(u"fresh.zip"_s), kept));
        const int fd = ::open(QFile::encodeName(at(u"old.zip"_s)).constData(), O_RDONLY);
        ZipDirectory dir;
        QByteArray comment;
        QVERIFY(ReadZipDirectory(fd, dir, comment));
        // A run taken back takes its copies not yet made back too.
        QVERIFY(copied.create(at(u"copied.zip"_s)) && copied.copyEntry("a", dir.at(dir.find("a")), fd, -1) &&
                copied.rollbackRun());
        for (char name : kept) {
            const quint32 i = dir.find(QByteArray(1, name));
            QVERIFY(IsWrittenLocalHeader(fd, dir, i) &&
                    copied.copyEntry(QByteArray(1, name), dir.at(i), fd, -1));
        }
        QVERIFY(copied.finish("c"));
        ::close(fd);
        QCOMPARE(readAll(at(u"copied.zip"_s)), readAll(at(u"fresh.zip"_s)));
    }

    // Past 65,535 entries, and with sizes near 4 GiB, the archive needs its Zip64 records.
    void zip64Records()
    {
        const QString path = at(u"many.zip"_s);
        ZipWriter w;
        QVERIFY(w.create(path));
        const quint32 time = ZipDosTime(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 10)).toSecsSinceEpoch());
        const int count = 70000;
        for (int i = 0; i < count; ++i)
            QVERIFY(w.writeEntry(QByteArray::number(i), time, false, 0, 0, {}, -1, true));
        // Listed at 4 GiB, it gets 64-bit sizes in its local header before any data is known.
        const QByteArray data = "near 4 GiB", packed = qCompress(data).mid(6).chopped(4);
        QVERIFY(w.beginStream("big", time, 0xFFFFFFF0u, -1) && w.append(packed.constData(), packed.size()));
        QVERIFY(w.endStream(
            quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()))),
            quint64(packed.size()), quint64(data.size())));
        QVERIFY(w.finish("many"));
        const QByteArray raw = readAll(path);
        const qsizetype local = raw.indexOf("big") - 30;
        QCOMPARE(raw.mid(local + 18, 8), QByteArray(8, '\xff')); // sizes: see the Zip64 field behind the name
        QCOMPARE(raw.mid(local + 28, 2) + raw.mid(local + 33, 4), QByteArray("\x14\x00\x01\x00\x10\x00", 6));
        QStringList listed;
        QVERIFY(ZpListEntries(path, listed));
        QCOMPARE(listed.size(), count + 1);
        QCOMPARE(listed.at(count - 1), QString::number(count - 1));
        QCOMPARE(QProcess::execute(u"unzip"_s, {u"-tqq"_s, path}), 0);
        QCOMPARE(QProcess::execute(u"python3"_s, {u"-c"_s,
                                                  u"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                                                  "sys.exit(z.read('big') != b'near 4 GiB' or z.testzip())"_s,
                                                  path}),
                 0);
        // The stored data of such an archive is found again for copying.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        ZipDirectory dir;
        QByteArray comment;
        QVERIFY(ReadZipDirectory(fd, dir, comment));
        QCOMPARE(comment, QByteArray("many"));
        const quint32 last = dir.find(QByteArray::number(count - 1));
        QVERIFY(last != ZipDirectory::kNone && IsWrittenLocalHeader(fd, dir, last));
        ::close(fd);
    }
};

QTEST_GUILESS_MAIN(tst_ZipWriter)
#include "tst_zipwriter.moc"
