// Usage: bench_deflate [--rounds N] [--threads T] [--pieces KiB,KiB,...] FILE...
// Deflates each file as one zlib stream at level 6 on one thread (as entries
// were made before pieces) and in libdeflate's pieces on worker threads, once
// per piece size, and once more per piece size on the calling thread alone,
// whose output the workers' must equal (md5 of the warm-up round's output);
// the variants' order rotated every round. Prints min/median/max wall and CPU
// time, the stream's size, the longest gap between idle calls, and the load
// average and CPU pressure before and after, since a second core that is busy
// elsewhere changes everything.
#include "zip/ParallelDeflate_p.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

using Sink = DeflateSink;

// The single stream, as the archiver made it before: 1 MiB reads, one deflate.
DeflateResult oneStream(int fd, qint64 expected, const Sink& sink, const std::function<bool()>& idle)
{
    DeflateResult r;
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, -MAX_WBITS, MAX_MEM_LEVEL, Z_DEFAULT_STRATEGY);
    std::vector<char> in(1 << 20);
    std::vector<char> out(deflateBound(&zs, static_cast<uLong>(in.size())) + 64);
    QElapsedTimer clock;
    clock.start();
    for (bool eof = false; !eof && r.ok();) {
        const ssize_t n = ::read(fd, in.data(), in.size());
        if (n < 0) {
            r.failure = DeflateResult::ReadFailed;
            break;
        }
        eof = n == 0;
        r.inSize += n;
        r.crc = static_cast<quint32>(crc32_z(r.crc, reinterpret_cast<const Bytef*>(in.data()), z_size_t(n)));
        zs.next_in = reinterpret_cast<Bytef*>(in.data());
        zs.avail_in = static_cast<uInt>(n);
        do {
            zs.next_out = reinterpret_cast<Bytef*>(out.data());
            zs.avail_out = static_cast<uInt>(out.size());
            deflate(&zs, eof ? Z_FINISH : Z_NO_FLUSH);
            const auto have = static_cast<qsizetype>(out.size() - zs.avail_out);
            r.outSize += have;
            sink(QByteArrayView(out.data(), have), {});
        } while (zs.avail_out == 0);
        if (clock.elapsed() >= 20) {
            clock.restart();
            idle();
        }
    }
    deflateEnd(&zs);
    if (r.inSize != expected)
        r.failure = DeflateResult::Changed;
    return r;
}

