#include "zip/StatCache.h"

#include "platform/FileIO.h"
#include "zip/Deflater.h"
#include "zip/ZipWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QtEndian>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kMagic[8] = {'B', 'S', 'S', 'T', 'A', 'T', 'S', '3'};
// Far more entries than any pack holds: a count above it is a damaged file.
constexpr quint32 kMostEntries = 1u << 24;
// A record: its name's length, the file's times, inode and device, the
// entry's CRC, stored size and stored bytes' CRC, then its name.
constexpr qsizetype kRecord = 4 + 8 + 8 + 8 + 4 + 4 + 8 + 4;

QString FileFor(const StatCache::Archive& a)
{
    return StatCache::folder() + QStringLiteral("/%1").arg(a.key, 16, 16, QLatin1Char('0'));
}

template <typename T> char* Put(char* at, T v)
{
    qToLittleEndian(v, at);
    return at + sizeof(T);
}

template <typename T> const char* Get(const char* at, T& v)
{
    v = qFromLittleEndian<T>(at);
    return at + sizeof(T);
}

// Only the entries a reader would copy: folders and Zip64 entries are read past.
bool Copyable(const ZipDirectory::Record& r)
{
    return (r.flags & (ZipDirectory::Dead | ZipDirectory::Dir | ZipDirectory::Zip64Local)) == 0;
}

// Keeps the folder to kKept caches: packs come and go, and a cache outlives its pack.
void Prune(const QString& folder)
{
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Time);
    for (qsizetype i = StatCache::kKept; i < files.size(); ++i)
        QFile::remove(files[i].absoluteFilePath());
}

} // namespace

QString StatCache::folder()
{
    // A relative XDG_CACHE_HOME is to be ignored; taken as it stands, it would
    // put the cache in the folder being packed, and so into the pack.
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    // With a relative HOME too there is nowhere that is surely outside the folder: no cache.
    return QDir::isAbsolutePath(base) ? base + QStringLiteral("/bundlesmith/packs") : QString();
}

StatCache::Archive StatCache::archiveOf(const ZipDirectory& dir, qint64 size)
{
    // FNV-1a over whole words: the same directory, read back or as written, gives the same key.
    quint64 h = 0xcbf29ce484222325ull;
    auto mix = [&h](quint64 v) { h = (h ^ v) * 0x100000001b3ull; };
    for (quint32 i = 0; i < dir.size(); ++i) {
        const ZipDirectory::Record& r = dir.at(i);
        if (!Copyable(r))
            continue;
        const QByteArrayView name = dir.name(r);
        mix(Crc32(0, name.data(), name.size()) | (quint64(name.size()) << 32));
        mix(r.offset);
        mix(r.csize);
        mix(r.usize);
        mix(r.crc | (quint64(r.dosTime) << 32));
    }
    return {h, size};
}

// The last bytes of a cache: the archive's key and size, the count of
// records before them, the magic, and the CRC of every byte before the CRC.
constexpr qsizetype kTrailer = 8 + 8 + 4 + sizeof kMagic + 4;

std::unique_ptr<StatCache> StatCache::load(const ZipDirectory& dir, qint64 size,
                                           const std::function<void()>& turn)
{
    if (StatCache::folder().isEmpty())
        return nullptr;
    const Archive archive = archiveOf(dir, size);
    QFile file(FileFor(archive));
    // Only a regular file: opening a pipe left in its place would wait for a writer for ever.
    if (!QFileInfo(file.fileName()).isFile() || !file.open(QIODevice::ReadOnly) || file.size() < kTrailer ||
        !file.seek(file.size() - kTrailer))
        return nullptr;
    char trailer[kTrailer];
    Archive made;
    quint32 count = 0, stored = 0;
    if (file.read(trailer, kTrailer) != kTrailer)
        return nullptr;
    Get(Get(Get(trailer, made.key), made.size), count);
    Get(trailer + kTrailer - 4, stored);
    if (std::memcmp(trailer + 20, kMagic, sizeof kMagic) != 0 || !(made == archive) || count > kMostEntries ||
        !file.seek(0))
        return nullptr;
    // Read a record at a time, never whole: at a hundred thousand files the
    // file is megabytes. A torn or damaged cache fails its CRC and is no cache.
    quint32 sum = 0;
    auto read = [&](char* into, qint64 n) {
        if (file.read(into, n) != n)
            return false;
        sum = Crc32(sum, into, n);
        return true;
    };
    auto cache = std::make_unique<StatCache>();
    cache->m_entries.resize(dir.size());
    QByteArray name;
    for (quint32 n = 0; n < count; ++n) {
        if ((n & 4095) == 4095 && turn)
            turn();
        char b[kRecord];
        quint32 nameLen = 0, crc = 0;
        quint64 csize = 0;
        Entry e;
        if (!read(b, kRecord))
            return nullptr;
        const char* p = Get(Get(Get(Get(Get(b, nameLen), e.mtimeNs), e.ctimeNs), e.ino), e.dev);
        Get(Get(Get(p, crc), csize), e.dataCrc);
        if (nameLen > 0xFFFF)
            return nullptr;
        name.resize(qsizetype(nameLen));
        if (!read(name.data(), name.size()))
            return nullptr;
        // Kept only for the record it was made for: same name, CRC and stored size.
        const quint32 i = dir.find(name);
        if (e.known() && i != ZipDirectory::kNone && dir.at(i).crc == crc && dir.at(i).csize == csize)
            cache->m_entries[i] = e;
    }
    if (file.pos() != file.size() - kTrailer)
        return nullptr;
    return Crc32(sum, trailer, kTrailer - 4) == stored ? std::move(cache) : nullptr;
}

