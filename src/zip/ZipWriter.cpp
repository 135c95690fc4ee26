#include "zip/ZipWriter.h"

#include "platform/FileIO.h"

#include <QFile>
#include <QHashFunctions>
#include <cstring>
#include <ctime>

namespace {

constexpr quint32 kLocalSig = 0x04034b50;
constexpr quint32 kCentralSig = 0x02014b50;
constexpr quint32 kEndSig = 0x06054b50;
constexpr quint32 kEnd64Sig = 0x06064b50;
constexpr quint32 kLocator64Sig = 0x07064b50;
// Unix, 3.0, as Info-ZIP's zip writes it. Archives of earlier builds say 6.3:
// their entries were deflated by zlib, which a fresh build would not repeat,
// so they are not taken for copying.
constexpr quint16 kMadeBy = 0x031E;
constexpr quint16 kNeeds = 20;
constexpr quint16 kNeeds64 = 45;
constexpr quint16 kUtf8Flag = 0x0800;
constexpr quint32 kFileAttributes = 0100644u << 16;
constexpr quint32 kDirAttributes = (0040755u << 16) | 0x10u;
constexpr quint64 kMax32 = 0xFFFFFFFFu;
constexpr qsizetype kBufferSize = 1 << 20;

quint32 nameHash(QByteArrayView name)
{
    return quint32(qHashBits(name.data(), size_t(name.size()), 0x9e3779b9u));
}

void put16(QByteArray& out, quint16 v)
{
    const char b[2] = {char(v & 0xFF), char(v >> 8)};
    out.append(b, 2);
}
void put32(QByteArray& out, quint32 v)
{
    put16(out, quint16(v & 0xFFFF));
    put16(out, quint16(v >> 16));
}
void put64(QByteArray& out, quint64 v)
{
    put32(out, quint32(v & kMax32));
    put32(out, quint32(v >> 32));
}
char* le16(char* p, quint16 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
    return p + 2;
}
char* le32(char* p, quint32 v)
{
    return le16(le16(p, quint16(v & 0xFFFF)), quint16(v >> 16));
}
char* le64(char* p, quint64 v)
{
    return le32(le32(p, quint32(v & kMax32)), quint32(v >> 32));
}
quint16 get16(const char* p)
{
    return quint16(uchar(p[0]) | (uchar(p[1]) << 8));
}
quint32 get32(const char* p)
{
    return quint32(get16(p)) | (quint32(get16(p + 2)) << 16);
}
quint64 get64(const char* p)
{
    return quint64(get32(p)) | (quint64(get32(p + 4)) << 32);
}

bool isAscii(QByteArrayView name)
{
    for (char c : name)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

quint16 flagsFor(QByteArrayView name)
{
    return isAscii(name) ? 0 : kUtf8Flag;
}

quint16 methodOf(const ZipDirectory::Record& r)
{
    return (r.flags & (ZipDirectory::Dir | ZipDirectory::Stored)) ? 0 : 8;
}

bool preadAll(int fd, char* data, qsizetype size, quint64 at)
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

} // namespace

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

quint32 ZipDirectory::find(QByteArrayView name) const
{
    if (m_slots.empty())
        return kNone;
    const quint32 h = nameHash(name);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        const quint32 index = m_slots[i];
        if (index == kNone)
            return kNone;
        const Record& r = m_records[index];
        if (r.hash == h && (r.flags & Dead) == 0 && this->name(r) == name)
            return index;
    }
}

void ZipDirectory::rehash(size_t size)
{
    m_slots.assign(size, kNone);
    const size_t mask = size - 1;
    for (quint32 index = 0; index < m_records.size(); ++index) {
        size_t i = m_records[index].hash & mask;
        while (m_slots[i] != kNone)
            i = (i + 1) & mask;
        m_slots[i] = index;
    }
}

quint32 ZipDirectory::add(QByteArrayView name, const Record& r)
{
    const auto index = quint32(m_records.size());
    Record rec = r;
    rec.hash = nameHash(name);
    rec.nameLen = quint16(name.size());
    // A name never straddles two blocks.
    if ((m_used & kBlockMask) + quint32(name.size()) > kBlockMask + 1)
        m_used = (m_used | kBlockMask) + 1;
    if ((m_used >> kBlockBits) >= m_blocks.size())
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(kBlockMask + 1));
    rec.nameAt = m_used;
    std::memcpy(m_blocks[m_used >> kBlockBits].get() + (m_used & kBlockMask), name.data(),
                size_t(name.size()));
    m_used += quint32(name.size());
    m_records.push_back(rec);
    if (m_records.size() * 2 > m_slots.size()) {
        rehash(qMax<size_t>(1024, m_slots.size() * 2));
    } else {
        const size_t mask = m_slots.size() - 1;
        size_t i = rec.hash & mask;
        while (m_slots[i] != kNone)
            i = (i + 1) & mask;
        m_slots[i] = index;
    }
    return index;
}

