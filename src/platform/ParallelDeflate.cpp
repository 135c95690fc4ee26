#include "platform/ParallelDeflate.h"

#include <QElapsedTimer>
#include <cerrno>
#include <unistd.h>
#include <vector>
#include <zlib.h>

DeflateResult DeflateFile(int fd, qint64 expected, int level,
                          const std::function<bool(const char*, qsizetype)>& sink,
                          const std::function<bool()>& idle)
{
    DeflateResult r;
    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        r.failure = DeflateResult::ReadFailed;
        return r;
    }
    std::vector<char> in(1 << 20);
    std::vector<char> out(deflateBound(&zs, static_cast<uLong>(in.size())) + 64);
    QElapsedTimer clock;
    clock.start();
    for (bool eof = false; !eof;) {
        ssize_t n = ::read(fd, in.data(), in.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            r.failure = DeflateResult::ReadFailed;
            break;
        }
        eof = n == 0;
        r.inSize += n;
        if (r.inSize > expected || (eof && r.inSize != expected)) {
            r.failure = DeflateResult::Changed;
            break;
        }
        r.crc = static_cast<quint32>(
            crc32_z(r.crc, reinterpret_cast<const Bytef*>(in.data()), static_cast<z_size_t>(n)));
        zs.next_in = reinterpret_cast<Bytef*>(in.data());
        zs.avail_in = static_cast<uInt>(n);
        do {
            zs.next_out = reinterpret_cast<Bytef*>(out.data());
            zs.avail_out = static_cast<uInt>(out.size());
            deflate(&zs, eof ? Z_FINISH : Z_NO_FLUSH);
            const auto have = static_cast<qsizetype>(out.size() - zs.avail_out);
            r.outSize += have;
            if (have > 0 && !sink(out.data(), have)) {
                r.failure = DeflateResult::Abandoned;
                break;
            }
        } while (zs.avail_out == 0);
        if (r.failure != DeflateResult::None)
            break;
        if (clock.elapsed() >= 20) {
            clock.restart();
            if (!idle()) {
                r.failure = DeflateResult::Abandoned;
                break;
            }
        }
    }
    deflateEnd(&zs);
    return r;
}
