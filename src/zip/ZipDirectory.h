#pragma once

#include <QByteArrayView>
#include <QtGlobal>
#include <memory>
#include <vector>

// The central-directory records of an archive, kept compact: a hundred
// thousand entries must not cost more than a few megabytes. Names live in
// fixed blocks (no doubling copies) and are found through an open-addressing
// table of record numbers, so a look-up hashes bytes once and compares names
// only on a hash hit.
class ZipDirectory
{
public:
    static constexpr quint32 kNone = 0xFFFFFFFFu;
    enum Flag : quint8
    {
        Dir = 1,        // a folder entry: stored, no data
        Dead = 2,       // replaced by a later entry of the same name; not listed
        Zip64Local = 4, // the local header carries a Zip64 field (sizes near 4 GiB)
        Stored = 8,     // a file's bytes as they are: deflate would not have made them smaller
    };
    struct Record
    {
        quint64 offset = 0; // of the local header
        quint64 csize = 0;
        quint64 usize = 0;
        quint32 crc = 0;
        quint32 dosTime = 0; // date in the high half, time in the low half
        quint32 nameAt = 0;
        quint32 hash = 0;
        qint32 origin = -1; // the owner's mark: which of its sources (a spec, a planned file) wrote it
        quint16 nameLen = 0;
        quint8 flags = 0;
    };

    // The live record of that name, or kNone.
    quint32 find(QByteArrayView name) const;
    quint32 add(QByteArrayView name, const Record& r);
    // Forgets every record from index size on.
    void truncate(quint32 size);
    // Room for size records, their look-up table included, so none is grown on the way.
    void reserve(quint32 size);
    QByteArrayView name(const Record& r) const
    {
        return QByteArrayView(m_blocks[r.nameAt >> kBlockBits].get() + (r.nameAt & kBlockMask), r.nameLen);
    }
    Record& at(quint32 i) { return m_records[i]; }
    const Record& at(quint32 i) const { return m_records[i]; }
    quint32 size() const { return quint32(m_records.size()); }
    void clear();

private:
    static constexpr int kBlockBits = 18;
    static constexpr quint32 kBlockMask = (1u << kBlockBits) - 1;
    std::vector<Record> m_records;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    quint32 m_used = 0;           // where the next name goes
    std::vector<quint32> m_slots; // record numbers by name hash; kNone where empty

    void rehash(size_t size);
};
