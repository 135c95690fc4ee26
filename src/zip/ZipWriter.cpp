#include "zip/ZipWriter.h"

#include "platform/FileIO.h"
#include "zip/ZipFormat.h"

#include <QFile>
#include <cstring>

using namespace ZipFormat;

namespace {

constexpr qsizetype kBufferSize = 1 << 20;

} // namespace

ZipWriter::~ZipWriter()
{
    close();
}

bool ZipWriter::create(const QString& path)
{
    close();
    m_dir.clear();
    m_error = 0;
    m_end = 0;
    m_buf.clear();
    m_copyLen = 0;
    m_writebackFrom = 0;
    m_path = path;
    m_fd = FileIO::open(QFile::encodeName(path).constData(), FileIO::Mode::CreateNew).release();
    FileIO::Status st;
    if (m_fd < 0 || !FileIO::statusOf(m_fd, st)) {
        m_error = FileIO::lastError();
        close();
        return false;
    }
    m_dev = st.device;
    m_ino = st.inode;
    m_buf.reserve(kBufferSize);
    beginRun();
    return true;
}

bool ZipWriter::unchangedOnDisk() const
{
    FileIO::Status byPath;
    FileIO::Status byFd;
    return m_fd >= 0 && FileIO::statusOf(QFile::encodeName(m_path).constData(), byPath) &&
           FileIO::statusOf(m_fd, byFd) && byPath.device == m_dev && byPath.inode == m_ino &&
           quint64(byFd.size) == m_end - quint64(m_buf.size()) - m_copyLen;
}

void ZipWriter::beginRun()
{
    m_runStart = m_end;
    m_runRecords = m_dir.size();
    m_runSuperseded.clear();
    m_stream = ZipDirectory::kNone;
}

bool ZipWriter::rollbackRun()
{
    m_dir.truncate(m_runRecords);
    for (quint32 i : m_runSuperseded)
        m_dir.at(i).flags &= quint8(~ZipDirectory::Dead);
    m_runSuperseded.clear();
    m_stream = ZipDirectory::kNone;
    // Only cutting back bytes already on disk clears a failed write: buffered ones never left.
    if (m_runStart < m_end - quint64(m_buf.size()) - m_copyLen)
        m_error = 0;
    return truncateTo(m_runStart);
}

bool ZipWriter::truncateTo(quint64 end)
{
    const quint64 onDisk = m_end - quint64(m_buf.size()) - m_copyLen;
    m_end = end;
    if (end >= onDisk) {
        // What stays of the bytes not on disk yet, buffered or still to be copied.
        if (m_copyLen > 0)
            m_copyLen = end - onDisk;
        else
            m_buf.truncate(qsizetype(end - onDisk));
        return true;
    }
    m_buf.resize(0);
    m_copyLen = 0;
    return m_fd >= 0 && FileIO::truncate(m_fd, end);
}

void ZipWriter::supersede(quint32 index)
{
    // The old entry's bytes stay in the file, unreferenced: moving later
    // entries down would mean rewriting everything behind it.
    m_dir.at(index).flags |= ZipDirectory::Dead;
    if (index < m_runRecords)
        m_runSuperseded.push_back(index);
}

bool ZipWriter::pwriteAll(const char* data, qsizetype size, quint64 at)
{
    if (!FileIO::writeAllAt(m_fd, data, size, at)) {
        m_error = FileIO::lastError();
        return false;
    }
    wroteUpTo(at + quint64(size));
    return true;
}

void ZipWriter::wroteUpTo(quint64 end)
{
    // The archive goes to the disk before it takes the old one's place; begun
    // as it is written, that leaves the end of the build little more than the
    // last few megabytes to wait for.
    constexpr quint64 kWriteback = 8 * 1024 * 1024;
    if (end < m_writebackFrom + kWriteback)
        return;
    FileIO::startWriteback(m_fd, m_writebackFrom, end - m_writebackFrom);
    m_writebackFrom = end;
}

bool ZipWriter::flush()
{
    if (m_error != 0 || m_fd < 0)
        return false;
    if (m_copyLen > 0)
        return copyOut(m_copyLen);
    if (m_buf.isEmpty())
        return true;
    const bool ok = pwriteAll(m_buf.constData(), m_buf.size(), m_end - quint64(m_buf.size()));
    // Kept for the next bytes: a buffer allocated afresh faults in every page again.
    m_buf.resize(0);
    return ok;
}

bool ZipWriter::put(const char* data, qsizetype size)
{
    if (m_error != 0 || m_fd < 0 || (m_copyLen > 0 && !copyOut(m_copyLen)))
        return false;
    m_end += quint64(size);
    if (m_buf.size() + size <= kBufferSize) {
        m_buf.append(data, size);
        return true;
    }
    const quint64 at = m_end - quint64(size) - quint64(m_buf.size());
    if (!m_buf.isEmpty() && !pwriteAll(m_buf.constData(), m_buf.size(), at))
        return false;
    const quint64 dataAt = at + quint64(m_buf.size());
    m_buf.resize(0);
    if (size >= kBufferSize)
        return pwriteAll(data, size, dataAt);
    m_buf.append(data, size);
    return true;
}

