#include "zip/FileSettling.h"

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

qint64 FileClockNow(qint64 aheadSeconds)
{
    return FileIO::clockSeconds() + aheadSeconds;
}

bool Settled(const FileIO::Status& stamp, qint64 readAt)
{
    // Three seconds cover the coarsest stamps (two seconds) and a part second.
    constexpr qint64 kMargin = 3;
    return FileIO::Status::seconds(stamp.mtimeNs) + kMargin < readAt &&
           FileIO::Status::seconds(stamp.ctimeNs) + kMargin < readAt;
}