void ZipDirectory::reserve(quint32 size)
{
    m_records.reserve(size);
    size_t table = 1024;
    while (table < size_t(size) * 2)
        table *= 2;
    if (table > m_slots.size())
        rehash(table);
}

void ZipDirectory::truncate(quint32 size)
{
    if (size >= m_records.size())
        return;
    m_used = m_records[size].nameAt;
    m_records.resize(size);
    rehash(m_slots.size());
}

void ZipDirectory::clear()
{
    m_records.clear();
    m_blocks.clear();
    m_slots.clear();
    m_used = 0;
}

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

void ZipWriter::localHeader(QByteArray& out, const ZipDirectory::Record& r, QByteArrayView name)
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

bool ZipWriter::writeEntry(QByteArrayView name, quint32 dosTime, bool isDir, quint32 crc, quint64 usize,
                           QByteArrayView data, qint32 tag, bool stored)
{
    ZipDirectory::Record r;
    r.offset = m_end;
    r.csize = quint64(data.size());
    r.usize = usize;
    r.crc = crc;
    r.dosTime = dosTime;
    r.tag = tag;
    r.flags = quint8((isDir ? ZipDirectory::Dir : 0) | (stored ? ZipDirectory::Stored : 0) |
                     (r.csize >= kMax32 || usize >= kMax32 ? ZipDirectory::Zip64Local : 0));
    QByteArray header;
    localHeader(header, r, name);
    if (!put(header.constData(), header.size()) || !put(data.data(), data.size()))
        return false;
    m_dir.add(name, r);
    return true;
}

