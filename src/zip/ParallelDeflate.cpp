#include "platform/FileIO.h"
#include "zip/Deflater.h"
#include "zip/ParallelDeflate_p.h"
#include "zip/Turns.h"

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

// The file is cut into pieces that worker threads deflate at once, each on
// its own. Every piece but the last is then reopened: its final block is
// marked as not final and padded to a byte boundary, so the pieces joined are
// one ordinary deflate stream. The calling thread reads, hands pieces out and
// passes the output on strictly in order, keeping only a few pieces in flight.

namespace {

struct Piece
{
    enum State
    {
        Free,
        Queued,
        Done,
        Failed
    };
    std::vector<char> in;
    qsizetype len = 0;
    bool last = false;
    std::vector<char> out;
    qsizetype outLen = 0;
    quint32 crc = 0;    // of in
    quint32 outCrc = 0; // of out, as sent
    State state = Free;
};

// What a worker keeps from piece to piece.
struct PieceTools
{
    Deflater deflater;
    z_stream inflater{};
    bool inflaterReady = false;
    std::vector<unsigned char> scratch = std::vector<unsigned char>(64 * 1024);
    PieceTools() = default;
    PieceTools(const PieceTools&) = delete;
    PieceTools& operator=(const PieceTools&) = delete;
    ~PieceTools()
    {
        if (inflaterReady)
            inflateEnd(&inflater);
    }
};

} // namespace

qsizetype ReopenDeflateEnd(z_stream& zs, unsigned char* buf, qsizetype len, unsigned char* scratch,
                           size_t scratchSize)
{
    // Inflating block by block tells where each block begins and where the
    // last one ends, to the bit: a block's first bit says whether it is the last.
    if (inflateReset(&zs) != Z_OK)
        return -1;
    zs.next_in = buf;
    zs.avail_in = static_cast<uInt>(len);
    qint64 header = 0; // bit offset of the block being read
    qint64 end = -1;
    while (end < 0) {
        zs.next_out = scratch;
        zs.avail_out = static_cast<uInt>(scratchSize);
        if (inflate(&zs, Z_BLOCK) != Z_OK)
            return -1; // not one whole stream: no progress is an error too
        if ((zs.data_type & 128) == 0)
            continue; // inside a block
        const qint64 at = qint64(zs.next_in - buf) * 8 - (zs.data_type & 7);
        if ((zs.data_type & 64) != 0)
            end = at;
        else
            header = at;
    }
    buf[header >> 3] &= static_cast<unsigned char>(~(1u << (header & 7)));
    qsizetype n = qsizetype(end >> 3);
    const int used = int(end & 7);
    if (used == 0)
        return n;
    // As pigz does: an empty fixed block takes 10 bits, so one to three get
    // an even count of free bits to the boundary; an odd count takes an
    // empty stored block, which ends on one.
    const int free = 8 - used;
    unsigned char b = buf[n] & static_cast<unsigned char>((1u << used) - 1);
    if (free & 1) {
        buf[n++] = b;
        if (free == 1)
            buf[n++] = 0;
        for (const unsigned char c : {0x00, 0x00, 0xFF, 0xFF})
            buf[n++] = c;
        return n;
    }
    // Each empty fixed block is a single set bit (its type), just after the not-last bit.
    for (int at = used + 1; at < 8; at += 2) {
        buf[n++] = b | static_cast<unsigned char>(1u << at);
        b = 0;
    }
    buf[n++] = 0;
    return n;
}

