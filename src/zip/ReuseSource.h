#pragma once

#include "platform/FileIO.h"
#include "zip/StatCache.h"
#include "zip/ZipReader.h"
#include "zip/ZipWriter.h"

#include <QByteArray>
#include <atomic>
#include <functional>
#include <memory>

// An earlier archive whose stored data may be copied. Read once for all the
// runs of a build, and again only when the file changes. Its checks are made
// on worker threads at once; each check's findings are kept per record.
class ReuseSource
{
public:
    // The archive at path read for copying from; null when it is none this
    // writer could have made.
    static std::shared_ptr<ReuseSource> load(const QByteArray& path, const std::function<void()>& turn);

    const QByteArray& path() const { return m_path; }
    const FileIO::Status& status() const { return m_status; }
    int fd() const { return m_fd.get(); }
    const ZipDirectory& directory() const { return m_dir; }
    const QByteArray& comment() const { return m_comment; }
    bool hasStatCache() const { return m_cache != nullptr; }
    // Whether path still names the very file read, unchanged.
    bool stillIs(const QByteArray& path, const FileIO::Status& now) const;

    // The record of an entry of this name, size and time: then only the CRC
    // is left to compare. kNone when there is none.
    quint32 candidate(QByteArrayView name, qint64 size, quint32 dosTime) const;
    // Whether the cache knows anything of the entry of this name.
    bool cachedName(QByteArrayView name) const;
    // Whether record i may be copied as it stands for a file of this CRC: its
    // record and header are what this writer writes, and its data still
    // inflates to the file's bytes. damaged tells a record whose data does not.
    bool copyable(quint32 i, quint32 crc, quint32& dataCrc, bool& damaged) const;
    // Whether record i may be copied without reading the file: the build that
    // wrote it saw the file with the very stat it has now, when it had long
    // stopped changing, and the stored bytes are still the ones it wrote.
    bool vouched(quint32 i, const StatCache::Entry& now, quint32& dataCrc) const;

private:
    QByteArray m_path;
    FileIO::Status m_status;
    FileIO::Handle m_fd;
    ZipDirectory m_dir;
    QByteArray m_comment;
    // Per record of m_dir: whether its local header is known to be the one
    // this writer writes (see IsWrittenLocalHeader).
    std::unique_ptr<std::atomic<quint8>[]> m_checked;
    std::unique_ptr<StatCache>
        m_cache; // of the build that wrote it, when it is still the file that build left
    // Per record of m_dir: whether its stored bytes have the CRC the cache
    // gives (see StoredBytesHaveCrc).
    std::unique_ptr<std::atomic<quint8>[]> m_bytesChecked;
};
