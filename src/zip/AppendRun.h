#pragma once

#include "zip/EntryJob.h"
#include "zip/ParallelDeflate.h"
#include "zip/ReadAhead.h"

#include <memory>

class Packer;
class RunState;
class SpecPlanner;
class ZipWriter;

// A run through the append-only writer, on a new archive or the one an
// earlier run left open: entries are prepared on the workers in order, a
// window ahead, and written here one by one.
class AppendRun
{
public:
    AppendRun(RunState& run, SpecPlanner& plan, qint32 count, const char* const* names);
    ~AppendRun();
    qint32 exec();

private:
    RunState& m_run;
    SpecPlanner& m_plan;
    const qint32 m_count;
    const char* const* m_names;
    // Literal specs without recursion are one entry each: the workers find
    // out what each is. Anything else is planned first.
    const bool m_direct;
    EntryContext m_ctx;
    // Files read ahead for this run, when they were read as this run reads them.
    std::unique_ptr<Prefetch> m_pre;
    std::unique_ptr<Packer> m_packer; // started with the first file it is given
    // Where the listing of jobs stands: the next spec or planned item.
    qint32 m_spec = 0;
    size_t m_item = 0;
    bool m_listed = false;  // every entry has been submitted
    bool m_pending = false; // m_job is one next() gave and is still to submit
    EntryJob m_job;
    qint32 m_origin = 0;
    // With files read ahead: the run's share of the stream is [start, end)
    // while its specs are the segment's; the rest stays for the next run.
    // Once they part, what was read ahead from there on is dropped.
    const Prefetch::Segment* m_seg = nullptr;
    bool m_intact = false;
    quint64 m_place = 0; // the stream place of the next entry to take

    bool planAll(bool& anySpec);
    QByteArray askComment(bool& given) const;
    qint32 writeEntries(ZipWriter& w, const QByteArray& comment);
    void setUpContext(const ZipWriter& w);
    const ReuseSource* reuseSource(const QByteArray& comment);
    bool awaitPrefetch();
    bool next(EntryJob& job, qint32& origin);
    void takeOverPrefetch();
    void submitMore();
    bool takeNext(Packed& p, qint32& origin);
    QString pathOfOrigin(qint32 origin) const;
    bool isArchive(const Packed& p) const;
    bool writeEntry(ZipWriter& w, Packed& p, qint32 origin);
    void remember(const ZipWriter& w, const Packed& p);
    bool copyReused(ZipWriter& w, const Packed& p, qint32 origin);
    bool writeLarge(ZipWriter& w, Packed& p, qint32 origin);
    bool deflatePass(ZipWriter& w, Packed& p, bool guess, bool& raw, DeflateResult& r);
    bool writeStoredCopy(ZipWriter& w, Packed& p, quint32 crc, qint64 size);
    bool failRead(ZipFailure::Kind kind, const QString& path);
};