bool ZipWriter::beginStream(QByteArrayView name, quint32 dosTime, quint64 listedSize, qint32 tag)
{
    ZipDirectory::Record r;
    r.offset = m_end;
    r.dosTime = dosTime;
    r.tag = tag;
    // Deflate may grow incompressible data a little: a file this close to
    // 4 GiB gets its 64-bit sizes before it is known whether it needs them.
    if (listedSize + listedSize / 256 + 65536 >= kMax32)
        r.flags |= ZipDirectory::Zip64Local;
    QByteArray header;
    localHeader(header, r, name);
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

bool ZipWriter::copyEntry(QByteArrayView name, const ZipDirectory::Record& old, int fd, qint32 tag)
{
    if (m_error != 0 || m_fd < 0)
        return false;
    ZipDirectory::Record r = old;
    r.offset = m_end;
    r.tag = tag;
    r.flags &= quint8(~ZipDirectory::Dead);
    const quint64 headerSize = 30 + quint64(name.size());
    quint64 from = old.offset;
    quint64 length = headerSize + old.csize;
    if (r.offset >= kMax32) {
        // So far into the archive the header needs another version: written here.
        QByteArray header;
        localHeader(header, r, name);
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
        const bool ok = preadAll(m_copyFd, m_buf.data(), m_buf.size(), m_copyFrom) &&
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

bool ForEachZipEntry(int fd, QByteArray& comment,
                     const std::function<void(const char* record, QByteArrayView name)>& each)
{
    return ForEachZipEntry(fd, comment, {}, each);
}

bool ForEachZipEntry(int fd, QByteArray& comment, const std::function<void(quint64 count)>& counted,
                     const std::function<void(const char* record, QByteArrayView name)>& each)
{
    comment.clear();
    FileIO::Status st;
    if (!FileIO::statusOf(fd, st) || st.size < 22)
        return false;
    const auto size = quint64(st.size);
    const quint64 tailSize = qMin<quint64>(size, 22 + 0xFFFF);
    QByteArray tail(qsizetype(tailSize), '\0');
    if (!preadAll(fd, tail.data(), tail.size(), size - tailSize))
        return false;
    qsizetype at = -1;
    for (qsizetype i = tail.size() - 22; i >= 0; --i) {
        if (get32(tail.constData() + i) == kEndSig &&
            i + 22 + get16(tail.constData() + i + 20) == tail.size()) {
            at = i;
            break;
        }
    }
    if (at < 0)
        return false;
    const char* e = tail.constData() + at;
    comment = QByteArray(e + 22, get16(e + 20));
    quint64 count = get16(e + 10);
    quint64 cdSize = get32(e + 12);
    quint64 cdStart = get32(e + 16);
    if (count == 0xFFFF || cdSize == kMax32 || cdStart == kMax32) {
        const quint64 locatorAt = size - tailSize + quint64(at);
        char loc[20];
        char end64[56];
        if (locatorAt < 20 || !preadAll(fd, loc, 20, locatorAt - 20) || get32(loc) != kLocator64Sig ||
            !preadAll(fd, end64, 56, get64(loc + 8)) || get32(end64) != kEnd64Sig)
            return false;
        count = get64(end64 + 32);
        cdSize = get64(end64 + 40);
        cdStart = get64(end64 + 48);
    }
    // Every record takes 46 bytes at least: a count beyond that is damage, not a size to make room for.
    if (cdStart + cdSize > size || count > cdSize / 46)
        return false;
    if (counted)
        counted(count);
    // Read a window at a time: a large directory need not be in memory whole.
    constexpr qsizetype kWindow = 1 << 20;
    QByteArray cd;
    qsizetype p = 0;
    quint64 readTo = cdStart; // file offset just behind cd's bytes
    auto have = [&](qsizetype bytes) {
        if (p + bytes <= cd.size())
            return true;
        cd.remove(0, p);
        p = 0;
        const auto more = qsizetype(qMin<quint64>(quint64(qMax(kWindow, bytes)), cdStart + cdSize - readTo));
        if (cd.size() + more < bytes)
            return false;
        const qsizetype old = cd.size();
        cd.resize(old + more);
        readTo += quint64(more);
        return preadAll(fd, cd.data() + old, more, readTo - quint64(more));
    };
    for (quint64 k = 0; k < count; ++k) {
        if (!have(46) || get32(cd.constData() + p) != kCentralSig)
            return false;
        const char* c = cd.constData() + p;
        const qsizetype recSize = 46 + get16(c + 28) + get16(c + 30) + get16(c + 32);
        if (!have(recSize))
            return false;
        c = cd.constData() + p;
        each(c, QByteArrayView(c + 46, get16(c + 28)));
        p += recSize;
    }
    return true;
}

bool ReadZipDirectory(int fd, ZipDirectory& dir, QByteArray& comment, const std::function<void()>& turn)
{
    dir.clear();
    quint32 seen = 0;
    const auto counted = [&](quint64 count) { dir.reserve(quint32(count)); };
    return ForEachZipEntry(fd, comment, counted, [&](const char* c, QByteArrayView name) {
        if ((++seen & 1023) == 0 && turn)
            turn();
        // Only what this writer would write for a file is worth copying:
        // anything else would make the new archive differ from a fresh one.
        // It deflates a file only when that makes it smaller, and stores it
        // only when it does not.
        const quint16 method = get16(c + 10);
        const bool smaller = get32(c + 20) < get32(c + 24);
        if (get16(c + 4) == kMadeBy && get16(c + 6) == kNeeds && get16(c + 8) == flagsFor(name) &&
            ((method == 8 && smaller) || (method == 0 && get32(c + 20) == get32(c + 24))) &&
            get16(c + 30) == 0 && get16(c + 32) == 0 && get16(c + 34) == 0 && get16(c + 36) == 0 &&
            get32(c + 38) == kFileAttributes && !name.endsWith('/')) {
            ZipDirectory::Record r;
            r.flags = method == 0 ? ZipDirectory::Stored : 0;
            r.dosTime = (quint32(get16(c + 14)) << 16) | get16(c + 12);
            r.crc = get32(c + 16);
            r.csize = get32(c + 20);
            r.usize = get32(c + 24);
            r.offset = get32(c + 42);
            dir.add(name, r);
        }
    });
}

bool IsWrittenLocalHeader(int fd, const ZipDirectory& dir, quint32 i, std::atomic<quint8>* checked)
{
    if (checked != nullptr && checked[i].load(std::memory_order_relaxed) != 0)
        return checked[i].load(std::memory_order_relaxed) == 1;
    // The headers of small files' entries lie a few hundred to 64 KiB: one
    // read for all of them costs less than a read each.
    constexpr quint64 kReach = 64 * 1024;
    const quint64 from = dir.at(i).offset;
    quint64 to = from + 30 + dir.at(i).nameLen;
    quint32 last = i;
    while (checked != nullptr && last + 1 < dir.size()) {
        const ZipDirectory::Record& next = dir.at(last + 1);
        const quint64 end = next.offset + 30 + next.nameLen;
        if (next.offset < to || end - from > kReach)
            break;
        to = end;
        ++last;
    }
    thread_local QByteArray found;
    thread_local QByteArray expected;
    found.resize(qsizetype(to - from));
    const bool read = preadAll(fd, found.data(), found.size(), from);
    bool ok = false;
    for (quint32 k = i; k <= last; ++k) {
        const ZipDirectory::Record& r = dir.at(k);
        expected.resize(0);
        ZipWriter::localHeader(expected, r, dir.name(r));
        const bool same = read && expected.size() == 30 + qsizetype(r.nameLen) &&
                          std::memcmp(found.constData() + (r.offset - from), expected.constData(),
                                      size_t(expected.size())) == 0;
        if (k == i)
            ok = same;
        if (checked != nullptr)
            checked[k].store(same ? 1 : 2, std::memory_order_relaxed);
    }
    return ok;
}