namespace {

// The same bytes give the same piece whatever thread deflates them.
bool deflatePiece(Piece& p, PieceTools& tools)
{
    const qsizetype cap = tools.deflater.bound(p.len) + kReopenRoom;
    if (static_cast<qsizetype>(p.out.size()) < cap)
        p.out.resize(static_cast<size_t>(cap));
    p.outLen = tools.deflater.deflate(p.in.data(), p.len, p.out.data(), cap - kReopenRoom);
    p.crc = Crc32(0, p.in.data(), p.len);
    if (p.outLen == 0)
        return false;
    if (p.last) {
        p.outCrc = Crc32(0, p.out.data(), p.outLen);
        return true;
    }
    if (!tools.inflaterReady) {
        tools.inflaterReady = inflateInit2(&tools.inflater, -MAX_WBITS) == Z_OK;
        if (!tools.inflaterReady)
            return false;
    }
    p.outLen = ReopenDeflateEnd(tools.inflater, reinterpret_cast<unsigned char*>(p.out.data()), p.outLen,
                                tools.scratch.data(), tools.scratch.size());
    p.outCrc = Crc32(0, p.out.data(), p.outLen);
    return p.outLen > 0;
}

// The workers and the queue of pieces waiting for one. Destroying it stops
// the workers once their pieces are done and joins them, whatever the caller returns for.
class Workers
{
public:
    // tools holds those of earlier files: each thread takes one, and they are back when it ends.
    Workers(int count, std::vector<Piece>& ring, std::vector<std::unique_ptr<PieceTools>>& tools)
        : ring_(ring), tools_(tools)
    {
        const size_t wanted = static_cast<size_t>(count) + 1;
        while (tools_.size() < wanted)
            tools_.push_back(std::make_unique<PieceTools>());
        threads_.reserve(static_cast<size_t>(count)); // nothing may throw once a thread runs
        try {
            for (int i = 0; i < count; ++i)
                threads_.emplace_back([this, i] { run(*tools_[static_cast<size_t>(i) + 1]); });
        } catch (const std::system_error&) {
            // Fewer workers then; with none, the calling thread deflates in wait().
        }
    }
    ~Workers()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        work_.notify_all();
        for (auto& t : threads_)
            t.join();
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    void queue(size_t slot)
    {
        {
            std::lock_guard lock(mutex_);
            ring_[slot].state = Piece::Queued;
            todo_.push_back(slot);
        }
        work_.notify_one();
    }
    // The slot's state once it is no longer queued, or Queued after ms.
    Piece::State wait(size_t slot, qint64 ms)
    {
        std::unique_lock lock(mutex_);
        if (threads_.empty() && ring_[slot].state == Piece::Queued) {
            todo_.pop_front();
            lock.unlock();
            const bool ok = deflatePiece(ring_[slot], *tools_[0]);
            lock.lock();
            ring_[slot].state = ok ? Piece::Done : Piece::Failed;
        }
        done_.wait_for(lock, std::chrono::milliseconds(ms),
                       [&] { return ring_[slot].state != Piece::Queued; });
        return ring_[slot].state;
    }
    void release(size_t slot)
    {
        std::lock_guard lock(mutex_);
        ring_[slot].state = Piece::Free;
    }

private:
    void run(PieceTools& tools)
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            work_.wait(lock, [this] { return stop_ || !todo_.empty(); });
            if (stop_)
                return;
            const size_t slot = todo_.front();
            todo_.pop_front();
            lock.unlock();
            const bool ok = deflatePiece(ring_[slot], tools);
            lock.lock();
            ring_[slot].state = ok ? Piece::Done : Piece::Failed;
            done_.notify_all();
        }
    }

    std::vector<Piece>& ring_;
    std::vector<std::unique_ptr<PieceTools>>& tools_; // the calling thread's first
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<size_t> todo_;
    std::atomic_bool stop_ = false;
    std::vector<std::thread> threads_;
};

