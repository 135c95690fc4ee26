#include "platform/ParallelDeflate_p.h"

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

// The file is cut into pieces that worker threads deflate at once, each primed
// with the 32 KiB before it and closed with a sync flush (the last one
// finishes), so the pieces joined are one ordinary deflate stream whose matches
// still reach back across the cuts. The calling thread reads, hands pieces out
// and passes the output on strictly in order, keeping only a few pieces in
// flight.

namespace {

constexpr qsizetype kDict = 32 * 1024;  // deflate's window: all a piece can refer back to
constexpr qsizetype kSlice = 64 * 1024; // input per deflate() call; a stop is seen between calls
constexpr qint64 kIdleMs = 10;          // half the 20 ms promised: a busy machine wakes us late

struct Piece
{
    enum State
    {
        Free,
        Queued,
        Done,
        Failed
    };
    std::vector<char> in; // kDict bytes of room for the dictionary, then the piece itself
    qsizetype dict = 0;   // how much of that room is in use
    qsizetype len = 0;
    bool last = false;
    std::vector<char> out;
    qsizetype outLen = 0;
    quint32 crc = 0;
    State state = Free;
};

// A deflate stream kept for piece after piece, giving each the bytes a new
// stream would. A reset stream keeps the previous piece's bytes past the end
// of its data, where a new one has zeros, and those could sway the choice of a
// match near the end, which would make the output depend on which worker did
// what before; zeroing all it allocated besides its state puts that right.
// Setting one up afresh costs allocations, page faults and clearing: about
// a fifteenth of the work on a 1 MiB piece.
class PieceStream
{
public:
    PieceStream() = default;
    ~PieceStream() { end(); }
    PieceStream(const PieceStream&) = delete;
    PieceStream& operator=(const PieceStream&) = delete;

    // fresh: a new stream all the same, as the reference the reused ones must equal.
    z_stream* begin(int level, bool fresh)
    {
        if (open_ && !fresh && level == level_ && deflateReset(&zs_) == Z_OK) {
            for (const Block& b : blocks_)
                if (b.at != static_cast<void*>(zs_.state))
                    std::memset(b.at, 0, b.size);
            return &zs_;
        }
        end();
        zs_ = z_stream{};
        zs_.zalloc = &PieceStream::alloc;
        zs_.zfree = &PieceStream::release;
        zs_.opaque = this;
        // The largest hash table: on big text it wins back more than the cuts cost.
        open_ = deflateInit2(&zs_, level, Z_DEFLATED, -MAX_WBITS, MAX_MEM_LEVEL, Z_DEFAULT_STRATEGY) == Z_OK;
        level_ = level;
        return open_ ? &zs_ : nullptr;
    }

private:
    struct Block
    {
        void* at;
        size_t size;
    };
    z_stream zs_{};
    bool open_ = false;
    int level_ = 0;
    std::vector<Block> blocks_;

    void end()
    {
        if (open_)
            deflateEnd(&zs_);
        open_ = false;
    }
    static voidpf alloc(voidpf self, uInt items, uInt size)
    {
        auto* s = static_cast<PieceStream*>(self);
        const size_t bytes = size_t(items) * size;
        void* at = std::malloc(bytes);
        if (at == nullptr)
            return Z_NULL;
        try {
            s->blocks_.push_back({at, bytes});
        } catch (const std::bad_alloc&) {
            std::free(at);
            return Z_NULL;
        }
        return at;
    }
    static void release(voidpf self, voidpf at)
    {
        auto& blocks = static_cast<PieceStream*>(self)->blocks_;
        blocks.erase(std::find_if(blocks.begin(), blocks.end(), [&](const Block& b) { return b.at == at; }));
        std::free(at);
    }
};

// Each piece is deflated with the same sequence of zlib calls on a stream
// that is as good as new, whatever the thread.
bool deflatePiece(Piece& p, PieceStream& stream, int level, bool fresh, const std::atomic_bool& stop)
{
    z_stream* s = stream.begin(level, fresh);
    if (s == nullptr)
        return false;
    z_stream& zs = *s;
    auto* in = reinterpret_cast<Bytef*>(p.in.data()) + kDict;
    bool ok = p.dict == 0 || deflateSetDictionary(&zs, in - p.dict, static_cast<uInt>(p.dict)) == Z_OK;
    qsizetype cap = static_cast<qsizetype>(deflateBound(&zs, static_cast<uLong>(p.len))) + 64;
    p.outLen = 0;
    const auto run = [&](int flush) {
        do {
            if (p.outLen == cap)
                cap *= 2;
            if (static_cast<qsizetype>(p.out.size()) < cap)
                p.out.resize(static_cast<size_t>(cap));
            zs.next_out = reinterpret_cast<Bytef*>(p.out.data()) + p.outLen;
            zs.avail_out = static_cast<uInt>(cap - p.outLen);
            ok = deflate(&zs, flush) != Z_STREAM_ERROR;
            p.outLen = cap - zs.avail_out;
        } while (ok && zs.avail_out == 0);
    };
    for (qsizetype at = 0; ok;) {
        const qsizetype take = std::min(kSlice, p.len - at);
        zs.next_in = in + at;
        zs.avail_in = static_cast<uInt>(take);
        at += take;
        run(at < p.len ? Z_NO_FLUSH : p.last ? Z_FINISH : Z_BLOCK);
        if (at == p.len || stop.load(std::memory_order_relaxed))
            break;
    }
    // A piece that is not the last ends on a byte boundary, so the next one's
    // bytes can follow. As pigz does: empty fixed blocks (10 bits each) get
    // there from an even bit count in a byte or so; a sync flush's empty
    // stored block costs four or five.
    int bits = 0;
    if (ok && !p.last)
        ok = deflatePending(&zs, nullptr, &bits) == Z_OK;
    if (ok && (bits & 7) != 0) {
        if (bits & 1) {
            run(Z_SYNC_FLUSH);
        } else {
            while (ok && (bits & 7) != 0)
                ok = deflatePrime(&zs, 10, 2) == Z_OK && deflatePending(&zs, nullptr, &bits) == Z_OK;
            if (ok)
                run(Z_BLOCK);
        }
    }
    p.crc = static_cast<quint32>(crc32_z(0, in, static_cast<z_size_t>(p.len)));
    return ok;
}

// The workers and the queue of pieces waiting for one. Destroying it stops
// the workers within a slice and joins them, whatever the caller returns for.
class Workers
{
public:
    // streams holds those of earlier files: each thread takes one, and they are back when it ends.
    Workers(int count, int level, std::vector<Piece>& ring,
            std::vector<std::unique_ptr<PieceStream>>& streams, bool fresh)
        : level_(level), fresh_(fresh), ring_(ring), streams_(streams)
    {
        const size_t wanted = static_cast<size_t>(count) + 1;
        while (streams_.size() < wanted)
            streams_.push_back(std::make_unique<PieceStream>());
        threads_.reserve(static_cast<size_t>(count)); // nothing may throw once a thread runs
        try {
            for (int i = 0; i < count; ++i)
                threads_.emplace_back([this, i] { run(*streams_[static_cast<size_t>(i) + 1]); });
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
            const bool ok = deflatePiece(ring_[slot], *streams_[0], level_, fresh_, stop_);
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
    void run(PieceStream& stream)
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            work_.wait(lock, [this] { return stop_ || !todo_.empty(); });
            if (stop_)
                return;
            const size_t slot = todo_.front();
            todo_.pop_front();
            lock.unlock();
            const bool ok = deflatePiece(ring_[slot], stream, level_, fresh_, stop_);
            lock.lock();
            ring_[slot].state = ok ? Piece::Done : Piece::Failed;
            done_.notify_all();
        }
    }

