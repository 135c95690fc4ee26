#pragma once

#include <Qt>
#include <QtGlobal>
#include <cstddef>

// The sizes that shape a run: how much is read ahead, and what is deflated where.

#ifdef Q_OS_WIN
inline constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
inline constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

inline constexpr int kDeflateLevel = 6; // zip's own default, so archives compare fairly with it
// Files up to this size are read and deflated on worker threads, a few ahead
// of the entry being written, and handed to the writer already compressed;
// larger ones are deflated a piece at a time (DeflateFile) as they are
// written, so memory stays bounded.
inline constexpr qint64 kPrepackLimit = 4 * 1024 * 1024;
// How far the workers may run ahead of the writing: small files need many
// in flight to keep both cores busy, while the bytes held stay bounded.
inline constexpr size_t kPrepackAheadFiles = 64;
inline constexpr qint64 kPrepackAheadBytes = 16 * 1024 * 1024;
// Free slots the writer gathers before it hands the workers more jobs.
inline constexpr size_t kRefillBatch = 16;
// The most an unchanged entries' copy goes on without giving the window a
// turn: a few milliseconds of the kernel's copying.
inline constexpr qint64 kCopySlice = 4 * 1024 * 1024;
// An old archive this small has its directory read on the caller's thread.
inline constexpr qint64 kReuseReadHere = 256 * 1024;
// How many specs the coming runs may give the read-ahead in all: its memory
// budget stops the reading long before on any but tiny files.
inline constexpr quint64 kPrefetchFiles = 65536;
