#include "zip/Deflater.h"
#include "zip/ParallelDeflate_p.h"

#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QtEndian>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

namespace {
constexpr qint64 kPiece = 128 * 1024; // small pieces keep the data small; the cuts work alike at any size
constexpr qint64 kPassage = 1024;

QByteArray makeData(const QByteArray& kind, qint64 size)
{
    QByteArray d(size, '\0');
    QRandomGenerator rng(17);
    for (qint64 i = 0; i < size; ++i) {
        if (kind == "random" || (kind == "slow, then fast" && i < kPiece))
            d[i] = char(rng.generate());
        else if (kind == "text") // one passage over and over, which each piece finds anew
            d[i] = i < kPassage ? char('a' + rng.bounded(26)) : d[i - kPassage];
    }
    return d;
}

// A null data stands for a folder, which cannot be read as a file.
DeflateResult deflate(const QByteArray& data, qint64 expected, int threads, QByteArray* out = nullptr,
                      bool sinkOk = true, bool idleOk = true)
{
    QTemporaryFile f;
    f.open();
    f.write(data);
    f.flush();
    const int fd = ::open(QFile::encodeName(data.isNull() ? QDir::tempPath() : f.fileName()), O_RDONLY);
    QByteArray ignored;
    out = out ? out : &ignored;
    const DeflateResult r = DeflateFileTuned(
        {threads, kPiece}, fd, expected,
        [&](QByteArrayView d, QByteArrayView) { return out->append(d), sinkOk; }, [&] { return idleOk; });
    ::close(fd);
    return r;
}

// The raw stream in the frame qUncompress reads, whose checksum trailer fails
// a stream that ends early, runs on or inflates to anything but data.
QByteArray inflated(const QByteArray& raw, const QByteArray& data)
{
    QByteArray z = QByteArray(4, '\0') + "\x78\x9c" + raw + QByteArray(4, '\0');
    qToBigEndian(static_cast<quint32>(data.size()), z.data());
    const auto* bytes = reinterpret_cast<const Bytef*>(data.constData());
    qToBigEndian(static_cast<quint32>(adler32_z(1, bytes, static_cast<z_size_t>(data.size()))), z.end() - 4);
    return qUncompress(z);
}
} // namespace

class TestParallelDeflate : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<qint64>("size");
        for (const char* kind : {"text", "random", "zeros", "slow, then fast"})
            for (qint64 size : {0LL, 1LL, kPiece - 1, kPiece, kPiece + 1, 2 * kPiece, 5 * kPiece + 7})
                QTest::addRow("%s %lld", kind, size) << QByteArray(kind) << size;
    }
    void roundTrip()
    {
        QFETCH(QByteArray, kind);
        QFETCH(qint64, size);
        const QByteArray data = makeData(kind, size);
        QByteArray one, many;
        const DeflateResult r = deflate(data, size, 3, &many);
        QVERIFY(deflate(data, size, -1, &one).ok() && r.ok());
        QCOMPARE(many, one);
        QCOMPARE(inflated(many, data), data);
        QVERIFY(r.crc == Crc32(0, data.constData(), size) && r.inSize == size && r.outSize == many.size());
        // Each cut costs the passage learnt anew and a few bytes.
        QCOMPARE_LE(many.size(),
                    (qCompress(data, 6).size() - 10) * 1.01 + (kPassage + 32) * (size / kPiece + 1));
    }
    // Every count of bits left free in the last byte, junk past a stream's end, a stream cut short.
    void reopen()
    {
        const QByteArray text = makeData("text", 4 * kPassage);
        z_stream zs{};
        QCOMPARE(inflateInit2(&zs, -MAX_WBITS), Z_OK);
        uchar scratch[100];
        Deflater d;
        QByteArray abc;
        QVERIFY(d.deflate("abc", 3, abc));
        QSet<qsizetype> grown;
        for (qsizetype len = -1; len < 64; ++len) {
            QByteArray s("\x03\xfc"); // an empty last block, then junk
            QVERIFY(len < 0 || d.deflate(text.constData(), len, s));
            const qsizetype was = s.size();
            s.resize(was + kReopenRoom);
            const qsizetype n =
                ReopenDeflateEnd(zs, reinterpret_cast<uchar*>(s.data()), was, scratch, sizeof scratch);
            grown.insert(n - was);
            const QByteArray whole = text.first(qMax(len, 0)) + "abc";
            QCOMPARE(inflated(s.first(qMax<qsizetype>(n, 0)) + abc, whole), whole);
        }
        QCOMPARE(grown, (QSet<qsizetype>{0, 1, 2, 3, 4, 5}));
        QCOMPARE(ReopenDeflateEnd(zs, reinterpret_cast<uchar*>(abc.data()), 1, scratch, sizeof scratch), -1);
        inflateEnd(&zs);
    }
    void failures_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<bool>("sinkOk");
        QTest::addColumn<bool>("idleOk");
        QTest::addColumn<int>("failure");
        const qint64 p = kPiece, big = 128 * kPiece;
        using F = DeflateResult;
        QTest::newRow("shorter than expected") << 3 * p << 3 * p + 1 << true << true << int(F::Changed);
        QTest::newRow("longer past a cut") << 2 * p + 1 << 2 * p << true << true << int(F::Changed);
        QTest::newRow("unreadable") << -1LL << 3 * p << true << true << int(F::ReadFailed);
        QTest::newRow("the sink says stop") << big << big << false << true << int(F::Abandoned);
        QTest::newRow("idle says stop") << big << big << true << false << int(F::Abandoned);
    }
    void failures()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, expected);
        QFETCH(bool, sinkOk);
        QFETCH(bool, idleOk);
        QFETCH(int, failure);
        const QByteArray data = size < 0 ? QByteArray() : makeData("random", size);
        const DeflateResult r = deflate(data, expected, 2, nullptr, sinkOk, idleOk);
        QCOMPARE(int(r.failure), failure);
        QCOMPARE_LE(r.inSize, 32 * kPiece); // stopped soon, not at the end of the file
    }
};

QTEST_GUILESS_MAIN(TestParallelDeflate)
#include "tst_paralleldeflate.moc"
