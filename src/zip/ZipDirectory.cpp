#include "zip/ZipDirectory.h"

#include <QHashFunctions>

namespace {

quint32 nameHash(QByteArrayView name)
{
    return quint32(qHashBits(name.data(), size_t(name.size()), 0x9e3779b9u));
}

} // namespace

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
