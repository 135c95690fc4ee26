#pragma once

#include "zip/Deflater.h"
#include "zip/EntryPreparer.h"
#include "zip/RunLimits.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Two long-lived workers that read and deflate files in submission order.
// Each keeps its deflate state and input buffer, and output buffers come back
// for reuse once written: allocating them afresh per file costs more than deflate.
//
// Jobs and results pass through a ring of slots, one per file in flight. A
// worker claims the next job with one atomic step and marks its slot ready;
// nobody sleeps or is woken while there is work on both sides. Every futex
// costs microseconds here, more than a small file's read, so the writer
// sleeps only when its next entry is not ready and then waits for a batch,
// and a worker wakes someone only when someone sleeps.
class Packer final : public PrepareHost
{
public:
    // workers: fewer than the cores leaves one to a caller still busy with other work.
    explicit Packer(size_t capacity = kPrepackAheadFiles, unsigned workers = kWorkers)
        : m_slotCount(capacity), m_chunks((capacity + kChunk - 1) / kChunk), m_maxWorkers(workers)
    {
    }
    // Up to this many workers in all.
    void addWorkers(unsigned workers)
    {
        m_maxWorkers = std::max(m_maxWorkers, size_t(workers));
        startWorkers();
    }
    static inline const unsigned kWorkers = qBound(1u, std::thread::hardware_concurrency(), 2u);
    ~Packer()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_workWake.notify_all();
        m_budgetFreed.notify_all();
        m_writerWake.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }
    Packer(const Packer&) = delete;
    Packer& operator=(const Packer&) = delete;

    // The writer's side; one thread only.
    size_t capacity() const { return m_slotCount; }
    size_t inFlight() const { return size_t(m_submitted - m_taken.load(std::memory_order_relaxed)); }
    quint64 submitted() const { return m_submitted; }
    quint64 taken() const { return m_taken.load(std::memory_order_relaxed); }
    // Whether the oldest entry in flight is ready, without waiting.
    bool readyNow() { return oldestReady(); }
    bool hasRoom() const { return inFlight() < m_slotCount; }
    // Queued, for the workers to see at the next publish().
    void submit(EntryJob&& entry, qint32 origin = 0)
    {
        // A slot's chunk is made the first time the ring reaches it: a build
        // of a few files never pays for the thousands of slots a large one
        // needs. The workers see the chunk through the publish that hands
        // them the job, and it stays until the packer goes.
        std::unique_ptr<Slot[]>& chunk = m_chunks[size_t(m_submitted % m_slotCount) / kChunk];
        if (!chunk)
            chunk = std::make_unique<Slot[]>(kChunk);
        Slot& s = slot(m_submitted);
        s.entry = std::move(entry);
        s.entry.seq = m_submitted;
        s.origin = origin;
        ++m_submitted;
    }
    void submit(const QString& path, qint64 expectedSize)
    {
        EntryJob job;
        job.path = path;
        job.expected = expectedSize;
        submit(std::move(job));
    }
    void publish()
    {
        if (m_published.load(std::memory_order_relaxed) == m_submitted)
            return;
        m_published.store(m_submitted);
        startWorkers();
        if (m_idleWorkers.load() > 0) {
            syncWithSleepers();
            m_workWake.notify_all();
        }
    }
    // Whether the oldest entry in flight is ready, waiting at most timeout for it.
    bool awaitOldest(std::chrono::milliseconds timeout)
    {
        if (oldestReady())
            return true;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_writerWaits.store(true);
        m_writerWake.wait_for(lock, timeout, [this] { return m_stop || writerMayGo(); });
        m_writerWaits.store(false);
        return oldestReady();
    }
    // The origin takeOldest gives for the job with this sequence number.
    void setOrigin(quint64 seq, qint32 origin) { slot(seq).origin = origin; }
    // The jobs from seq on, all submitted so far, are not wanted after all:
    // the workers skip those not begun, and each comes back with origin -1.
    void abandonFrom(quint64 seq)
    {
        for (quint64 i = seq; i < m_submitted; ++i)
            slot(i).origin = -1;
        m_abandonTo.store(m_submitted);
        m_abandonFrom.store(seq);
    }
    // The oldest entry, once awaitOldest said it is ready.
    Packed takeOldest(qint32* origin = nullptr)
    {
        const quint64 seq = m_taken.load(std::memory_order_relaxed);
        Slot& s = slot(seq);
        Packed p = std::move(s.packed);
        if (origin != nullptr)
            *origin = s.origin;
        s.packed = Packed();
        s.entry = EntryJob();
        s.ready.store(false, std::memory_order_relaxed);
        m_taken.store(seq + 1);
        if (m_budgetWaiters.load() > 0) {
            syncWithSleepers();
            m_budgetFreed.notify_all();
        }
        return p;
    }
    void recycle(QByteArray&& buffer)
    {
        const std::lock_guard<std::mutex> lock(m_spareMutex);
        if (m_spare.size() < 8)
            m_spare.push_back(std::move(buffer));
    }
    void release(qint64 bytes)
    {
        if (bytes == 0)
            return;
        m_heldBytes.fetch_sub(bytes);
        if (m_budgetWaiters.load() > 0) {
            syncWithSleepers();
            m_budgetFreed.notify_all();
        }
    }

