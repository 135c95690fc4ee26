#pragma once

#include "platform/FileIO.h"
#include "zip/StatCache.h"

// Whether a file's stat may vouch for its bytes to a later build: only once
// the file had long stopped changing when it was read.

// What the stat cache keeps of a file as read.
StatCache::Entry CacheEntryOf(const FileIO::Status& stamp, quint64 device, quint64 inode,
                              quint32 dataCrc = 0);

// The clock the kernel stamps files with, in seconds, read before a file is:
// it ticks every few milliseconds, and a file system may keep whole seconds
// or two.
qint64 FileClockNow();

// Whether a file last changed well before it was read (at readAt, by
// FileClockNow): one changed within the clock's granularity of its read
// could change again and keep the same stat, so a later build must read it.
bool Settled(const FileIO::Status& stamp, qint64 readAt);

// Counts the files whose bytes a run read (for tests and benchmarks).
void CountFileRead();
quint64 FilesReadSoFar();
// Runs the settling clock that many seconds ahead (behind when negative).
void SetSettleClockAhead(qint64 seconds);