    const int level_;
    const bool fresh_;
    std::vector<Piece>& ring_;
    std::vector<std::unique_ptr<PieceStream>>& streams_; // the calling thread's first
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
        const ssize_t n = ::read(fd, buf + got, static_cast<size_t>(len - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

} // namespace

DeflateResult DeflateFileTuned(const DeflateTuning& tuning, int fd, qint64 expected, int level,
                               const DeflateSink& sink, const std::function<bool()>& idle)
{
    DeflateResult r;
    if (expected < 0) {
        r.failure = DeflateResult::Changed;
        return r;
    }
    // A piece shorter than the window could not hold the next one's dictionary.
    const qint64 pieceSize = std::max<qint64>(tuning.piece, kDict);
    const qint64 pieces = std::max<qint64>(1, (expected + pieceSize - 1) / pieceSize);
    const int cores = tuning.threads > 0 ? tuning.threads : std::clamp(QThread::idealThreadCount(), 1, 4);
    // One piece is deflated here: a few ms at any level, cheaper than a thread.
    const int count = pieces == 1 ? 0 : static_cast<int>(std::min<qint64>(cores, pieces));
    // Each worker has one piece waiting behind the one it is on, and one more is
    // read while the oldest goes to the sink.
    // The buffers and streams stay for the calling thread's next file: made
    // anew for each, their page faults and clearing cost a tenth of the work.
    struct Kept
    {
        std::vector<Piece> ring;
        std::vector<std::unique_ptr<PieceStream>> streams;
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
    Workers workers(count, level, ring, keep.taken.streams, tuning.freshStreams);

    QElapsedTimer clock;
    clock.start();
    const auto fail = [&](DeflateResult::Failure why) {
        r.failure = why;
        return r;
    };
    const auto stillWanted = [&] {
        if (clock.elapsed() < kIdleMs)
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
            p.in.resize(static_cast<size_t>(kDict + p.len));
            p.dict = 0;
            if (readSeq > 0) {
                // The previous piece is still intact: its slot comes round again only later.
                const Piece& prev = ring[slotOf(readSeq - 1)];
                p.dict = std::min(kDict, prev.len);
                std::memcpy(p.in.data() + kDict - p.dict, prev.in.data() + kDict + prev.len - p.dict,
                            static_cast<size_t>(p.dict));
            }
            const qint64 got = readFully(fd, p.in.data() + kDict, p.len);
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
        const Piece::State state = workers.wait(slot, std::max<qint64>(1, kIdleMs - clock.elapsed()));
        if (state == Piece::Failed)
            return fail(DeflateResult::ReadFailed);
        if (state == Piece::Done) {
            const Piece& p = ring[slot];
            r.crc = static_cast<quint32>(crc32_combine(r.crc, p.crc, static_cast<z_off_t>(p.len)));
            r.outSize += p.outLen;
            if (!sink(QByteArrayView(p.out.data(), p.outLen), QByteArrayView(p.in.data() + kDict, p.len)))
                return fail(DeflateResult::Abandoned);
            workers.release(slot);
            ++sendSeq;
        }
        if (!stillWanted())
            return fail(DeflateResult::Abandoned);
    }
    return r;
}

DeflateResult DeflateFile(int fd, qint64 expected, int level, const DeflateSink& sink,
                          const std::function<bool()>& idle)
{
    return DeflateFileTuned(DeflateTuning{}, fd, expected, level, sink, idle);
}
