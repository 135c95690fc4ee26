#include "zip/ZipFormat.h"

#include "platform/FileIO.h"

using namespace ZipFormat;

bool PreadAll(int fd, char* data, qsizetype size, quint64 at)
{
    while (size > 0) {
        const qint64 n = FileIO::readAt(fd, data, size, at);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
        at += quint64(n);
    }
    return true;
}

quint32 ZipDosTime(time_t t)
{
    struct tm tm = {};
    if (localtime_r(&t, &tm) == nullptr || tm.tm_year < 80)
        return (1u << 21) | (1u << 16); // 1980-01-01, the earliest a zip time holds
    // The year has seven bits: past 2107 it would wrap to the 1980s.
    if (tm.tm_year > 207)
        return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    const quint32 date =
        (quint32(tm.tm_year - 80) << 9) | (quint32(tm.tm_mon + 1) << 5) | quint32(tm.tm_mday);
    const quint32 time = (quint32(tm.tm_hour) << 11) | (quint32(tm.tm_min) << 5) | (quint32(tm.tm_sec) >> 1);
    return (date << 16) | time;
}

void AppendLocalHeader(QByteArray& out, const ZipDirectory::Record& r, QByteArrayView name)
{
    const bool zip64 = (r.flags & ZipDirectory::Zip64Local) != 0;
    put32(out, kLocalSig);
    put16(out, zip64 || r.offset >= kMax32 ? kNeeds64 : kNeeds);
    put16(out, flagsFor(name));
    put16(out, methodOf(r));
    put16(out, quint16(r.dosTime & 0xFFFF));
    put16(out, quint16(r.dosTime >> 16));
    put32(out, r.crc);
    put32(out, zip64 ? quint32(kMax32) : quint32(r.csize));
    put32(out, zip64 ? quint32(kMax32) : quint32(r.usize));
    put16(out, quint16(name.size()));
    put16(out, zip64 ? 20 : 0);
    out.append(name.data(), name.size());
    if (zip64) {
        put16(out, 1);
        put16(out, 16);
        put64(out, r.usize);
        put64(out, r.csize);
    }
}
