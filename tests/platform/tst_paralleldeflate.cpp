#include "platform/ParallelDeflate_p.h"

#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

namespace {
constexpr qint64 kPiece = DeflateTuning{}.piece;

QByteArray makeData(const QByteArray& kind, qint64 size)
{
    QByteArray d(size, '\0');
    QRandomGenerator rng(17);
    for (qint64 i = 0; i < size; ++i) {
        if (kind == "random" || (kind == "slow, then fast" && i < kPiece))
            d[i] = char(rng.generate());
        else if (kind == "text") // one 20 KiB passage over and over: only a primed piece finds it
            d[i] = i < 20480 ? char('a' + rng.bounded(26)) : d[i - 20480];
    }
    return d;
}

struct Run
{
    DeflateResult r;
    QByteArray out;
    int sinks = 0;
};

// A null data stands for a folder, which cannot be read as a file.
Run deflate(const QByteArray& data, qint64 expected, int threads, bool sinkOk = true, bool idleOk = true)
{
    QTemporaryFile f;
    f.open();
    f.write(data);
    f.flush();
    const int fd = ::open(QFile::encodeName(data.isNull() ? QDir::tempPath() : f.fileName()), O_RDONLY);
    Run run;
    run.r = DeflateFileTuned(
        {threads}, fd, expected, 6,
        [&](const char* p, qsizetype n) { return run.out.append(p, n), ++run.sinks, sinkOk; },
        [&] { return idleOk; });
    ::close(fd);
    return run;
}

// What one zlib stream over the same bytes inflates to; anything else for a
// stream that ends early, runs on, or is corrupt.
QByteArray inflateRaw(const QByteArray& in, qint64 size)
{
    z_stream zs{};
    inflateInit2(&zs, -MAX_WBITS);
    QByteArray out(size + 1, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const bool whole = inflate(&zs, Z_FINISH) == Z_STREAM_END && zs.avail_in == 0;
    out.truncate(static_cast<qsizetype>(zs.total_out));
    inflateEnd(&zs);
    return whole ? out : QByteArray("not one whole stream");
}

qsizetype oneStreamSize(const QByteArray& data)
{
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&zs, static_cast<uLong>(data.size()))), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    deflateEnd(&zs);
    return static_cast<qsizetype>(zs.total_out);
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
        const Run one = deflate(data, size, 1), many = deflate(data, size, 3);
        QVERIFY(one.r.ok() && many.r.ok());
        QCOMPARE(many.out, one.out);
        QCOMPARE(inflateRaw(many.out, size), data);
        QCOMPARE(many.r.crc, static_cast<quint32>(crc32_z(0, reinterpret_cast<const Bytef*>(data.constData()),
                                                          static_cast<z_size_t>(size))));
        QCOMPARE(many.r.inSize, size);
        QCOMPARE(many.r.outSize, many.out.size());
        // Each cut costs a few bytes: the piece after it still finds the text before it.
        QCOMPARE_LE(many.out.size(), oneStreamSize(data) * 1.01 + 32 * (size / kPiece + 1));
    }
    void failures_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<int>("failure");
        QTest::newRow("shorter than expected") << 3 * kPiece << 3 * kPiece + 1 << int(DeflateResult::Changed);
        QTest::newRow("longer than expected") << 3 * kPiece << 3 * kPiece - 1 << int(DeflateResult::Changed);
        QTest::newRow("longer by a byte past a cut")
            << 2 * kPiece + 1 << 2 * kPiece << int(DeflateResult::Changed);
        QTest::newRow("unreadable") << -1LL << 3 * kPiece << int(DeflateResult::ReadFailed);
    }
    void failures()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, expected);
        QFETCH(int, failure);
        QCOMPARE(int(deflate(size < 0 ? QByteArray() : makeData("text", size), expected, 2).r.failure),
                 failure);
    }
    void abandoned_data()
    {
        QTest::addColumn<bool>("sinkOk");
        QTest::addRow("the sink says stop") << false;
        QTest::addRow("idle says stop") << true;
    }
    void abandoned()
    {
        QFETCH(bool, sinkOk);
        const Run run = deflate(makeData("random", 128 * kPiece), 128 * kPiece, 2, sinkOk, !sinkOk);
        QCOMPARE(int(run.r.failure), int(DeflateResult::Abandoned));
        QCOMPARE_LE(run.r.inSize, 32 * kPiece);
        QVERIFY(sinkOk || run.sinks == 1);
    }
};

QTEST_GUILESS_MAIN(TestParallelDeflate)
#include "tst_paralleldeflate.moc"
