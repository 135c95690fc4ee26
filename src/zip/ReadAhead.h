#pragma once

#include "zip/EntryJob.h"
#include "zip/Packer.h"
#include "zip/ZpTypes.h"

#include <QByteArray>
#include <deque>
#include <future>
#include <memory>
#include <vector>

class ReuseSource;

// Files the coming runs will store, read and deflated in the order those
// runs will want them while their caller is still busy with other things
// (ZpPrefetch, ZpPrefetchAlso). The jobs form one stream across the runs: a
// job's sequence number in the packer is its place in the stream. Between
// runs ZpPrefetchTurn takes finished results off the ring into a lean queue,
// so the workers can go on far past the ring's size, up to a memory budget.
struct Prefetch
{
    // The specs of one coming run, with the options it will have.
    struct Segment
    {
        EntryContext ctx;
        QByteArray blob;           // the specs, each NUL-terminated; never grows, jobs point into it
        std::vector<quint32> from; // where each spec starts in blob
        quint64 first = 0;         // the stream place of the first spec
        const char* spec(quint64 place) const { return blob.constData() + from[size_t(place - first)]; }
        quint64 end() const { return first + from.size(); }
    };
    // A finished result, held lean: most are a few dozen bytes of name and data.
    struct Held
    {
        QByteArray bytes;             // the name, then the data
        std::unique_ptr<Packed> full; // a failure or a large file held open: kept whole
        qint64 size = 0;
        quint64 dev = 0;
        quint64 ino = 0;
        quint32 crc = 0;
        quint32 dosTime = 0;
        quint32 nameSize = 0;
        qint32 origin = -1;                          // the run's, once a run took it over
        const ZipDirectory::Record* reuse = nullptr; // a Copy's entry in the old archive
        Packed::Kind kind = Packed::Failed;
        bool stored = false;
        bool settled = false;
        quint32 dataCrc = 0;
        qint64 mtimeNs = 0; // the file's times as read; its size is size
        qint64 ctimeNs = 0;
    };

    std::vector<std::unique_ptr<Segment>> segments;
    size_t current = 0;  // the segment the next run may take over
    quint64 total = 0;   // specs in all segments
    size_t feeding = 0;  // the segment of the next job to submit
    bool closed = false; // no more runs are added
    std::deque<Held> held;
    quint64 heldFrom = 0; // the stream place of held.front()
    qint64 heldBytes = 0;
    QByteArray reuseText;               // the runs' reuse option, as given
    std::shared_ptr<ReuseSource> reuse; // the old archive the files are checked against
    std::unique_ptr<Packer> packer;     // after those, so its workers stop before the rest goes
    bool adopted = false;               // its old archive is the runs' one now
    std::future<void> started;          // last: reads the old archive beside the caller

    // Once the old archive is read, the runs' files are checked against it.
    // False while it is still being read.
    bool settle(bool wait);

    static qint64 cost(const Held& h);
    // Copies a small result's name and data, and takes anything else whole.
    static Held lean(Packed& p);

    static Packed unpack(Held&& h);
    // Whether the next segment was made with the options of a run on this context.
    bool fits(const EntryContext& ctx) const;
    // as far as the budget allows. The caller's thread is the packer's writer.
    void feed();

    // What held results may take at most, with the ring's; well within what
    // a build of a hundred thousand files may add to the process.
    static constexpr qint64 kBudget = 10 * 1024 * 1024;
    // A result still in the ring: its slot, path, name and buffer.
    static constexpr qint64 kInFlightCost = 640;
    static constexpr size_t kRing = 4096;
};

// Adds a coming run's specs to the read-ahead, starting it with the first
// (see ZpPrefetch and ZpPrefetchAlso).
void AddPrefetchRun(std::unique_ptr<Prefetch>& prefetch, FileCounters& counters, const ZpOptions* options,
                    qint32 count, const char* const* names);
