#pragma once

#include "zip/ZipDirectory.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <ctime>

// The zip format's records as this program writes and reads them: the
// signatures and fixed fields, little-endian numbers, and the one
// conversion of a file's time to the two-second local time a zip entry holds.
namespace ZipFormat {

inline constexpr quint32 kLocalSig = 0x04034b50;
inline constexpr quint32 kCentralSig = 0x02014b50;
inline constexpr quint32 kEndSig = 0x06054b50;
inline constexpr quint32 kEnd64Sig = 0x06064b50;
inline constexpr quint32 kLocator64Sig = 0x07064b50;
// Unix, 3.0, as Info-ZIP's zip writes it. Archives of earlier builds say 6.3:
// their entries were deflated by zlib, which a fresh build would not repeat,
// so they are not taken for copying.
inline constexpr quint16 kMadeBy = 0x031E;
inline constexpr quint16 kNeeds = 20;
inline constexpr quint16 kNeeds64 = 45;
inline constexpr quint16 kUtf8Flag = 0x0800;
inline constexpr quint32 kFileAttributes = 0100644u << 16;
inline constexpr quint32 kDirAttributes = (0040755u << 16) | 0x10u;
inline constexpr quint64 kMax32 = 0xFFFFFFFFu;

inline void put16(QByteArray& out, quint16 v)
{
    const char b[2] = {char(v & 0xFF), char(v >> 8)};
    out.append(b, 2);
}
inline void put32(QByteArray& out, quint32 v)
{
    put16(out, quint16(v & 0xFFFF));
    put16(out, quint16(v >> 16));
}
inline void put64(QByteArray& out, quint64 v)
{
    put32(out, quint32(v & kMax32));
    put32(out, quint32(v >> 32));
}
inline char* le16(char* p, quint16 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
    return p + 2;
}
inline char* le32(char* p, quint32 v)
{
    return le16(le16(p, quint16(v & 0xFFFF)), quint16(v >> 16));
}
inline char* le64(char* p, quint64 v)
{
    return le32(le32(p, quint32(v & kMax32)), quint32(v >> 32));
}
inline quint16 get16(const char* p)
{
    return quint16(uchar(p[0]) | (uchar(p[1]) << 8));
}
inline quint32 get32(const char* p)
{
    return quint32(get16(p)) | (quint32(get16(p + 2)) << 16);
}
inline quint64 get64(const char* p)
{
    return quint64(get32(p)) | (quint64(get32(p + 4)) << 32);
}

inline bool isAscii(QByteArrayView name)
{
    for (char c : name)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

inline quint16 flagsFor(QByteArrayView name)
{
    return isAscii(name) ? 0 : kUtf8Flag;
}

inline quint16 methodOf(const ZipDirectory::Record& r)
{
    return (r.flags & (ZipDirectory::Dir | ZipDirectory::Stored)) ? 0 : 8;
}

} // namespace ZipFormat

// Reads exactly size bytes at at; false on an error or the end of the file.
bool PreadAll(int fd, char* data, qsizetype size, quint64 at);

// The local header ZipWriter writes for record r named name.
void AppendLocalHeader(QByteArray& out, const ZipDirectory::Record& r, QByteArrayView name);

// The time as a zip entry holds it: local time in two-second steps, the
// date in the high half.
quint32 ZipDosTime(time_t t);
