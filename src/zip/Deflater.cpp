#include "zip/Deflater.h"

#include <libdeflate.h>

Deflater::~Deflater()
{
    libdeflate_free_compressor(m_c);
}

bool Deflater::ready()
{
    if (m_c == nullptr)
        m_c = libdeflate_alloc_compressor(kLevel);
    return m_c != nullptr;
}

qsizetype Deflater::bound(qsizetype size)
{
    // Asked without a compressor, the bound holds for any: none need be made for it.
    return qsizetype(libdeflate_deflate_compress_bound(nullptr, size_t(size)));
}

qsizetype Deflater::deflate(const char* in, qsizetype size, char* out, qsizetype cap)
{
    if (!ready())
        return 0;
    return qsizetype(libdeflate_deflate_compress(m_c, in, size_t(size), out, size_t(cap)));
}

bool Deflater::deflate(const char* in, qsizetype size, QByteArray& out)
{
    out.resize(bound(size));
    const qsizetype n = deflate(in, size, out.data(), out.size());
    out.resize(n);
    return n > 0;
}

quint32 Crc32(quint32 crc, const char* data, qint64 size)
{
    return libdeflate_crc32(crc, data, size_t(size));
}
