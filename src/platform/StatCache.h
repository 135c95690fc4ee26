#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

class ZipDirectory;

// What the build that wrote a pack knew of each file it packed: the file as
// it was when read (size, times to the nanosecond, inode and device), with
// the CRC of the entry's stored bytes. Kept in a file of the program's own
// outside the pack, found by what the pack holds: a copy of the pack, or the
// pack moved elsewhere, finds it too. A later build whose file shows the
// very same stat has the same bytes, as git's index assumes: its entry is
// copied without reading the file, and the copied bytes are checked by
// their CRC instead of being inflated.
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
    // What is known of one entry of the archive. size -1: nothing.
    struct Entry
    {
        FileStat file;
        quint32 dataCrc = 0; // of the entry's stored (deflated or stored) bytes
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

    // The cache kept for the archive of directory dir and size, when there is
    // one made for it as it is now; its entries are dir's records'.
    static std::unique_ptr<StatCache> load(const ZipDirectory& dir, qint64 size);
    // What is known of record i of the directory it was loaded for; null: nothing.
    const Entry* find(quint32 i) const
    {
        return i < m_entries.size() && m_entries[i].file.size >= 0 ? &m_entries[i] : nullptr;
    }

    // The cache as a build makes it: an entry per record of the archive
    // being written, noted as each is written and saved with the archive's
    // directory, which holds the names, sizes and CRCs.
    class Writer
    {
    public:
        void note(quint32 record, const Entry& entry);
        void reserve(quint32 records) { m_entries.reserve(records); }
        // Forgets the records from index records on, as the writer's directory does.
        void truncate(quint32 records);
        bool isEmpty() const { return m_known == 0; }
        // Writes the cache for the archive finished with directory dir; a
        // failure only costs the next build a read.
        bool save(const ZipDirectory& dir, qint64 size) const;

    private:
        std::vector<Entry> m_entries;
        quint32 m_known = 0;
    };

    // Where the caches live: the user's cache folder (XDG_CACHE_HOME), under bundlesmith/packs.
    static QString folder();
    // How many caches are kept; the least recently written go first.
    static constexpr int kKept = 64;

private:
    std::vector<Entry> m_entries; // by record of the directory it was loaded for
};
