#include "platform/StoredData.h"

#include "platform/Deflater.h"

#include <QByteArray>
#include <cerrno>
#include <libdeflate.h>
#include <memory>
#include <unistd.h>
#include <zlib.h>

namespace {

// Up to this size an entry is inflated in one go; larger ones a piece at a time.
constexpr quint64 kWhole = 4 * 1024 * 1024;
constexpr qsizetype kPiece = 1 << 20;

bool ReadAt(int fd, char* into, qint64 size, quint64 at)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, into + done, size_t(size - done), off_t(at + quint64(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Where the entry's data begins: after its local header, name and extra field.
bool DataOffset(int fd, const ZipDirectory::Record& rec, quint64& at)
{
    uchar header[30];
    if (!ReadAt(fd, reinterpret_cast<char*>(header), sizeof header, rec.offset) ||
        !(header[0] == 'P' && header[1] == 'K' && header[2] == 3 && header[3] == 4))
        return false;
    const quint32 nameLen = header[26] | (header[27] << 8);
    const quint32 extraLen = header[28] | (header[29] << 8);
    at = rec.offset + sizeof header + nameLen + extraLen;
    return true;
}

struct DecompressorFree
{
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

bool WholeMatches(int fd, const ZipDirectory::Record& rec, quint64 at, bool stored)
{
    QByteArray in(qsizetype(rec.csize), Qt::Uninitialized);
    if (!ReadAt(fd, in.data(), in.size(), at))
        return false;
    if (stored)
        return rec.csize == rec.usize && Crc32(0, in.constData(), in.size()) == rec.crc;
    // One per worker thread, made with its first check.
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> d(
        libdeflate_alloc_decompressor());
    if (!d)
        return false;
    QByteArray out(qsizetype(rec.usize), Qt::Uninitialized);
    size_t got = 0;
    return libdeflate_deflate_decompress(d.get(), in.constData(), size_t(in.size()), out.data(),
                                         size_t(out.size()), &got) == LIBDEFLATE_SUCCESS &&
           got == rec.usize && Crc32(0, out.constData(), out.size()) == rec.crc;
}

bool PiecesMatch(int fd, const ZipDirectory::Record& rec, quint64 at, bool stored)
{
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

bool StoredDataMatches(int fd, const ZipDirectory::Record& rec)
{
    if (rec.flags & ZipDirectory::Dir)
        return true;
    quint64 at = 0;
    if (!DataOffset(fd, rec, at))
        return false;
    const bool stored = (rec.flags & ZipDirectory::Stored) != 0;
    return rec.usize <= kWhole && rec.csize <= kWhole ? WholeMatches(fd, rec, at, stored)
                                                      : PiecesMatch(fd, rec, at, stored);
}
