#include "zip/ReuseSource.h"

#include "zip/StoredData.h"

std::shared_ptr<ReuseSource> ReuseSource::load(const QByteArray& path, const std::function<void()>& turn)
{
    auto src = std::make_shared<ReuseSource>();
    src->m_path = path;
    src->m_fd = FileIO::open(path.constData(), FileIO::Mode::Read);
    if (!src->m_fd.isOpen() || !FileIO::statusOf(src->m_fd.get(), src->m_status) ||
        !ReadZipDirectory(src->m_fd.get(), src->m_dir, src->m_comment, turn))
        return nullptr;
    src->m_checked = std::make_unique<std::atomic<quint8>[]>(src->m_dir.size());
    src->m_cache = StatCache::load(src->m_dir, src->m_status.size, turn);
    if (src->m_cache)
        src->m_bytesChecked = std::make_unique<std::atomic<quint8>[]>(src->m_dir.size());
    return src;
}

bool ReuseSource::stillIs(const QByteArray& path, const FileIO::Status& now) const
{
    return m_path == path && m_status.sameFile(now) && m_status.size == now.size &&
           m_status.mtimeNs == now.mtimeNs;
}

quint32 ReuseSource::candidate(QByteArrayView name, qint64 size, quint32 dosTime) const
{
    const quint32 i = m_dir.find(name);
    if (i == ZipDirectory::kNone)
        return i;
    const ZipDirectory::Record& rec = m_dir.at(i);
    return rec.usize == quint64(size) && rec.dosTime == dosTime ? i : ZipDirectory::kNone;
}

bool ReuseSource::cachedName(QByteArrayView name) const
{
    return m_cache && m_cache->find(m_dir.find(name)) != nullptr;
}

bool ReuseSource::copyable(quint32 i, quint32 crc, quint32& dataCrc, bool& damaged) const
{
    damaged = false;
    if (m_dir.at(i).crc != crc || !IsWrittenLocalHeader(m_fd.get(), m_dir, i, m_checked.get()))
        return false;
    if (StoredDataMatches(m_fd.get(), m_dir.at(i), &dataCrc))
        return true;
    damaged = true;
    return false;
}

bool ReuseSource::vouched(quint32 i, const StatCache::Entry& now, quint32& dataCrc) const
{
    const StatCache::Entry* e = m_cache ? m_cache->find(i) : nullptr;
    if (e == nullptr || !e->sameFile(now) || !IsWrittenLocalHeader(m_fd.get(), m_dir, i, m_checked.get()) ||
        !StoredBytesHaveCrc(
            m_fd.get(), m_dir, i,
            [this](quint32 k, quint32& crc) {
                const StatCache::Entry* v = m_cache->find(k);
                crc = v != nullptr ? v->dataCrc : 0;
                return v != nullptr;
            },
            m_bytesChecked.get()))
        return false;
    dataCrc = e->dataCrc;
    return true;
}