bool ZipWriter::writeEntry(QByteArrayView name, quint32 dosTime, bool isDir, quint32 crc, quint64 usize,
                           QByteArrayView data, qint32 origin, bool stored)
{
    ZipDirectory::Record r;
    r.offset = m_end;
    r.csize = quint64(data.size());
    r.usize = usize;
    r.crc = crc;
    r.dosTime = dosTime;
    r.origin = origin;
    r.flags = quint8((isDir ? ZipDirectory::Dir : 0) | (stored ? ZipDirectory::Stored : 0) |
                     (r.csize >= kMax32 || usize >= kMax32 ? ZipDirectory::Zip64Local : 0));
    QByteArray header;
    AppendLocalHeader(header, r, name);
    if (!put(header.constData(), header.size()) || !put(data.data(), data.size()))
        return false;
    m_dir.add(name, r);
    return true;
}

bool ZipWriter::beginStream(QByteArrayView name, quint32 dosTime, quint64 listedSize, qint32 origin)
{
    ZipDirectory::Record r;
    r.offset = m_end;
    r.dosTime = dosTime;
    r.origin = origin;
    // Deflate may grow incompressible data a little: a file this close to
    // 4 GiB gets its 64-bit sizes before it is known whether it needs them.
    if (listedSize + listedSize / 256 + 65536 >= kMax32)
        r.flags |= ZipDirectory::Zip64Local;
    QByteArray header;
    AppendLocalHeader(header, r, name);
    if (!put(header.constData(), header.size()))
        return false;
    m_stream = m_dir.add(name, r);
    return true;
}

bool ZipWriter::append(const char* data, qsizetype size)
{
    return put(data, size);
}

bool ZipWriter::rewindStream()
{
    if (m_stream == ZipDirectory::kNone || m_error != 0)
        return false;
    const ZipDirectory::Record& r = m_dir.at(m_stream);
    const bool zip64 = (r.flags & ZipDirectory::Zip64Local) != 0;
    if (truncateTo(r.offset + 30 + r.nameLen + (zip64 ? 20 : 0)))
        return true;
    m_error = FileIO::lastError();
    return false;
}

bool ZipWriter::endStream(quint32 crc, quint64 csize, quint64 usize, bool stored)
{
    if (m_stream == ZipDirectory::kNone || !flush())
        return false;
    ZipDirectory::Record& r = m_dir.at(m_stream);
    m_stream = ZipDirectory::kNone;
    r.crc = crc;
    r.csize = csize;
    r.usize = usize;
    if (stored)
        r.flags |= ZipDirectory::Stored;
    const bool zip64 = (r.flags & ZipDirectory::Zip64Local) != 0;
    if (!zip64 && (csize >= kMax32 || usize >= kMax32)) {
        m_error = EFBIG;
        return false;
    }
    QByteArray patch;
    put16(patch, methodOf(r));
    put16(patch, quint16(r.dosTime & 0xFFFF));
    put16(patch, quint16(r.dosTime >> 16));
    put32(patch, crc);
    put32(patch, zip64 ? quint32(kMax32) : quint32(csize));
    put32(patch, zip64 ? quint32(kMax32) : quint32(usize));
    if (!pwriteAll(patch.constData(), patch.size(), r.offset + 8))
        return false;
    if (!zip64)
        return true;
    patch.clear();
    put64(patch, usize);
    put64(patch, csize);
    return pwriteAll(patch.constData(), patch.size(), r.offset + 30 + r.nameLen + 4);
}

bool ZipWriter::copyEntry(QByteArrayView name, const ZipDirectory::Record& old, int fd, qint32 origin)
{
    if (m_error != 0 || m_fd < 0)
        return false;
    ZipDirectory::Record r = old;
    r.offset = m_end;
    r.origin = origin;
    r.flags &= quint8(~ZipDirectory::Dead);
    const quint64 headerSize = 30 + quint64(name.size());
    quint64 from = old.offset;
    quint64 length = headerSize + old.csize;
    if (r.offset >= kMax32) {
        // So far into the archive the header needs another version: written here.
        QByteArray header;
        AppendLocalHeader(header, r, name);
        if (!put(header.constData(), header.size()))
            return false;
        from += headerSize;
        length -= headerSize;
    }
    if (m_copyLen > 0 && (fd != m_copyFd || from != m_copyFrom + m_copyLen) && !copyOut(m_copyLen))
        return false;
    if (m_copyLen == 0) {
        if (!flush())
            return false;
        m_copyFd = fd;
        m_copyFrom = from;
    }
    m_copyLen += length;
    m_end += length;
    m_dir.add(name, r);
    return true;
}

bool ZipWriter::copyPending(quint64 bytes)
{
    return m_error == 0 && m_fd >= 0 && copyOut(qMin(bytes, m_copyLen));
}

