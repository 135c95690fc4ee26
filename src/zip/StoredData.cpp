#include "zip/StoredData.h"

#include "platform/FileIO.h"
#include "zip/Deflater.h"

#include <QByteArray>
#include <libdeflate.h>
#include <memory>
#include <zlib.h>

namespace {

// Up to this size an entry is inflated in one go; larger ones a piece at a time.
constexpr quint64 kWhole = 4 * 1024 * 1024;
constexpr qsizetype kPiece = 1 << 20;

bool ReadAt(int fd, char* into, qint64 size, quint64 at)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = FileIO::readAt(fd, into + done, size - done, at + quint64(done));
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Where the entry's data begins: after its local header, name and, for a
// Zip64 header, its extra field. The caller has checked the header is the
// one ZipWriter writes, so its length is known without reading it.
quint64 DataOffset(const ZipDirectory::Record& rec)
{
    return rec.offset + 30 + rec.nameLen + ((rec.flags & ZipDirectory::Zip64Local) ? 20 : 0);
}

// Small entries' buffers are kept per worker thread: a fresh allocation per
// entry costs more than the check of a small one. Larger ones come and go.
constexpr qsizetype kKept = 256 * 1024;
QByteArray& Buffer(int which, qsizetype size, QByteArray& large)
{
    thread_local QByteArray buffers[2];
    QByteArray& b = size <= kKept ? buffers[which] : large;
    if (b.size() < size)
        b.resize(size);
    return b;
}

struct DecompressorFree
{
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

bool WholeMatches(int fd, const ZipDirectory::Record& rec, quint64 at, bool stored, quint32& dataCrc)
{
    const auto csize = qsizetype(rec.csize);
    QByteArray largeIn, largeOut;
    QByteArray& in = Buffer(0, csize, largeIn);
    if (!ReadAt(fd, in.data(), csize, at))
        return false;
    dataCrc = Crc32(0, in.constData(), csize);
    if (stored)
        return rec.csize == rec.usize && dataCrc == rec.crc;
    // One per worker thread, made with its first check.
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> d(
        libdeflate_alloc_decompressor());
    if (!d)
        return false;
    const auto usize = qsizetype(rec.usize);
    QByteArray& out = Buffer(1, usize, largeOut);
    size_t got = 0;
    return libdeflate_deflate_decompress(d.get(), in.constData(), size_t(csize), out.data(), size_t(usize),
                                         &got) == LIBDEFLATE_SUCCESS &&
           got == rec.usize && Crc32(0, out.constData(), usize) == rec.crc;
}

bool PiecesMatch(int fd, const ZipDirectory::Record& rec, quint64 at, bool stored, quint32& dataCrc)
{
    dataCrc = 0;
    QByteArray in(kPiece, Qt::Uninitialized);
    QByteArray out(kPiece, Qt::Uninitialized);
    z_stream zs = {};
    if (!stored && inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return false;
    const std::unique_ptr<z_stream, int (*)(z_stream*)> end(stored ? nullptr : &zs, inflateEnd);
    quint32 crc = 0;
    quint64 produced = 0;
    int status = Z_OK;
    for (quint64 read = 0; read < rec.csize;) {
        const qint64 n = qint64(qMin<quint64>(quint64(kPiece), rec.csize - read));
        if (!ReadAt(fd, in.data(), n, at + read))
            return false;
        read += quint64(n);
        dataCrc = Crc32(dataCrc, in.constData(), n);
        if (stored) {
            crc = Crc32(crc, in.constData(), n);
            produced += quint64(n);
            continue;
        }
        zs.next_in = reinterpret_cast<Bytef*>(in.data());
        zs.avail_in = uInt(n);
        do {
            zs.next_out = reinterpret_cast<Bytef*>(out.data());
            zs.avail_out = uInt(out.size());
            status = inflate(&zs, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END)
                return false;
            const qint64 made = out.size() - qint64(zs.avail_out);
            crc = Crc32(crc, out.constData(), made);
            produced += quint64(made);
        } while (zs.avail_in > 0 && status != Z_STREAM_END);
    }
    return (stored || status == Z_STREAM_END) && produced == rec.usize && crc == rec.crc;
}

} // namespace

bool StoredDataMatches(int fd, const ZipDirectory::Record& rec, quint32* dataCrc)
{
    quint32 ignored = 0;
    quint32& crc = dataCrc != nullptr ? *dataCrc : ignored;
    crc = 0;
    if (rec.flags & ZipDirectory::Dir)
        return true;
    const quint64 at = DataOffset(rec);
    const bool stored = (rec.flags & ZipDirectory::Stored) != 0;
    return rec.usize <= kWhole && rec.csize <= kWhole ? WholeMatches(fd, rec, at, stored, crc)
                                                      : PiecesMatch(fd, rec, at, stored, crc);
}

bool StoredBytesHaveCrc(int fd, const ZipDirectory& dir, quint32 i,
                        const std::function<bool(quint32 record, quint32& crc)>& expected,
                        std::atomic<quint8>* checked)
{
    if (checked != nullptr && checked[i].load(std::memory_order_relaxed) != 0)
        return checked[i].load(std::memory_order_relaxed) == 1;
    const ZipDirectory::Record& rec = dir.at(i);
    quint32 want = 0;
    if (!expected(i, want))
        return false;
    // Small entries lie side by side: one read for the data of those within
    // 64 KiB costs less than a read each.
    constexpr quint64 kReach = 64 * 1024;
    const quint64 from = DataOffset(rec);
    quint64 to = from + rec.csize;
    quint32 last = i;
    while (checked != nullptr && rec.csize <= kReach && last + 1 < dir.size()) {
        const ZipDirectory::Record& next = dir.at(last + 1);
        const quint64 end = DataOffset(next) + next.csize;
        quint32 ignored = 0;
        if (DataOffset(next) < to || end - from > kReach ||
            checked[last + 1].load(std::memory_order_relaxed) != 0 || !expected(last + 1, ignored))
            break;
        to = end;
        ++last;
    }
    bool ok = false;
    if (last == i && rec.csize > kReach) {
        QByteArray piece(kPiece, Qt::Uninitialized);
        quint32 crc = 0;
        ok = true;
        for (quint64 read = 0; ok && read < rec.csize;) {
            const qint64 n = qint64(qMin<quint64>(quint64(kPiece), rec.csize - read));
            ok = ReadAt(fd, piece.data(), n, from + read);
            crc = Crc32(crc, piece.constData(), n);
            read += quint64(n);
        }
        ok = ok && crc == want;
    } else {
        thread_local QByteArray window;
        window.resize(qsizetype(to - from));
        const bool read = ReadAt(fd, window.data(), window.size(), from);
        for (quint32 k = i; k <= last; ++k) {
            const ZipDirectory::Record& r = dir.at(k);
            quint32 crc = 0;
            const bool same = read && expected(k, crc) &&
                              Crc32(0, window.constData() + (DataOffset(r) - from), qint64(r.csize)) == crc;
            if (k == i)
                ok = same;
            else if (checked != nullptr)
                checked[k].store(same ? 1 : 2, std::memory_order_relaxed);
        }
    }
    if (checked != nullptr)
        checked[i].store(ok ? 1 : 2, std::memory_order_relaxed);
    return ok;
}