private:
    // Asleep until this many entries in a row are ready, unless the workers
    // can do no more meanwhile.
    static constexpr quint64 kWakeBatch = 16;

    struct Slot
    {
        EntryJob entry;
        Packed packed;
        qint32 origin = 0;               // the writer's mark: the spec or planned file of the job
        std::atomic<bool> ready = false; // packed is done; the worker no longer touches the slot
    };
    static constexpr size_t kChunk = 32;
    const size_t m_slotCount;
    std::vector<std::unique_ptr<Slot[]>> m_chunks; // never resized: workers read it unlocked
    quint64 m_submitted = 0;                       // the writer's own
    std::atomic<quint64> m_published = 0;          // jobs the workers may claim: [m_claimed, m_published)
    std::atomic<quint64> m_claimed = 0;
    std::atomic<quint64> m_taken = 0; // the oldest in flight
    std::atomic<qint64> m_heldBytes = 0;
    std::atomic<quint64> m_abandonFrom = ~quint64(0); // [from, to): skipped
    std::atomic<quint64> m_abandonTo = 0;
    std::atomic<int> m_idleWorkers = 0;   // asleep for want of jobs
    std::atomic<int> m_budgetWaiters = 0; // asleep for want of read-ahead bytes
    std::atomic<bool> m_writerWaits = false;
    std::mutex m_mutex; // for the sleeps and wake-ups only
    std::condition_variable m_workWake;
    std::condition_variable m_budgetFreed;
    std::condition_variable m_writerWake;
    std::mutex m_spareMutex;
    std::vector<QByteArray> m_spare;
    std::vector<std::thread> m_threads; // the writer's own
    size_t m_maxWorkers;
    std::atomic<bool> m_stop = false; // set under m_mutex, so a sleeper's test cannot miss it

    // A worker is started only once there is a job for it: a run of one
    // file costs one thread, and a packer never given a job none.
    void startWorkers()
    {
        while (m_threads.size() < m_maxWorkers && m_threads.size() < inFlight())
            m_threads.emplace_back([this] { work(); });
    }

    Slot& slot(quint64 seq)
    {
        const size_t i = size_t(seq % m_slotCount);
        return m_chunks[i / kChunk][i % kChunk];
    }

    bool abandoned(quint64 seq) const { return seq >= m_abandonFrom.load() && seq < m_abandonTo.load(); }

    bool oldestReady()
    {
        const quint64 head = m_taken.load();
        return head < m_published.load() && slot(head).ready.load();
    }

    bool writerMayGo()
    {
        if (!oldestReady())
            return false;
        if (m_idleWorkers.load() > 0 || m_budgetWaiters.load() > 0)
            return true;
        const quint64 head = m_taken.load();
        const quint64 end = std::min(m_published.load(), head + kWakeBatch);
        for (quint64 seq = head + 1; seq < end; ++seq)
            if (!slot(seq).ready.load())
                return false;
        return true;
    }

    // Called by a worker after anything that may let the writer go on.
    void wakeWriter(bool locked)
    {
        if (!m_writerWaits.load() || !writerMayGo())
            return;
        if (locked) {
            m_writerWake.notify_one();
            return;
        }
        syncWithSleepers();
        m_writerWake.notify_one();
    }

    // A sleeper tests its condition and goes to sleep under the mutex: once
    // this returns, it either saw the change or is asleep and will hear the
    // notify. Notifying after the unlock spares the woken thread a wait on
    // the mutex, and both of us a futex call.
    void syncWithSleepers() { const std::lock_guard<std::mutex> lock(m_mutex); }

    bool claim(quint64& seq)
    {
        quint64 next = m_claimed.load();
        while (next < m_published.load()) {
            if (m_claimed.compare_exchange_weak(next, next + 1)) {
                seq = next;
                return true;
            }
        }
        return false;
    }

    QByteArray takeBuffer() override
    {
        const std::lock_guard<std::mutex> lock(m_spareMutex);
        if (m_spare.empty())
            return QByteArray();
        QByteArray b = std::move(m_spare.back());
        m_spare.pop_back();
        return b;
    }

    // Holds back reading while the entries read ahead hold too many bytes;
    // the one the writer waits for always goes, so nothing waits on itself.
    void acquire(quint64 seq, qint64 bytes) override
    {
        auto mayRead = [&] {
            const qint64 held = m_heldBytes.load();
            return held == 0 || held + bytes <= kPrepackAheadBytes || seq <= m_taken.load();
        };
        if (!mayRead()) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_budgetWaiters.fetch_add(1);
            wakeWriter(true);
            m_budgetFreed.wait(lock, [&] { return m_stop || mayRead(); });
            m_budgetWaiters.fetch_sub(1);
        }
        m_heldBytes.fetch_add(bytes);
    }

    void work()
    {
        Deflater zs;
        QByteArray in;
        for (;;) {
            quint64 seq = 0;
            if (m_stop.load())
                break; // jobs not begun are not wanted any more
            if (!claim(seq)) {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_idleWorkers.fetch_add(1);
                wakeWriter(true);
                m_workWake.wait(lock, [this] { return m_stop || m_claimed.load() < m_published.load(); });
                m_idleWorkers.fetch_sub(1);
                if (m_stop)
                    break;
                continue;
            }
            Slot& job = slot(seq);
            Packed p;
            try {
                if (abandoned(seq))
                    p.kind = Packed::Skip;
                else if (job.entry.ctx != nullptr)
                    PrepareEntry(job.entry, *this, zs, in, p);
                else
                    PackFile(job.entry.path, job.entry.expected, *this, zs, in, p);
            } catch (...) {
                p.ok = false;
                p.fail(ZipFailure::at(ZipFailure::OutOfMemory, QString()));
            }
            job.packed = std::move(p);
            job.ready.store(true);
            wakeWriter(false);
        }
    }
};
