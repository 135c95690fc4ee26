#pragma once

#include "zip/ZipWriter.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

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
    // What is known of one entry of the archive: the file's times, inode and
    // device when it was read (its size is the entry's), and the CRC of the
    // entry's stored bytes. A device number is kept in 32 bits, as git keeps it.
    struct Entry
    {
        static constexpr qint64 kUnknown = std::numeric_limits<qint64>::min();
        qint64 mtimeNs = kUnknown;
        qint64 ctimeNs = 0;
        quint64 ino = 0;
        quint32 dev = 0;
        quint32 dataCrc = 0; // of the entry's stored (deflated or stored) bytes
        bool known() const { return mtimeNs != kUnknown; }
        bool sameFile(const Entry& o) const
        {
            return mtimeNs == o.mtimeNs && ctimeNs == o.ctimeNs && ino == o.ino && dev == o.dev;
        }
        static quint32 foldDevice(quint64 dev) { return quint32(dev ^ (dev >> 32)); }
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
    // one made for it as it is now; its entries are dir's records'. turn,
    // when given, is called every few thousand records.
    static std::unique_ptr<StatCache> load(const ZipDirectory& dir, qint64 size,
                                           const std::function<void()>& turn = {});
    // What is known of record i of the directory it was loaded for; null: nothing.
    const Entry* find(quint32 i) const
    {
        return i < m_entries.size() && m_entries[i].known() ? &m_entries[i] : nullptr;
    }

    // The cache as a build makes it: a record per entry, written out to a
    // file of its own as the archive is written, so that a build holds a few
    // kilobytes of it whatever the number of files. Saving adds the archive's
    // key and puts the file in place; a writer never saved leaves nothing.
    class Writer
    {
    public:
        Writer();
        ~Writer();
        Writer(const Writer&) = delete;
        Writer& operator=(const Writer&) = delete;
        // The entry just written to the archive as record r, named name.
        void note(QByteArrayView name, const ZipDirectory::Record& r, const Entry& entry);
        // Where the records stand, to go back to when a run is taken back.
        struct Mark
        {
            qint64 bytes = 0;
            quint32 sum = 0;
            quint32 count = 0;
        };
        Mark mark() const { return {m_written + m_buffer.size(), m_sum, m_count}; }
        void rollback(Mark m);
        bool isEmpty() const { return m_count == 0; }
        // Puts the cache in place for the archive finished with directory
        // dir, and gives its path; a failure (an empty path) only costs the
        // next build a read.
        QString save(const ZipDirectory& dir, qint64 size);

    private:
        std::unique_ptr<QFile> m_file; // null until the first record, or after a failure
        QByteArray m_buffer;
        qint64 m_written = 0;
        quint32 m_sum = 0; // CRC of every record so far
        quint32 m_count = 0;
        bool m_failed = false;
        bool flush();
    };

    // Where the caches live: the user's cache folder (XDG_CACHE_HOME), under
    // bundlesmith/packs; empty when there is no absolute one.
    static QString folder();
    // How many caches are kept; the least recently written go first.
    static constexpr int kKept = 64;

private:
    std::vector<Entry> m_entries; // by record of the directory it was loaded for
};
