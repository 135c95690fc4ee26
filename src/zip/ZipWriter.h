#pragma once

#include "zip/ZipDirectory.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// A zip archive written front to back: each entry's local header and data
// are appended as they come, and the central directory is written once, at
// the end. Runs may add entries in turn; a failed run is taken back by
// truncating the file to where it began. Headers are written as zip and
// libzip write them for a Unix file (made by 3.0, needs 2.0, deflate for
// files unless it would not make them smaller, stored folders, no extra
// fields unless Zip64 needs them), so the same inputs always give the same
// bytes.
class ZipWriter
{
public:
    ZipWriter() = default;
    ~ZipWriter(); // closes; the file stays as it is
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Creates a new archive at path; false when it exists or cannot be made.
    bool create(const QString& path);
    bool isOpen() const { return m_fd >= 0; }
    const QString& path() const { return m_path; }
    // Whether path still names the file written here, of the size written.
    bool unchangedOnDisk() const;
    // The system's error code of the first write that failed (see
    // FileIO::errorText); 0 while all went well.
    int error() const { return m_error; }
    quint64 end() const { return m_end; }

    // Marks where a run starts, so rollbackRun can take it back.
    void beginRun();
    // Truncates to where the run started and forgets its records.
    bool rollbackRun();
    // The first record the current run added (records before it are earlier runs').
    quint32 runFirstRecord() const { return m_runRecords; }

    // One entry whose data is at hand (deflated, or the file's bytes when
    // stored, or a folder's none).
    bool writeEntry(QByteArrayView name, quint32 dosTime, bool isDir, quint32 crc, quint64 usize,
                    QByteArrayView data, qint32 origin, bool stored = false);
    // One entry whose data follows in pieces: its header is written first
    // with the sizes left open, and filled in by endStream.
    bool beginStream(QByteArrayView name, quint32 dosTime, quint64 listedSize, qint32 origin);
    bool append(const char* data, qsizetype size);
    // Drops the data appended since beginStream, to write it again otherwise.
    bool rewindStream();
    bool endStream(quint32 crc, quint64 csize, quint64 usize, bool stored = false);
    // One entry taken whole from another archive this writer made (fd, its
    // record old there, whose local header the caller has checked with
    // IsWrittenLocalHeader): header and data are copied file to file, and
    // entries that lay side by side there go out as one copy. The copy is
    // pending until copyPending or any other write.
    bool copyEntry(QByteArrayView name, const ZipDirectory::Record& old, int fd, qint32 origin);
    // Bytes copyEntry has yet to copy; copyPending copies up to that many.
    quint64 pendingCopy() const { return m_copyLen; }
    bool copyPending(quint64 bytes);
    // Leaves an earlier record out of the directory (its name was written again).
    void supersede(quint32 index);
    const ZipDirectory& directory() const { return m_dir; }
    // Room for that many more records, when the caller knows it.
    void reserve(quint32 more) { m_dir.reserve(m_dir.size() + more); }

    // Writes what is buffered, so the file on disk ends at end().
    bool flush();
    // Writes the central directory and the end records, and closes.
    // turn, when given, is called every thousand or so entries.
    bool finish(QByteArrayView comment, const std::function<void()>& turn = {});
    void close();
    // Closes and deletes the file.
    void remove();

private:
    int m_fd = -1;
    QString m_path;
    quint64 m_dev = 0;
    quint64 m_ino = 0;
    int m_error = 0;
    quint64 m_end = 0; // logical end: on disk plus buffered
    QByteArray m_buf;  // not yet written; m_end - m_buf.size() is where it goes
    ZipDirectory m_dir;
    quint64 m_runStart = 0;
    quint32 m_runRecords = 0;
    std::vector<quint32> m_runSuperseded;
    quint32 m_stream = ZipDirectory::kNone; // the record being streamed
    // A copy copyEntry has yet to make: m_copyLen bytes from m_copyFrom in
    // m_copyFd, to go at m_end - m_copyLen. m_buf is empty while one is pending.
    int m_copyFd = -1;
    quint64 m_copyFrom = 0;
    quint64 m_copyLen = 0;
    quint64 m_writebackFrom = 0; // the disk has been asked to write the archive up to here
    void wroteUpTo(quint64 end);
    bool m_copyInKernel = true; // until the kernel says it cannot between these files

    bool put(const char* data, qsizetype size);
    bool pwriteAll(const char* data, qsizetype size, quint64 at);
    bool truncateTo(quint64 end);
    bool copyOut(quint64 bytes);
};
