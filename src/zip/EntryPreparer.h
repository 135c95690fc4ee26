#pragma once

#include "zip/EntryJob.h"

class Deflater;

// What preparing an entry needs of the pool that runs it.
class PrepareHost
{
public:
    // Holds back reading while the entries read ahead hold too many bytes.
    virtual void acquire(quint64 seq, qint64 bytes) = 0;
    // An output buffer handed back by the writer, or a null one.
    virtual QByteArray takeBuffer() = 0;

protected:
    ~PrepareHost() = default;
};

// Turns one job into an entry on a worker thread: finds what the spec is,
// names it, and reads and deflates a small file, or copies it from the old
// archive when it is unchanged there; a large file is left open for the
// writer. zs and in are the worker's own, kept from file to file.
void PrepareEntry(const EntryJob& job, PrepareHost& host, Deflater& zs, QByteArray& in, Packed& p);

// Reads and deflates a file already planned (the update run's files).
void PackFile(const QString& path, qint64 expected, PrepareHost& host, Deflater& zs, QByteArray& in,
              Packed& p);

// The entry name of a spec that is a plain absolute path, all ASCII: such
// a spec is its own clean path, and its name is what follows the base
// (or, with junked folder names, its last part), so neither needs
// converting or checking. Null for any other spec.
QByteArrayView PlainEntryName(const char* spec, const EntryContext& ctx);
