#pragma once

#include <QByteArray>
#include <QtGlobal>

struct libdeflate_compressor;

// A raw deflate compressor (as a zip entry holds its data) kept for buffer
// after buffer. libdeflate deflates a whole buffer in a quarter to a half of
// zlib's time at the same level, and its streams come out smaller: the same
// bytes always give the same stream, whatever was deflated before.
class Deflater
{
public:
    static constexpr int kLevel = 6; // below this some files come out larger than zlib's level 6
    Deflater() = default;
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Room the stream of size bytes may need at most.
    qsizetype bound(qsizetype size);
    // Deflates size bytes of in into out, which has cap bytes of room (bound()
    // is always enough): the stream's length, or 0 when the compressor could
    // not be made.
    qsizetype deflate(const char* in, qsizetype size, char* out, qsizetype cap);
    // The same into a buffer grown as needed and cut to the stream.
    bool deflate(const char* in, qsizetype size, QByteArray& out);

private:
    libdeflate_compressor* m_c =
        nullptr; // made for the first buffer: a worker that only copies never pays for it
    bool ready();
};

// CRC-32 as zip stores it, continued from crc.
quint32 Crc32(quint32 crc, const char* data, qint64 size);