// Fills buf with up to len bytes; fewer only at the end of the file.
qint64 readFully(int fd, char* buf, qint64 len)
{
    qint64 got = 0;
    while (got < len) {
        const qint64 n = FileIO::read(fd, buf + got, len - got);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

} // namespace

DeflateResult DeflateFileTuned(const DeflateTuning& tuning, int fd, qint64 expected, const DeflateSink& sink,
                               const std::function<bool()>& idle)
{
    DeflateResult r;
    if (expected < 0) {
        r.failure = DeflateResult::Changed;
        return r;
    }
    const qint64 pieceSize = std::max<qint64>(tuning.piece, 1);
    const qint64 pieces = std::max<qint64>(1, (expected + pieceSize - 1) / pieceSize);
    const int cores =
        tuning.threads != 0 ? std::max(tuning.threads, 0) : std::clamp(QThread::idealThreadCount(), 1, 4);
    // One piece is deflated here: a few ms at any level, cheaper than a thread.
    const int count = pieces == 1 ? 0 : static_cast<int>(std::min<qint64>(cores, pieces));
    // Each worker has one piece waiting behind the one it is on, and one more is
    // read while the oldest goes to the sink.
    // The buffers and compressors stay for the calling thread's next file: made
    // anew for each, their page faults and clearing cost a tenth of the work.
    struct Kept
    {
        std::vector<Piece> ring;
        std::vector<std::unique_ptr<PieceTools>> tools;
    };
    static thread_local Kept kept;
    struct Keep
    {
        Kept taken;
        ~Keep() { kept = std::move(taken); }
    } keep{std::move(kept)};
    std::vector<Piece>& ring = keep.taken.ring;
    ring.resize(static_cast<size_t>(count) * 2 + 1);
    for (Piece& p : ring)
        p.state = Piece::Free;
    const auto slotOf = [&](qint64 seq) {
        return static_cast<size_t>(seq % static_cast<qint64>(ring.size()));
    };
    Workers workers(count, ring, keep.taken.tools);

    QElapsedTimer clock;
    clock.start();
    const auto fail = [&](DeflateResult::Failure why) {
        r.failure = why;
        return r;
    };
    const auto stillWanted = [&] {
        if (clock.elapsed() < kWaitTickMs)
            return true;
        clock.restart();
        return idle();
    };
    qint64 readSeq = 0;
    for (qint64 sendSeq = 0; sendSeq < pieces;) {
        while (readSeq < pieces && readSeq - sendSeq < static_cast<qint64>(ring.size())) {
            Piece& p = ring[slotOf(readSeq)];
            p.len = std::min(pieceSize, expected - readSeq * pieceSize);
            p.last = readSeq == pieces - 1;
            p.in.resize(static_cast<size_t>(p.len));
            const qint64 got = readFully(fd, p.in.data(), p.len);
            if (got < 0)
                return fail(DeflateResult::ReadFailed);
            r.inSize += got;
            if (got < p.len)
                return fail(DeflateResult::Changed);
            if (p.last) {
                char probe;
                const qint64 more = readFully(fd, &probe, 1);
                if (more < 0)
                    return fail(DeflateResult::ReadFailed);
                r.inSize += more;
                if (more > 0)
                    return fail(DeflateResult::Changed);
            }
            workers.queue(slotOf(readSeq++));
            if (!stillWanted())
                return fail(DeflateResult::Abandoned);
        }
        const size_t slot = slotOf(sendSeq);
        const Piece::State state = workers.wait(slot, std::max<qint64>(1, kWaitTickMs - clock.elapsed()));
        if (state == Piece::Failed)
            return fail(DeflateResult::ReadFailed);
        if (state == Piece::Done) {
            const Piece& p = ring[slot];
            r.crc = static_cast<quint32>(crc32_combine(r.crc, p.crc, static_cast<z_off_t>(p.len)));
            r.outCrc =
                static_cast<quint32>(crc32_combine(r.outCrc, p.outCrc, static_cast<z_off_t>(p.outLen)));
            r.outSize += p.outLen;
            if (!sink(QByteArrayView(p.out.data(), p.outLen), QByteArrayView(p.in.data(), p.len)))
                return fail(DeflateResult::Abandoned);
            workers.release(slot);
            ++sendSeq;
        }
        if (!stillWanted())
            return fail(DeflateResult::Abandoned);
    }
    return r;
}

DeflateResult DeflateFile(int fd, qint64 expected, const DeflateSink& sink, const std::function<bool()>& idle)
{
    return DeflateFileTuned(DeflateTuning{}, fd, expected, sink, idle);
}
