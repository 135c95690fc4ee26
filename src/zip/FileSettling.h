#pragma once

#include "platform/FileIO.h"
#include "zip/StatCache.h"

#include <atomic>

// Whether a file's stat may vouch for its bytes to a later build: only once
// the file had long stopped changing when it was read.

// What the stat cache keeps of a file as read.
StatCache::Entry CacheEntryOf(const FileIO::Status& stamp, quint64 device, quint64 inode,
                              quint32 dataCrc = 0);

// What the runs of a session count and how they see the clock, for tests and
// benchmarks: the files whose bytes were read, and a settling clock that
// runs seconds ahead (behind when negative).
struct FileCounters
{
    std::atomic<quint64> filesRead{0};
    std::atomic<qint64> clockAhead{0};
};

// The clock the kernel stamps files with, in seconds, read before a file is
// (aheadSeconds added): it ticks every few milliseconds, and a file system
// may keep whole seconds or two.
qint64 FileClockNow(qint64 aheadSeconds);

// Whether a file last changed well before it was read (at readAt, by
// FileClockNow): one changed within the clock's granularity of its read
// could change again and keep the same stat, so a later build must read it.
bool Settled(const FileIO::Status& stamp, qint64 readAt);
