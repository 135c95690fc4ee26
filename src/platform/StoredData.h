#pragma once

#include "platform/ZipWriter.h"

// Whether the stored data of record rec in the archive open as fd still
// holds what its record says: inflated (or as it is, for a stored entry) it
// has the record's size and CRC. A reused entry is copied without being
// deflated again, so damage on the disk of an old pack would otherwise go
// into every pack made from it. Costs one read of the entry and an inflate,
// which is a fraction of deflating the file afresh.
bool StoredDataMatches(int fd, const ZipDirectory::Record& rec);
