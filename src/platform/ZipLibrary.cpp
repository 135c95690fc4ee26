#include "platform/ZipLibrary.h"

#include "platform/FileIO.h"
#include "zip/ZipNames.h"
#include "zip/ZipReader.h"
#include "zip/ZipSession.h"

#include <QFile>

namespace {

// The one session the Zp* calls drive, for the program's life.
ZipSession& session()
{
    static ZipSession s;
    return s;
}

} // namespace

qint32 ZpInit(const ZpCallbacks* callbacks)
{
    session().setCallbacks(callbacks);
    return 0;
}

qint32 ZpSetOptions(const ZpOptions* options)
{
    session().setOptions(options);
    return 0;
}

qint32 ZpArchive(qint32 count, const char* zipFile, const char* const* names)
{
    return session().archive(count, zipFile, names);
}

ZipFailure ZpLastFailure()
{
    return session().failure;
}

void ZpPrefetch(const ZpOptions* options, qint32 count, const char* const* names)
{
    session().prefetchFirst(options, count, names);
}

void ZpPrefetchAlso(const ZpOptions* options, qint32 count, const char* const* names)
{
    session().prefetchAlso(options, count, names);
}

void ZpPrefetchTurn()
{
    session().prefetchTurn();
}

void ZpDiscardHeld()
{
    session().discardHeld();
}

void ZpForgetStatCache()
{
    session().forgetStatCache();
}

quint64 ZpFilesRead()
{
    return session().counters.filesRead.load();
}

void ZpSetSettleClockAhead(qint64 seconds)
{
    session().counters.clockAhead.store(seconds);
}

bool ZpListEntries(const QString& zipFile, QStringList& names, const std::function<void()>& turn)
{
    // Read here rather than through libzip: its open reads the whole
    // directory in one call, with no turn for the caller, and holds far
    // more per entry than a name.
    names.clear();
    const FileIO::Handle fd = FileIO::open(QFile::encodeName(zipFile).constData(), FileIO::Mode::Read);
    QByteArray comment;
    const bool ok = fd.isOpen() && ForEachZipEntry(fd.get(), comment, [&](const char*, QByteArrayView name) {
                        if (turn)
                            turn();
                        names << ZipNames::Utf8Text(name);
                    });
    if (!ok)
        names.clear();
    return ok;
}
