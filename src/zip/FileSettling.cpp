#include "zip/FileSettling.h"

#include <atomic>

namespace {

std::atomic<quint64> g_filesRead{0};
std::atomic<qint64> g_settleClockAhead{0};

} // namespace

StatCache::Entry CacheEntryOf(const FileIO::Status& stamp, quint64 device, quint64 inode, quint32 dataCrc)
{
    StatCache::Entry e;
    e.mtimeNs = stamp.mtimeNs;
    e.ctimeNs = stamp.ctimeNs;
    e.ino = inode;
    e.dev = StatCache::Entry::foldDevice(device);
    e.dataCrc = dataCrc;
    return e;
}

qint64 FileClockNow()
{
    return FileIO::clockSeconds() + g_settleClockAhead.load(std::memory_order_relaxed);
}

bool Settled(const FileIO::Status& stamp, qint64 readAt)
{
    // Three seconds cover the coarsest stamps (two seconds) and a part second.
    constexpr qint64 kMargin = 3;
    return FileIO::Status::seconds(stamp.mtimeNs) + kMargin < readAt &&
           FileIO::Status::seconds(stamp.ctimeNs) + kMargin < readAt;
}

void CountFileRead()
{
    g_filesRead.fetch_add(1, std::memory_order_relaxed);
}

quint64 FilesReadSoFar()
{
    return g_filesRead.load();
}

void SetSettleClockAhead(qint64 seconds)
{
    g_settleClockAhead.store(seconds);
}
