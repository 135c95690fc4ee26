#include "platform/StatCache.h"

#include "platform/Deflater.h"
#include "platform/ZipWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kMagic[8] = {'B', 'S', 'S', 'T', 'A', 'T', 'S', '1'};
// Far more entries than any pack holds: a count above it is a damaged file.
constexpr quint32 kMostEntries = 1u << 24;

QString FileFor(const StatCache::Archive& a)
{
    return StatCache::folder() + QStringLiteral("/%1").arg(a.key, 16, 16, QLatin1Char('0'));
}

template <typename T> char* Put(char* at, T v)
{
    qToLittleEndian(v, at);
    return at + sizeof(T);
}

template <typename T> void Put(QByteArray& out, T v)
{
    char b[sizeof(T)];
    Put(b, v);
    out.append(b, qsizetype(sizeof(T)));
}

// One entry's record: its name's length, its fields, then its name. A size
// of -1 says the name is to be read again, whatever an earlier record said.
constexpr qsizetype kRecord = 4 + 8 * 5 + 4 + 4 + 8;

void PutRecord(QByteArray& out, QByteArrayView name, const StatCache::Entry& e)
{
    char b[kRecord];
    char* p = Put(b, quint32(name.size()));
    p = Put(p, e.file.size);
    p = Put(p, e.file.mtimeNs);
    p = Put(p, e.file.ctimeNs);
    p = Put(p, e.file.dev);
    p = Put(p, e.file.ino);
    p = Put(p, e.crc);
    p = Put(p, e.dataCrc);
    Put(p, e.csize);
    out.append(b, kRecord);
    out.append(name.data(), name.size());
}

// Reads little-endian fields off the front of a byte range; false once it runs out.
struct Reader
{
    const char* at;
    const char* end;
    template <typename T> bool get(T& v)
    {
        if (end - at < qsizetype(sizeof(T)))
            return false;
        quint64 x = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            x |= quint64(uchar(at[i])) << (8 * i);
        v = T(x);
        at += sizeof(T);
        return true;
    }
};

void PutArchive(QByteArray& out, const StatCache::Archive& a)
{
    Put(out, a.key);
    Put(out, a.size);
}

// Keeps the folder to kKept caches: packs come and go, and a cache outlives its pack.
void Prune(const QString& folder)
{
    QDir dir(folder);
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden, QDir::Time);
    for (qsizetype i = StatCache::kKept; i < files.size(); ++i)
        QFile::remove(files[i].absoluteFilePath());
}

} // namespace

QString StatCache::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/bundlesmith/packs");
}

StatCache::Archive StatCache::archiveOf(const ZipDirectory& dir, qint64 size)
{
    // FNV-1a over whole words: the same directory, read back or as written, gives the same key.
    quint64 h = 0xcbf29ce484222325ull;
    auto mix = [&h](quint64 v) { h = (h ^ v) * 0x100000001b3ull; };
    for (quint32 i = 0; i < dir.size(); ++i) {
        const ZipDirectory::Record& r = dir.at(i);
        // Only the entries a reader would copy: folders and Zip64 entries are read past.
        if (r.flags & (ZipDirectory::Dead | ZipDirectory::Dir | ZipDirectory::Zip64Local))
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

const StatCache::Entry* StatCache::find(QByteArrayView name) const
{
    // A raw view: the look-up is made for every file of a build, and must not allocate.
    const auto it = m_entries.constFind(QByteArray::fromRawData(name.data(), name.size()));
    return it == m_entries.cend() ? nullptr : &*it;
}

std::unique_ptr<StatCache> StatCache::load(const Archive& archive)
{
    QFile file(FileFor(archive));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.readAll();
    // The last four bytes are the CRC of all before them: a torn or damaged cache is no cache.
    if (bytes.size() < qsizetype(sizeof kMagic) + 20 + 4 ||
        std::memcmp(bytes.constData(), kMagic, sizeof kMagic) != 0)
        return nullptr;
    Reader tail{bytes.constData() + bytes.size() - 4, bytes.constData() + bytes.size()};
    quint32 sum = 0;
    if (!tail.get(sum) || sum != Crc32(0, bytes.constData(), bytes.size() - 4))
        return nullptr;
    Reader r{bytes.constData() + sizeof kMagic, bytes.constData() + bytes.size() - 4};
    Archive made;
    quint32 count = 0;
    if (!r.get(made.key) || !r.get(made.size) || !(made == archive) || !r.get(count) || count > kMostEntries)
        return nullptr;
    auto cache = std::make_unique<StatCache>();
    cache->m_entries.reserve(qsizetype(count));
    for (quint32 i = 0; i < count; ++i) {
        quint32 nameLen = 0;
        Entry e;
        if (!r.get(nameLen) || !r.get(e.file.size) || !r.get(e.file.mtimeNs) || !r.get(e.file.ctimeNs) ||
            !r.get(e.file.dev) || !r.get(e.file.ino) || !r.get(e.crc) || !r.get(e.dataCrc) ||
            !r.get(e.csize) || r.end - r.at < qsizetype(nameLen))
            return nullptr;
        const QByteArray name(r.at, qsizetype(nameLen));
        r.at += nameLen;
        if (e.file.size < 0)
            cache->m_entries.remove(name);
        else
            cache->m_entries.insert(name, e);
    }
    return r.at == r.end ? std::move(cache) : nullptr;
}

void StatCache::Writer::add(QByteArrayView name, const Entry& entry)
{
    PutRecord(m_bytes, name, entry);
    ++m_count;
}

void StatCache::Writer::forget(QByteArrayView name)
{
    if (m_count == 0)
        return; // nothing earlier to outdo
    PutRecord(m_bytes, name, Entry{});
    ++m_count;
}

void StatCache::Writer::rollback(Mark m)
{
    m_bytes.truncate(m.bytes);
    m_count = m.count;
}

bool StatCache::Writer::save(const Archive& archive) const
{
    const QString folder = StatCache::folder();
    if (!QDir().mkpath(folder))
        return false;
    QByteArray out;
    out.reserve(sizeof kMagic + 16 + 4 + m_bytes.size() + 4);
    out.append(kMagic, sizeof kMagic);
    PutArchive(out, archive);
    Put(out, m_count);
    out.append(m_bytes);
    Put(out, Crc32(0, out.constData(), out.size()));
    // Written aside and renamed into place, unsynced: a cache torn by a crash
    // fails its CRC and costs one build a read, which is cheaper than
    // waiting for the disk at every build. A temporary file is the user's
    // own (0600): the names of an author's files are theirs alone.
    QTemporaryFile file(folder + QStringLiteral("/XXXXXX.part"));
    file.setAutoRemove(false);
    if (!file.open())
        return false;
    const bool written = file.write(out) == out.size() && file.flush();
    file.close();
    if (!written || ::rename(QFile::encodeName(file.fileName()).constData(),
                             QFile::encodeName(FileFor(archive)).constData()) != 0) {
        QFile::remove(file.fileName());
        return false;
    }
    Prune(folder);
    return true;
}
