#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <memory>

class ZipDirectory;

// What the build that wrote a pack knew of each file it packed: the file as
// it was when read (size, times to the nanosecond, inode and device), the
// CRC of its bytes and the CRC of the entry's stored bytes. Kept in a file of
// the program's own outside the pack, found by what the pack holds: a copy
// of the pack, or the pack moved elsewhere, finds it too. A later build whose file
// shows the very same stat has the same bytes, as git's index assumes: its
// entry is copied without reading the file, and the copied bytes are checked
// by their CRC instead of being inflated.
//
// Only files whose times lay well before they were read are kept: one
// changed again within the clock's granularity of the read would show the
// same stat with other bytes (git's "racily clean" entries).
class StatCache
{
public:
    struct FileStat
    {
        qint64 size = -1;
        qint64 mtimeNs = 0;
        qint64 ctimeNs = 0;
        quint64 dev = 0;
        quint64 ino = 0;
        bool operator==(const FileStat& o) const = default;
    };
    struct Entry
    {
        FileStat file;
        quint32 crc = 0;     // of the file's bytes: the entry's CRC
        quint32 dataCrc = 0; // of the entry's stored (deflated or stored) bytes
        quint64 csize = 0;
    };
    // The archive itself, as the build that wrote it left it: a cache made
    // for another archive, or for this one before it changed, is not used.
    struct Archive
    {
        quint64 key = 0; // a hash of its directory: every entry's name, place, sizes and CRC
        qint64 size = -1;
        bool operator==(const Archive& o) const = default;
    };
    static Archive archiveOf(const ZipDirectory& dir, qint64 size);

    // The cache kept for archive, when there is one made for it as it is now.
    static std::unique_ptr<StatCache> load(const Archive& archive);
    const Entry* find(QByteArrayView name) const;

    // The cache as a build makes it, entry by entry as the archive is
    // written: each is stored as it will be saved, so the writing thread
    // pays an append per file and no more.
    class Writer
    {
    public:
        void add(QByteArrayView name, const Entry& entry);
        // A later entry of name that the next build must read: it outdoes an earlier add.
        void forget(QByteArrayView name);
        // Where the entries stand, to go back to when a run is taken back.
        struct Mark
        {
            qsizetype bytes = 0;
            quint32 count = 0;
        };
        Mark mark() const { return {m_bytes.size(), m_count}; }
        void rollback(Mark m);
        bool isEmpty() const { return m_count == 0; }
        // Writes the cache for archive; a failure only costs the next build a read.
        bool save(const Archive& archive) const;

    private:
        QByteArray m_bytes;
        quint32 m_count = 0;
    };

    // Where the caches live: the user's cache folder (XDG_CACHE_HOME), under bundlesmith/packs.
    static QString folder();
    // How many caches are kept; the least recently written go first.
    static constexpr int kKept = 64;

private:
    QHash<QByteArray, Entry> m_entries;
};