// Reading alone, in 128 KiB pieces: what the calling thread spends on reads.
DeflateResult readOnly(int fd, qint64, const Sink&, const std::function<bool()>&)
{
    DeflateResult r;
    std::vector<char> in(128 * 1024);
    for (ssize_t n; (n = ::read(fd, in.data(), in.size())) > 0;)
        r.inSize += n;
    return r;
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

QByteArray pressure()
{
    QFile f(QStringLiteral("/proc/pressure/cpu"));
    return f.open(QIODevice::ReadOnly) ? f.readLine().trimmed() : QByteArray("(no /proc/pressure/cpu)");
}

void printLoad(const char* when)
{
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("%s: load average %.2f %.2f %.2f; cpu pressure %s\n", when, load[0], load[1], load[2],
                pressure().constData());
}

struct Variant
{
    Variant(const QString& n,
            const std::function<DeflateResult(int, qint64, const Sink&, const std::function<bool()>&)>& r)
        : name(n.toLatin1()), run(r)
    {
    }
    QByteArray name;
    std::function<DeflateResult(int, qint64, const Sink&, const std::function<bool()>&)> run;
    std::vector<double> wall, cpu;
    qint64 outSize = 0;
    quint32 crc = 0;
    QByteArray md5;
    double longestIdleGap = 0;
};

QByteArray spread(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return QString::asprintf("%7.3f %7.3f %7.3f", v.front(), v[v.size() / 2], v.back()).toLatin1();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int rounds = 5, threads = 0;
    QList<int> pieces{128, 1024};
    while (args.size() >= 2 && args.first().startsWith(QLatin1String("--"))) {
        const QString opt = args.takeFirst(), value = args.takeFirst();
        if (opt == QLatin1String("--rounds"))
            rounds = value.toInt();
        else if (opt == QLatin1String("--threads"))
            threads = value.toInt();
        else if (opt == QLatin1String("--pieces")) {
            pieces.clear();
            for (const QString& p : value.split(QLatin1Char(',')))
                pieces << p.toInt();
        }
    }
    if (args.isEmpty() || rounds < 1) {
        std::fprintf(stderr, "usage: bench_deflate [--rounds N] [--threads T] "
                             "[--pieces KiB,KiB,...] FILE...\n");
        return 2;
    }
    printLoad("before");
    std::printf("%d rounds, %d worker threads, idealThreadCount %d\n", rounds,
                threads > 0 ? threads : std::clamp(QThread::idealThreadCount(), 1, 4),
                QThread::idealThreadCount());
    for (const QString& path : std::as_const(args)) {
        const QByteArray file = QFile::encodeName(path);
        std::vector<Variant> variants;
        variants.emplace_back(QStringLiteral("read only"), readOnly);
        variants.emplace_back(QStringLiteral("one stream"), oneStream);
        for (int kib : std::as_const(pieces))
            for (bool alone : {false, true})
                variants.emplace_back(
                    QString::asprintf("%s %d KiB", alone ? "alone" : "pieces", kib),
                    [=](int fd, qint64 e, const Sink& s, const std::function<bool()>& i) {
                        // One piece at a time on the calling thread: the same stream, slower.
                        return DeflateFileTuned({alone ? -1 : threads, kib * 1024LL}, fd, e, s, i);
                    });
        const qint64 size = QFileInfo(path).size();
        for (int round = 0; round <= rounds; ++round) { // round 0 warms the page cache
            for (size_t k = 0; k < variants.size(); ++k) {
                Variant& v = variants[(k + static_cast<size_t>(round)) % variants.size()];
                const int fd = ::open(file.constData(), O_RDONLY);
                QElapsedTimer wall, gap;
                double longest = 0;
                QCryptographicHash md5(QCryptographicHash::Md5);
                const double cpu0 = cpuSeconds();
                wall.start();
                gap.start();
                const DeflateResult r = v.run(
                    fd, size,
                    [&](QByteArrayView data, QByteArrayView) {
                        if (round == 0)
                            md5.addData(data);
                        return true;
                    },
                    [&] {
                        longest = std::max(longest, gap.nsecsElapsed() / 1e6);
                        gap.restart();
                        return true;
                    });
                const double w = wall.nsecsElapsed() / 1e9, c = cpuSeconds() - cpu0;
                ::close(fd);
                if (r.failure != DeflateResult::None) {
                    std::fprintf(stderr, "%s: %s failed (%d)\n", file.constData(), v.name.constData(),
                                 r.failure);
                    return 1;
                }
                if (round > 0) {
                    v.wall.push_back(w);
                    v.cpu.push_back(c);
                    v.longestIdleGap = std::max(v.longestIdleGap, longest);
                }
                v.outSize = r.outSize;
                v.crc = r.crc;
                if (round == 0)
                    v.md5 = md5.result().toHex().left(12);
            }
        }
        std::printf("\n%s (%lld bytes)\n%-16s %-23s %-23s %12s %8s %8s %8s %12s\n", file.constData(),
                    static_cast<long long>(size), "", "wall s min/med/max", "cpu s min/med/max", "bytes out",
                    "vs one", "speedup", "idle gap", "md5");
        const Variant& base = variants[1];
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        for (size_t k = 0; k < variants.size(); ++k) {
            const Variant& v = variants[k];
            const bool deflated = v.outSize > 0;
            // Each variant alone follows the workers' one of its piece size.
            const bool differs = v.name.startsWith("alone") && v.md5 != variants[k - 1].md5;
            std::printf(
                "%-16s %s %s %12lld %8s %8s %6.1fms %12s%s%s\n", v.name.constData(),
                spread(v.wall).constData(), spread(v.cpu).constData(), static_cast<long long>(v.outSize),
                deflated ? qPrintable(QString::asprintf("%+.3f%%", 100.0 * (v.outSize - base.outSize) /
                                                                       static_cast<double>(base.outSize)))
                         : "",
                qPrintable(QString::asprintf("%.2fx", median(base.wall) / median(v.wall))), v.longestIdleGap,
                deflated ? v.md5.constData() : "", deflated && v.crc != base.crc ? "  CRC DIFFERS" : "",
                differs ? "  STREAM DIFFERS" : "");
        }
    }
    printLoad("after");
    return 0;
}
