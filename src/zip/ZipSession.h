#pragma once

#include "zip/FileSettling.h"
#include "zip/StatCache.h"
#include "zip/ZipFailure.h"
#include "zip/ZipWriter.h"
#include "zip/ZpTypes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <memory>

class ReuseSource;
struct Prefetch;

// An archive a run with fHold left open, for the next run to continue.
struct HeldArchive
{
    ZipWriter writer;
    QByteArray comment; // the last one a run asked for: the finishing run writes it
    // What the next build may know of the files without reading them, and
    // where it stood when the run under way began, for that run's rollback.
    StatCache::Writer made;
    StatCache::Writer::Mark runStart;
};

// What lasts from run to run: the callbacks and options the runs are made
// with, an archive held open between runs, the old archive they copy from,
// and what is read ahead for the coming ones. The Zp* calls drive one.
struct ZipSession
{
    ZipSession();
    ZipSession(const ZipSession&) = delete;
    ZipSession& operator=(const ZipSession&) = delete;
    // A held archive never finished has no directory: it is no archive to keep.
    ~ZipSession();

    void setCallbacks(const ZpCallbacks* cb);
    void setOptions(const ZpOptions* opt);
    // One run (ZpArchive).
    qint32 archive(qint32 count, const char* zipFile, const char* const* names);
    // Reading ahead for the coming runs (ZpPrefetch, ZpPrefetchAlso, ZpPrefetchTurn).
    void prefetchFirst(const ZpOptions* opt, qint32 count, const char* const* names);
    void prefetchAlso(const ZpOptions* opt, qint32 count, const char* const* names);
    void prefetchTurn();
    void discardHeld();
    void forgetStatCache();

    std::unique_ptr<HeldArchive> held;
    std::shared_ptr<ReuseSource> reuseSource;
    std::unique_ptr<Prefetch> prefetch;
    ZpCallbacks callbacks;
    ZpOptions options;
    // The texts of the option record, copied: the caller's pointers need not outlive setOptions.
    QByteArray rootDir;
    QByteArray reuse;
    QByteArray replace;
    QString savedCache; // the stat cache the last finished archive left
    bool running = false;
    // Since the last idle callback of any run: a caller making run after run
    // gets its first turn of a run as soon as it is due, not 20 ms into it.
    QElapsedTimer idleClock;
    // Why the last run failed; None after a success.
    ZipFailure failure;
    FileCounters counters;
};
