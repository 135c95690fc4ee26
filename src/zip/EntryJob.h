#pragma once

#include "platform/FileIO.h"
#include "zip/ZipFailure.h"
#include "zip/ZipWriter.h"

#include <QByteArray>
#include <QString>
#include <ctime>

class ReuseSource;
struct FileCounters;

// What the workers need to turn a path into an entry; lives as long as the run.
struct EntryContext
{
    QString base;
    QByteArray baseBytes; // base in the file system's encoding
    bool junk = false;
    bool storeDirs = false;
    quint64 archiveDev = 0;
    quint64 archiveIno = 0;
    quint64 replacedDev = 0; // the archive the one written will replace, if any
    quint64 replacedIno = 0;
    const ReuseSource* reuse = nullptr; // null: nothing to copy from
    FileCounters* counters = nullptr;   // the session's

    // Who the archive to be replaced is on the disk: the file, not the name.
    void noteReplaced(const QByteArray& path);
    bool isArchive(const FileIO::Status& st) const
    {
        return st.device == archiveDev && st.inode == archiveIno;
    }
    bool isReplaced(const FileIO::Status& st) const
    {
        return replacedIno != 0 && st.device == replacedDev && st.inode == replacedIno;
    }
};

// One file read and deflated (raw deflate, as a zip entry holds it) off the
// main thread: what the entry is, or why there is none.
struct Packed
{
    QByteArray data;
    quint32 crc = 0;
    qint64 size = 0;
    bool ok = false;
    bool stored = false; // data holds the file's own bytes: deflate did not make them smaller
    bool readable = false;
    bool changed = false; // the file's size differs from the one it was listed with
    enum Kind
    {
        Failed,
        Small, // data holds the stored bytes
        Large, // fd is open at the start, for the writer to deflate
        Copy,  // unchanged since the reuse archive's entry: copied from there
        Dir,
        Skip, // nothing to store (the archive itself, a folder without entry)
    };
    Kind kind = Failed;
    ZipFailure failure;
    QString note; // a warning for the log that does not stop the run
    QString path;
    QByteArray name; // UTF-8
    quint32 dosTime = 0;
    FileIO::Handle fd;
    qint64 budget = 0;    // bytes counted against the read-ahead limit
    FileIO::Status stamp; // as read; a large file's when opened, which the writer checks after reading
    quint64 dev = 0;      // the file read, to tell it from an archive made after it was read
    quint64 ino = 0;
    bool settled = false; // its stamp may vouch for its bytes to the next build (see Settled)
    quint32 dataCrc = 0;  // of the stored bytes; a large file's is taken as the writer writes them
    // For a Copy: its entry in the run's reuse archive.
    const ZipDirectory::Record* reuse = nullptr;

    void fail(ZipFailure why)
    {
        kind = Failed;
        failure = std::move(why);
    }
};

// One entry to prepare: a literal spec (the worker finds its kind and name),
// or a path the run planned with its name.
struct EntryJob
{
    const EntryContext* ctx = nullptr;
    const char* spec = nullptr;
    QString path;
    QString name;
    bool isDir = false;
    qint64 expected = -1; // listed size; -1: the size the open file has
    time_t mtime = 0;
    quint64 seq = 0;
};