bool ZipWriter::copyOut(quint64 bytes)
{
    quint64 at = m_end - m_copyLen;
    const quint64 stop = m_copyFrom + bytes;
    m_copyLen -= bytes;
    // Within one file system the kernel copies without the bytes passing
    // through here; elsewhere, or where it cannot, they are read and written.
    while (m_copyFrom < stop) {
        if (m_copyInKernel) {
            const qint64 n = FileIO::copyRange(m_copyFd, m_copyFrom, m_fd, at, stop - m_copyFrom);
            if (n > 0) {
                wroteUpTo(at);
                continue;
            }
            if (n < 0) {
                m_error = FileIO::lastError();
                return false;
            }
            m_copyInKernel = false;
        }
        m_buf.resize(qsizetype(qMin<quint64>(quint64(kBufferSize), stop - m_copyFrom)));
        const bool ok = PreadAll(m_copyFd, m_buf.data(), m_buf.size(), m_copyFrom) &&
                        pwriteAll(m_buf.constData(), m_buf.size(), at);
        m_copyFrom += quint64(m_buf.size());
        at += quint64(m_buf.size());
        m_buf.resize(0);
        if (!ok) {
            if (m_error == 0)
                m_error = FileIO::ioError();
            return false;
        }
    }
    return true;
}

bool ZipWriter::finish(QByteArrayView comment, const std::function<void()>& turn)
{
    const quint64 cdStart = m_end;
    quint64 count = 0;
    for (quint32 i = 0; i < m_dir.size(); ++i) {
        const ZipDirectory::Record& r = m_dir.at(i);
        if (r.flags & ZipDirectory::Dead)
            continue;
        if ((++count & 1023) == 0 && turn)
            turn();
        const QByteArrayView name = m_dir.name(r);
        char extra[28];
        char* e = le16(le16(extra, 1), 0);
        if (r.usize >= kMax32)
            e = le64(e, r.usize);
        if (r.csize >= kMax32)
            e = le64(e, r.csize);
        if (r.offset >= kMax32)
            e = le64(e, r.offset);
        const auto extraSize = quint16(e - extra);
        le16(extra + 2, quint16(extraSize - 4));
        const bool zip64 = extraSize > 4 || (r.flags & ZipDirectory::Zip64Local);
        char h[46];
        char* p = le16(le16(le32(h, kCentralSig), kMadeBy), zip64 ? kNeeds64 : kNeeds);
        p = le16(le16(p, flagsFor(name)), methodOf(r));
        p = le32(le32(p, r.dosTime), r.crc);
        p = le32(le32(p, quint32(qMin(r.csize, kMax32))), quint32(qMin(r.usize, kMax32)));
        p = le16(le16(p, quint16(name.size())), extraSize > 4 ? extraSize : 0);
        p = le16(le16(le16(p, 0), 0), 0); // comment, disk, internal attributes
        p = le32(p, (r.flags & ZipDirectory::Dir) ? kDirAttributes : kFileAttributes);
        le32(p, quint32(qMin(r.offset, kMax32)));
        if (!put(h, sizeof h) || !put(name.data(), name.size()) || (extraSize > 4 && !put(extra, extraSize)))
            return false;
    }
    QByteArray rec;
    const quint64 cdSize = m_end - cdStart;
    rec.clear();
    if (count >= 0xFFFF || cdSize >= kMax32 || cdStart >= kMax32) {
        const quint64 end64 = m_end;
        put32(rec, kEnd64Sig);
        put64(rec, 44);
        put16(rec, kMadeBy);
        put16(rec, kNeeds64);
        put32(rec, 0);
        put32(rec, 0);
        put64(rec, count);
        put64(rec, count);
        put64(rec, cdSize);
        put64(rec, cdStart);
        put32(rec, kLocator64Sig);
        put32(rec, 0);
        put64(rec, end64);
        put32(rec, 1);
    }
    put32(rec, kEndSig);
    put32(rec, 0);
    put16(rec, quint16(qMin<quint64>(count, 0xFFFF)));
    put16(rec, quint16(qMin<quint64>(count, 0xFFFF)));
    put32(rec, quint32(qMin(cdSize, kMax32)));
    put32(rec, quint32(qMin(cdStart, kMax32)));
    const QByteArrayView text = comment.first(qMin<qsizetype>(comment.size(), 0xFFFF));
    put16(rec, quint16(text.size()));
    rec.append(text.data(), text.size());
    if (!put(rec.constData(), rec.size()) || !flush())
        return false;
    if (!FileIO::close(m_fd)) {
        m_error = FileIO::lastError();
        m_fd = -1;
        return false;
    }
    m_fd = -1;
    return true;
}

void ZipWriter::close()
{
    if (m_fd >= 0)
        FileIO::close(m_fd);
    m_fd = -1;
    m_buf.clear();
    m_copyLen = 0;
}

void ZipWriter::remove()
{
    close();
    if (!m_path.isEmpty())
        FileIO::remove(QFile::encodeName(m_path).constData());
    m_dir.clear();
}