StatCache::Writer::Writer() = default;

StatCache::Writer::~Writer()
{
    if (m_file)
        m_file->remove();
}

bool StatCache::Writer::flush()
{
    if (m_failed || m_buffer.isEmpty())
        return !m_failed;
    m_failed = m_file->write(m_buffer) != m_buffer.size();
    m_written += m_buffer.size();
    m_buffer.resize(0);
    return !m_failed;
}

void StatCache::Writer::note(QByteArrayView name, const ZipDirectory::Record& r, const Entry& e)
{
    if (m_failed || !e.known())
        return;
    if (!m_file) {
        // A name of its own beside the caches, so that the rename is within one folder.
        const QString folder = StatCache::folder();
        auto file = std::make_unique<QTemporaryFile>(folder + QStringLiteral("/XXXXXX.part"));
        file->setAutoRemove(false);
        if (folder.isEmpty() || !QDir().mkpath(folder) || !file->open()) {
            m_failed = true;
            return;
        }
        m_file = std::move(file);
    }
    char b[kRecord];
    char* p = Put(b, quint32(name.size()));
    p = Put(Put(Put(Put(p, e.mtimeNs), e.ctimeNs), e.ino), e.dev);
    Put(Put(Put(p, r.crc), r.csize), e.dataCrc);
    const qsizetype from = m_buffer.size();
    m_buffer.append(b, kRecord).append(name.data(), name.size());
    m_sum = Crc32(m_sum, m_buffer.constData() + from, m_buffer.size() - from);
    ++m_count;
    if (m_buffer.size() >= 64 * 1024)
        flush();
}

void StatCache::Writer::rollback(Mark m)
{
    if (m_failed || !m_file)
        return;
    if (m.bytes >= m_written) {
        m_buffer.truncate(m.bytes - m_written);
    } else {
        m_buffer.resize(0);
        m_failed = !m_file->resize(m.bytes) || !m_file->seek(m.bytes);
        m_written = m.bytes;
    }
    m_sum = m.sum;
    m_count = m.count;
}

QString StatCache::Writer::save(const ZipDirectory& dir, qint64 size)
{
    if (!m_file || !flush())
        return QString();
    const Archive archive = archiveOf(dir, size);
    char trailer[kTrailer];
    char* p = Put(Put(Put(trailer, archive.key), archive.size), m_count);
    std::memcpy(p, kMagic, sizeof kMagic);
    Put(p + sizeof kMagic, Crc32(m_sum, trailer, kTrailer - 4));
    // Renamed into place unsynced: a cache torn by a crash fails its CRC and
    // costs one build a read, which is cheaper than waiting for the disk at
    // every build. The temporary file is the user's own (0600): the names of
    // an author's files are theirs alone.
    const bool written = m_file->write(trailer, kTrailer) == kTrailer && m_file->flush();
    m_file->close();
    const QString path = FileFor(archive);
    if (!written || !FileIO::rename(QFile::encodeName(m_file->fileName()).constData(),
                                    QFile::encodeName(path).constData()))
        return QString(); // the destructor removes it
    m_file.reset();
    Prune(StatCache::folder());
    return path;
}
