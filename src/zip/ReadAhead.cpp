#include "zip/ReadAhead.h"

#include "zip/ReuseSource.h"
#include "zip/RunState.h"

#include <QDir>
#include <QFile>
#include <cstring>

bool Prefetch::settle(bool wait)
{
    if (!started.valid())
        return true;
    if (!wait && started.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return false;
    started.get();
    for (const auto& seg : segments)
        seg->ctx.reuse = reuse.get();
    return true;
}

qint64 Prefetch::cost(const Held& h)
{
    // The record, the allocation behind bytes (with the allocator's own
    // share), and a kept result at a generous guess: a large file's counts
    // as a share of the budget so few stay open.
    qint64 c = qint64(sizeof(Held)) + (h.bytes.isEmpty() ? 0 : h.bytes.capacity() + 48);
    if (h.full)
        c += h.full->kind == Packed::Large ? (kPrepackLimit / 4) : 1024;
    return c;
}

Prefetch::Held Prefetch::lean(Packed& p)
{
    Held h;
    h.kind = p.kind;
    h.size = p.size;
    h.dev = p.dev;
    h.ino = p.ino;
    if ((p.kind == Packed::Small || p.kind == Packed::Dir || p.kind == Packed::Skip ||
         p.kind == Packed::Copy) &&
        p.note.isEmpty()) {
        h.reuse = p.reuse;
        h.crc = p.crc;
        h.settled = p.settled;
        h.dataCrc = p.dataCrc;
        h.mtimeNs = p.stamp.mtimeNs;
        h.ctimeNs = p.stamp.ctimeNs;
        h.dosTime = p.dosTime;
        h.stored = p.stored;
        h.nameSize = quint32(p.name.size());
        h.bytes.reserve(p.name.size() + (p.kind == Packed::Small ? p.data.size() : 0));
        h.bytes.append(p.name);
        if (p.kind == Packed::Small)
            h.bytes.append(p.data);
    } else {
        h.full = std::make_unique<Packed>(std::move(p));
    }
    return h;
}

Packed Prefetch::unpack(Held&& h)
{
    if (h.full)
        return std::move(*h.full);
    Packed p;
    p.kind = h.kind;
    p.ok = true;
    p.size = h.size;
    p.dev = h.dev;
    p.ino = h.ino;
    p.crc = h.crc;
    p.dosTime = h.dosTime;
    p.stored = h.stored;
    p.reuse = h.reuse;
    p.settled = h.settled;
    p.dataCrc = h.dataCrc;
    p.stamp.size = h.size;
    p.stamp.mtimeNs = h.mtimeNs;
    p.stamp.ctimeNs = h.ctimeNs;
    p.name = h.bytes.left(qsizetype(h.nameSize));
    if (h.kind == Packed::Small) {
        p.data = std::move(h.bytes);
        p.data.remove(0, qsizetype(h.nameSize));
    }
    return p;
}

bool Prefetch::fits(const EntryContext& ctx) const
{
    if (current >= segments.size() || heldFrom + held.size() != packer->taken())
        return false;
    const EntryContext& c = segments[current]->ctx;
    return heldFrom == segments[current]->first && c.base == ctx.base && c.junk == ctx.junk &&
           c.storeDirs == ctx.storeDirs && c.reuse == ctx.reuse;
}

// Takes the finished results off the ring and hands the workers more,

void Prefetch::feed()
{
    if (!settle(false))
        return;
    Packer& pk = *packer;
    while (pk.inFlight() > 0 && pk.readyNow()) {
        Packed p = pk.takeOldest();
        pk.release(std::exchange(p.budget, 0));
        held.push_back(lean(p));
        heldBytes += cost(held.back());
        // The workers' buffers are sized for any file: handed back, not held.
        if (!p.data.isNull())
            pk.recycle(std::move(p.data));
    }
    while (pk.hasRoom() && pk.submitted() < total &&
           heldBytes + qint64(pk.inFlight()) * kInFlightCost < kBudget) {
        const quint64 place = pk.submitted();
        while (segments[feeding]->end() <= place)
            ++feeding;
        EntryJob job;
        job.ctx = &segments[feeding]->ctx;
        job.spec = segments[feeding]->spec(place);
        pk.submit(std::move(job), -1);
    }
    pk.publish();
}

namespace {

// A new read-ahead for the runs of one archive, with the old archive they
// check their files against.
std::unique_ptr<Prefetch> startPrefetch(const ZpOptions& options, const QByteArray& base)
{
    auto pre = std::make_unique<Prefetch>();
    Prefetch& p = *pre;
    // Both workers from the start, though the caller is busy too: on a
    // machine whose other core is taken, the process's share of the CPU
    // goes by its threads that can run, and the small files' reading and
    // deflating is most of the build's work.
    p.packer = std::make_unique<Packer>(Prefetch::kRing, Packer::kWorkers);
    p.reuseText = QByteArray(options.szReuse ? options.szReuse : "");
    if (p.reuseText.isEmpty())
        return pre;
    // The files are checked against the old archive as the run checks them.
    // Its directory takes long to read at many entries, and the caller has
    // no turns to give here: it is read beside the caller, and nothing is
    // read ahead before it is. A small one is read at once: a thread
    // would cost more than the reading.
    const QByteArray path = QFile::encodeName(
        QDir::cleanPath(QDir(BasePath(base, true)).absoluteFilePath(QString::fromUtf8(p.reuseText))));
    FileIO::Status st;
    if (FileIO::statusOf(path.constData(), st) && st.size <= kReuseReadHere)
        p.reuse = ReuseSource::load(path, {});
    else
        p.started = std::async(std::launch::async, [&p, path] { p.reuse = ReuseSource::load(path, {}); });
    return pre;
}

} // namespace

void AddPrefetchRun(std::unique_ptr<Prefetch>& prefetch, FileCounters& counters, const ZpOptions* options,
                    qint32 count, const char* const* names)
{
    if (options == nullptr || count <= 0 || names == nullptr || options->fLiteral == 0 ||
        options->fRecurse != 0 || options->fDeleteEntries != 0 || options->fUpdate != 0 ||
        options->fFreshen != 0 ||
        (prefetch && prefetch->reuseText != QByteArray(options->szReuse ? options->szReuse : ""))) {
        // A run that cannot be read ahead ends what follows it too: the stream is in run order.
        if (prefetch)
            prefetch->closed = true;
        return;
    }
    const QByteArray base = QByteArray(options->szRootDir ? options->szRootDir : "");
    if (!prefetch)
        prefetch = startPrefetch(*options, base);
    Prefetch& pre = *prefetch;
    if (pre.closed)
        return;
    auto seg = std::make_unique<Prefetch::Segment>();
    seg->ctx.base = BasePath(base, true);
    seg->ctx.baseBytes = QFile::encodeName(seg->ctx.base);
    seg->ctx.junk = options->fJunkDirNames != 0;
    seg->ctx.storeDirs = options->fNoDirEntries == 0 && !seg->ctx.junk;
    seg->ctx.noteReplaced(QByteArray(options->szReplace ? options->szReplace : ""));
    seg->ctx.counters = &counters;
    if (!pre.started.valid())
        seg->ctx.reuse = pre.reuse.get();
    seg->first = pre.total;
    qsizetype bytes = 0;
    qint32 n = 0;
    for (qint32 i = 0; i < count && pre.total + quint64(n) < kPrefetchFiles; ++i) {
        if (names[i] != nullptr && *names[i] != '\0') {
            bytes += qsizetype(std::strlen(names[i])) + 1;
            ++n;
        }
    }
    if (n == 0)
        return;
    seg->blob.reserve(bytes);
    seg->from.reserve(size_t(n));
    for (qint32 i = 0; i < count && seg->from.size() < size_t(n); ++i) {
        if (names[i] != nullptr && *names[i] != '\0') {
            seg->from.push_back(quint32(seg->blob.size()));
            seg->blob.append(names[i], qsizetype(std::strlen(names[i])) + 1);
        }
    }
    pre.total = seg->end();
    // A list cut short is the last: the next run's files would not follow it.
    pre.closed = pre.total >= kPrefetchFiles;
    pre.segments.push_back(std::move(seg));
    pre.feed();
}
