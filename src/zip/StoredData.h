#pragma once

#include "zip/ZipWriter.h"

#include <atomic>
#include <functional>

// Whether the stored data of record rec in the archive open as fd still
// holds what its record says: inflated (or as it is, for a stored entry) it
// has the record's size and CRC. A reused entry is copied without being
// deflated again, so damage on the disk of an old pack would otherwise go
// into every pack made from it. Costs one read of the entry and an inflate,
// which is a fraction of deflating the file afresh.
// With dataCrc, also gives the CRC of the stored bytes as read, for the next
// build to check them by (see StatCache).
bool StoredDataMatches(int fd, const ZipDirectory::Record& rec, quint32* dataCrc = nullptr);

// Whether the stored bytes of record i of dir have the CRC that expected
// gives for it: the check of a copy whose bytes a cache of the build that
// wrote them vouches for, at the cost of reading them and no inflate. With
// checked (a state per record: 0 not known yet, 1 yes, 2 no), the same read
// checks the records behind i whose data lies close after it and that
// expected has a CRC for, and notes each finding there.
bool StoredBytesHaveCrc(int fd, const ZipDirectory& dir, quint32 i,
                        const std::function<bool(quint32 record, quint32& crc)>& expected,
                        std::atomic<quint8>* checked = nullptr);
