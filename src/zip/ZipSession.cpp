#include "zip/ZipSession.h"

#include "zip/AppendRun.h"
#include "zip/ReadAhead.h"
#include "zip/ReuseSource.h"
#include "zip/RunLimits.h"
#include "zip/RunState.h"
#include "zip/SpecPlanner.h"
#include "zip/UpdateRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// One run: where its archive is, which kind of run it takes, and a held
// archive of another path finished first.
qint32 runOnce(ZipSession& session, qint32 count, const char* zipFile, const char* const* names)
{
    RunState run(session);
    if (count < 0 || zipFile == nullptr || *zipFile == '\0' || (count > 0 && names == nullptr))
        return run.fail(ZipFailure::BadArguments, QString());
    QString zipText = QString::fromUtf8(zipFile);
    if (!run.literal())
        zipText.replace(u'\\', u'/');
    run.zipPath = QDir::cleanPath(QDir(run.base).absoluteFilePath(zipText));
    // Adding to a new archive, or to the one an earlier run left open,
    // needs no copy of what is there: entries are appended as they come.
    // Everything else goes through libzip, which rewrites the archive.
    const ZpOptions& opt = run.opt;
    const bool appendOnly = opt.fDeleteEntries == 0 && opt.fUpdate == 0 && opt.fFreshen == 0;
    if (session.held && (session.held->writer.path().compare(run.zipPath, kPathCase) != 0 || !appendOnly)) {
        const QString held = session.held->writer.path();
        if (!run.finishHeld())
            return run.fail(ZipFailure::CannotWrite, held);
    }
    if (session.held && !session.held->writer.unchangedOnDisk()) {
        // Someone else wrote there meanwhile: appending would corrupt their file, or ours.
        session.held->writer.close();
        session.held.reset();
        return run.fail(ZipFailure::ArchiveChanged, run.zipPath);
    }
    const QFileInfo zipInfo(run.zipPath);
    run.zipCanonical = zipInfo.canonicalFilePath();
    const bool exists = zipInfo.exists();
    if (exists && !zipInfo.isFile())
        return run.fail(ZipFailure::NotAFile, run.zipPath);
    SpecPlanner plan(run);
    if (appendOnly && (session.held || !exists))
        return AppendRun(run, plan, count, names).exec();
    return UpdateRun(run, plan).exec(count, names, exists);
}

} // namespace

ZipSession::ZipSession() = default;

ZipSession::~ZipSession()
{
    prefetch.reset();
    if (held)
        held->writer.remove();
}

void ZipSession::setCallbacks(const ZpCallbacks* cb)
{
    callbacks = cb ? *cb : ZpCallbacks{};
}

void ZipSession::setOptions(const ZpOptions* opt)
{
    options = opt ? *opt : ZpOptions{};
    rootDir = QByteArray(options.szRootDir ? options.szRootDir : "");
    reuse = QByteArray(options.szReuse ? options.szReuse : "");
    replace = QByteArray(options.szReplace ? options.szReplace : "");
    options.szDate = options.szRootDir = options.szTempDir = options.szReuse = options.szReplace = nullptr;
}

qint32 ZipSession::archive(qint32 count, const char* zipFile, const char* const* names)
{
    if (running)
        return ZpErrLogic;
    running = true;
    failure = ZipFailure();
    struct Reset
    {
        ZipSession& session;
        ~Reset()
        {
            session.running = false;
            // What was read ahead is for the runs of one archive: the last of them drops the rest.
            if (session.options.fHold == 0)
                session.prefetch.reset();
        }
    } reset{*this};
    try {
        const qint32 code = runOnce(*this, count, zipFile, names);
        // With no archive held open the runs that shared the old archive are
        // over: its directory goes, and its file, which would otherwise stay
        // on disk after being replaced, is closed.
        if (!held)
            reuseSource.reset();
        return code;
    } catch (const std::bad_alloc&) {
        failure = ZipFailure::at(ZipFailure::OutOfMemory, QString());
        return ZpErrMemory;
    }
}

void ZipSession::prefetchFirst(const ZpOptions* opt, qint32 count, const char* const* names)
{
    if (running)
        return;
    prefetch.reset();
    AddPrefetchRun(prefetch, counters, opt, count, names);
}

void ZipSession::prefetchAlso(const ZpOptions* opt, qint32 count, const char* const* names)
{
    if (!running && prefetch)
        AddPrefetchRun(prefetch, counters, opt, count, names);
}

void ZipSession::prefetchTurn()
{
    if (!running && prefetch)
        prefetch->feed();
}

void ZipSession::discardHeld()
{
    if (running)
        return;
    reuseSource.reset();
    prefetch.reset();
    if (!held)
        return;
    held->writer.remove();
    held.reset();
}

void ZipSession::forgetStatCache()
{
    if (!savedCache.isEmpty())
        QFile::remove(savedCache);
    savedCache.clear();
}
