#include "platform/StatCache.h"

#include "platform/Deflater.h"
#include "platform/ZipWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QtEndian>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kMagic[8] = {'B', 'S', 'S', 'T', 'A', 'T', 'S', '2'};
// Far more entries than any pack holds: a count above it is a damaged file.
constexpr quint32 kMostEntries = 1u << 24;
// A record: its name's length, the file's stat, the entry's CRC, stored
// size and stored bytes' CRC, then its name.
constexpr qsizetype kRecord = 4 + 8 * 5 + 4 + 8 + 4;

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
    return base + QStringLiteral("/bundlesmith/packs");
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

std::unique_ptr<StatCache> StatCache::load(const ZipDirectory& dir, qint64 size)
{
    const Archive archive = archiveOf(dir, size);
    QFile file(FileFor(archive));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.readAll();
    // The last four bytes are the CRC of all before them: a torn or damaged cache is no cache.
    constexpr qsizetype kHead = sizeof kMagic + 8 + 8 + 4;
    if (bytes.size() < kHead + 4 || std::memcmp(bytes.constData(), kMagic, sizeof kMagic) != 0)
        return nullptr;
    const char* const end = bytes.constData() + bytes.size() - 4;
    quint32 sum = 0;
    Get(end, sum);
    if (sum != Crc32(0, bytes.constData(), bytes.size() - 4))
        return nullptr;
    Archive made;
    quint32 count = 0;
    const char* p = Get(Get(Get(bytes.constData() + sizeof kMagic, made.key), made.size), count);
    if (!(made == archive) || count > kMostEntries)
        return nullptr;
    auto cache = std::make_unique<StatCache>();
    cache->m_entries.resize(dir.size());
    for (quint32 n = 0; n < count; ++n) {
        if (end - p < kRecord)
            return nullptr;
        quint32 nameLen = 0, crc = 0;
        quint64 csize = 0;
        Entry e;
        p = Get(p, nameLen);
        p = Get(Get(Get(Get(Get(p, e.file.size), e.file.mtimeNs), e.file.ctimeNs), e.file.dev), e.file.ino);
        p = Get(Get(Get(p, crc), csize), e.dataCrc);
        if (end - p < qsizetype(nameLen))
            return nullptr;
        // Kept only for the record it was made for: same name, CRC and stored size.
        const quint32 i = dir.find(QByteArrayView(p, qsizetype(nameLen)));
        p += nameLen;
        if (i != ZipDirectory::kNone && dir.at(i).crc == crc && dir.at(i).csize == csize)
            cache->m_entries[i] = e;
    }
    return p == end ? std::move(cache) : nullptr;
}

void StatCache::Writer::note(quint32 record, const Entry& entry)
{
    if (m_entries.size() <= record)
        m_entries.resize(size_t(record) + 1);
    m_known += (entry.file.size >= 0) - (m_entries[record].file.size >= 0);
    m_entries[record] = entry;
}

void StatCache::Writer::truncate(quint32 records)
{
    for (size_t i = records; i < m_entries.size(); ++i)
        m_known -= m_entries[i].file.size >= 0;
    if (m_entries.size() > records)
        m_entries.resize(records);
}

bool StatCache::Writer::save(const ZipDirectory& dir, qint64 size) const
{
    const QString folder = StatCache::folder();
    if (!QDir().mkpath(folder))
        return false;
    quint32 count = 0;
    auto kept = [&](quint32 i) {
        return i < m_entries.size() && Copyable(dir.at(i)) && m_entries[i].file.size >= 0;
    };
    for (quint32 i = 0; i < dir.size(); ++i)
        count += kept(i);
    // Written aside and renamed into place, unsynced: a cache torn by a crash
    // fails its CRC and costs one build a read, which is cheaper than
    // waiting for the disk at every build. A temporary file is the user's
    // own (0600): the names of an author's files are theirs alone.
    QTemporaryFile file(folder + QStringLiteral("/XXXXXX.part"));
    file.setAutoRemove(false);
    if (!file.open())
        return false;
    const Archive archive = archiveOf(dir, size);
    QByteArray out(sizeof kMagic + 8 + 8 + 4, Qt::Uninitialized);
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    Put(Put(Put(out.data() + sizeof kMagic, archive.key), archive.size), count);
    // Out a piece at a time, so a large cache is never held whole.
    constexpr qsizetype kPiece = 256 * 1024;
    quint32 sum = 0;
    bool written = true;
    auto flush = [&] {
        sum = Crc32(sum, out.constData(), out.size());
        written = written && file.write(out) == out.size();
        out.resize(0);
    };
    for (quint32 i = 0; i < dir.size(); ++i) {
        if (!kept(i))
            continue;
        const ZipDirectory::Record& r = dir.at(i);
        const Entry& e = m_entries[i];
        const QByteArrayView name = dir.name(r);
        char b[kRecord];
        char* p = Put(b, quint32(name.size()));
        p = Put(Put(Put(Put(Put(p, e.file.size), e.file.mtimeNs), e.file.ctimeNs), e.file.dev), e.file.ino);
        Put(Put(Put(p, r.crc), r.csize), e.dataCrc);
        out.append(b, kRecord).append(name.data(), name.size());
        if (out.size() >= kPiece)
            flush();
    }
    flush();
    char tail[4];
    Put(tail, sum);
    written = written && file.write(tail, 4) == 4 && file.flush();
    file.close();
    if (!written || ::rename(QFile::encodeName(file.fileName()).constData(),
                             QFile::encodeName(FileFor(archive)).constData()) != 0) {
        QFile::remove(file.fileName());
        return false;
    }
    Prune(folder);
    return true;
}
