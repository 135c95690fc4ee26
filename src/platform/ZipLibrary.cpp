#include "platform/ZipLibrary.h"

#include "platform/Deflater.h"
#include "platform/ParallelDeflate.h"
#include "platform/StatCache.h"
#include "platform/StoredData.h"
#include "platform/ZipNames.h"
#include "platform/ZipWriter.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QString>
#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <future>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace {

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

constexpr int kDeflateLevel = 6; // zip's own default, so archives compare fairly with it
// How often a wait for the workers hands the caller its idle call. The caller
// gives its window a turn every 15 ms or so and a repaint lands a turn later:
// a coarser tick here would stretch those turns whenever the workers stall on
// a cold disk, past the 50 ms a person notices. A call with nothing to do is cheap.
constexpr qint64 kIdleIntervalMs = 5;
// Files up to this size are read and deflated on worker threads, a few ahead
// of the entry being written, and handed to the writer already compressed;
// larger ones are deflated a piece at a time (DeflateFile) as they are
// written, so memory stays bounded.
constexpr qint64 kPrepackLimit = 4 * 1024 * 1024;
// How far the workers may run ahead of the writing: small files need many
// in flight to keep both cores busy, while the bytes held stay bounded.
constexpr size_t kPrepackAheadFiles = 64;
constexpr qint64 kPrepackAheadBytes = 16 * 1024 * 1024;
// Free slots the writer gathers before it hands the workers more jobs.
constexpr size_t kRefillBatch = 16;
// The most an unchanged entries' copy goes on without giving the window a
// turn: a few milliseconds of the kernel's copying.
constexpr qint64 kCopySlice = 4 * 1024 * 1024;
// An old archive this small has its directory read on the caller's thread.
constexpr qint64 kReuseReadHere = 256 * 1024;

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

// An earlier archive whose stored data may be copied. Read once for all the
// runs of a build, and again only when the file changes.
struct ReuseSource
{
    QByteArray path;
    struct stat st = {};
    int fd = -1;
    ZipDirectory dir;
    // Per record of dir: whether its local header is known to be the one
    // this writer writes (see IsWrittenLocalHeader).
    std::unique_ptr<std::atomic<quint8>[]> checked;
    QByteArray comment;
    std::unique_ptr<StatCache> cache; // of the build that wrote it, when it is still the file that build left
    // Per record of dir: whether its stored bytes have the CRC the cache
    // gives (see StoredBytesHaveCrc).
    std::unique_ptr<std::atomic<quint8>[]> bytesChecked;
    ReuseSource() = default;
    ReuseSource(const ReuseSource&) = delete;
    ReuseSource& operator=(const ReuseSource&) = delete;
    ~ReuseSource()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

struct Prefetch;

struct Library
{
    ~Library();
    std::unique_ptr<HeldArchive> held;
    std::shared_ptr<ReuseSource> reuseSource;
    std::unique_ptr<Prefetch> prefetch;
    ZpCallbacks callbacks;
    ZpOptions options;
    // The texts of the option record, copied: the caller's pointers need not outlive ZpSetOptions.
    QByteArray rootDir;
    QByteArray reuse;
    QByteArray replace;
    QString savedCache; // the stat cache the last finished archive left
    bool running = false;
    // Since the last idle callback of any run: a caller making run after run
    // gets its first turn of a run as soon as it is due, not 20 ms into it.
    QElapsedTimer idleClock;
};

Library& library()
{
    static Library lib;
    return lib;
}

// CRC-32 as zip stores it, to tell an unchanged file from one rewritten
// within the two seconds a zip time can resolve.
quint32 crc32Update(quint32 crc, const char* data, qint64 size)
{
    return Crc32(crc, data, size);
}

// The time as a zip entry holds it (local time, two-second steps); equal
// values mean "same time" for the purpose of keeping an entry.
bool isUnder(const QString& path, const QString& root)
{
    return ZipNames::IsUnder(path, root, kPathCase);
}

QString relativeTo(const QString& root, const QString& path)
{
    return ZipNames::RelativeTo(root, path, kPathCase);
}

bool wildMatch(QStringView pattern, QStringView name)
{
    return ZipNames::WildMatch(pattern, name, kPathCase);
}

// The folder relative specs and entry names start from.
QString basePath(const QByteArray& rootDir, bool literal)
{
    QString root = QString::fromUtf8(rootDir).trimmed();
    if (!literal)
        root.replace(u'\\', u'/');
    return QDir::cleanPath(root.isEmpty() ? QDir::currentPath() : QDir::current().absoluteFilePath(root));
}

// An open file descriptor, closed when dropped.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& o) noexcept : m_fd(std::exchange(o.m_fd, -1)) {}
    Fd& operator=(Fd&& o) noexcept
    {
        if (this != &o) {
            reset();
            m_fd = std::exchange(o.m_fd, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

// A file's size and its modification and change times, to the nanosecond:
// a file written to while it is read shows a new time even at the same
// size, and what was read of it may be half old, half new.
struct Stamp
{
    qint64 size = -1;
    timespec mtime = {};
    timespec ctime = {};
    static Stamp of(const struct stat& st) { return {qint64(st.st_size), st.st_mtim, st.st_ctim}; }
    // The open file's stamp now; one that cannot be taken never matches.
    static Stamp now(int fd)
    {
        struct stat st = {};
        return ::fstat(fd, &st) == 0 ? of(st) : Stamp();
    }
    bool operator==(const Stamp& o) const
    {
        return size == o.size && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
               ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

qint64 Nanoseconds(const timespec& t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

timespec FromNanoseconds(qint64 ns)
{
    return {time_t(ns / 1000000000), long(ns % 1000000000)};
}

StatCache::Entry EntryOf(const Stamp& s, dev_t dev, ino_t ino, quint32 dataCrc = 0)
{
    StatCache::Entry e;
    e.mtimeNs = Nanoseconds(s.mtime);
    e.ctimeNs = Nanoseconds(s.ctime);
    e.ino = quint64(ino);
    e.dev = StatCache::Entry::foldDevice(quint64(dev));
    e.dataCrc = dataCrc;
    return e;
}

std::atomic<quint64> g_filesRead{0};
std::atomic<qint64> g_settleClockAhead{0};

// The clock the kernel stamps files with, read before a file is: it ticks
// every few milliseconds, and a file system may keep whole seconds or two.
qint64 FileClockNow()
{
    timespec t = {};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &t);
    return t.tv_sec + g_settleClockAhead.load(std::memory_order_relaxed);
}

// Whether a file last changed well before it was read (at readAt, by
// FileClockNow): one changed within the clock's granularity of its read
// could change again and keep the same stat, so a later build must read it.
// Three seconds cover the coarsest stamps (two seconds) and a part second.
bool Settled(const Stamp& s, qint64 readAt)
{
    constexpr qint64 kMargin = 3;
    return s.mtime.tv_sec + kMargin < readAt && s.ctime.tv_sec + kMargin < readAt;
}

// What the workers need to turn a path into an entry; lives as long as the run.
struct EntryContext
{
    QString base;
    QByteArray baseBytes; // base in the file system's encoding
    bool junk = false;
    bool storeDirs = false;
    dev_t archiveDev = 0;
    ino_t archiveIno = 0;
    dev_t replacedDev = 0; // the archive the one written will replace, if any
    ino_t replacedIno = 0;
    const ReuseSource* reuse = nullptr; // null: nothing to copy from
};

// Who the archive to be replaced is on the disk: the file, not the name.
void NoteReplaced(EntryContext& ctx, const QByteArray& path)
{
    struct stat st = {};
    if (!path.isEmpty() && ::stat(path.constData(), &st) == 0) {
        ctx.replacedDev = st.st_dev;
        ctx.replacedIno = st.st_ino;
    }
}

// One file read and deflated (raw deflate, as a zip entry holds it) off the main thread.
struct Packed
{
    QByteArray data;
    quint32 crc = 0;
    qint64 size = 0;
    bool ok = false;
    bool stored = false; // data holds the file's own bytes: deflate did not make them smaller
    bool readable = false;
    bool changed = false; // the file's size differs from the one it was listed with
    // For the archive writer: what the entry is, or why there is none.
    enum Kind
    {
        Failed,
        Small, // data holds the stored bytes
        Large, // fd is open at the start, for the writer to deflate
        Copy,  // unchanged since the reuse archive's entry: copied from there
        Dir,
        Skip, // nothing to store (the archive itself, a folder without entry)
    };
    Kind kind = Failed;
    qint32 code = ZpOk;
    QString error;
    QString note; // a warning for the log that does not stop the run
    QString path;
    QByteArray name; // UTF-8
    quint32 dosTime = 0;
    Fd fd;
    qint64 budget = 0; // bytes counted against the read-ahead limit
    Stamp stamp;       // as read; a large file's when opened, which the writer checks after reading
    dev_t dev = 0;     // the file read, to tell it from an archive made after it was read
    ino_t ino = 0;
    bool settled = false; // its stamp may vouch for its bytes to the next build (see Settled)
    quint32 dataCrc = 0;  // of the stored bytes; a large file's is taken as the writer writes them
    // For a Copy: its entry in the run's reuse archive.
    const ZipDirectory::Record* reuse = nullptr;
};

// One entry to prepare: a literal spec (the worker finds its kind and name),
// or a path the run planned with its name.
struct EntryJob
{
    const EntryContext* ctx = nullptr;
    const char* spec = nullptr;
    QString path;
    QString name;
    bool isDir = false;
    qint64 expected = -1; // listed size; -1: the size the open file has
    time_t mtime = 0;
    quint64 seq = 0;
};

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
class Packer
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
    void submit(EntryJob&& entry, qint32 tag = 0)
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
        s.tag = tag;
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
    // The tag takeOldest gives for the job with this sequence number.
    void setTag(quint64 seq, qint32 tag) { slot(seq).tag = tag; }
    // The jobs from seq on, all submitted so far, are not wanted after all:
    // the workers skip those not begun, and each comes back with tag -1.
    void abandonFrom(quint64 seq)
    {
        for (quint64 i = seq; i < m_submitted; ++i)
            slot(i).tag = -1;
        m_abandonTo.store(m_submitted);
        m_abandonFrom.store(seq);
    }
    // The oldest entry, once awaitOldest said it is ready.
    Packed takeOldest(qint32* tag = nullptr)
    {
        const quint64 seq = m_taken.load(std::memory_order_relaxed);
        Slot& s = slot(seq);
        Packed p = std::move(s.packed);
        if (tag != nullptr)
            *tag = s.tag;
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
        qint32 tag = 0;                  // the writer's own
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

    QByteArray takeBuffer()
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
    void acquire(quint64 seq, qint64 bytes)
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
                    prepare(job.entry, zs, in, p);
                else
                    pack(job.entry.path, job.entry.expected, zs, in, p);
            } catch (...) {
                p.ok = false;
                p.kind = Packed::Failed;
                p.code = ZpErrMemory;
                p.error = QStringLiteral("zip error: Out of memory");
            }
            job.packed = std::move(p);
            job.ready.store(true);
            wakeWriter(false);
        }
    }

    // Reads fd to its end into in; false on a read error. One byte more than
    // expected is asked for, so a file that grew since it was listed shows.
    static bool readAll(int fd, qint64 expected, QByteArray& in, qint64& got, int* calls = nullptr)
    {
        in.resize(static_cast<qsizetype>(expected + 1));
        got = 0;
        for (;;) {
            if (got == in.size())
                in.resize(in.size() * 2);
            if (calls != nullptr)
                ++*calls;
            const ssize_t n = ::read(fd, in.data() + got, size_t(in.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                return true;
            got += n;
            // A regular file that gives fewer bytes than asked is at its end:
            // the read that would return 0 costs a system call per file.
            if (got == expected)
                return true;
        }
    }

    bool deflateInto(Deflater& deflater, const QByteArray& in, qint64 size, Packed& p)
    {
        p.data = takeBuffer();
        return deflater.deflate(in.constData(), size, p.data);
    }

    void pack(const QString& path, qint64 expected, Deflater& zs, QByteArray& in, Packed& p)
    {
        const Fd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0)
            return;
        p.readable = true;
        qint64 got = 0;
        if (!readAll(fd.get(), expected, in, got))
            return;
        p.size = got;
        // A file written to while it is read would be stored torn: half old, half new.
        if (got != expected) {
            p.changed = true;
            return;
        }
        p.crc = crc32Update(0, in.constData(), got);
        p.ok = deflateInto(zs, in, got, p);
    }

    static void fail(Packed& p, qint32 code, const QString& text)
    {
        p.kind = Packed::Failed;
        p.code = code;
        p.error = text;
    }

    // Whether the reuse archive holds an entry of this name, size and time:
    // then only the CRC is left to compare.
    static bool reuse(const EntryContext& ctx, Packed& p, quint32& i, qint64 size)
    {
        if (ctx.reuse == nullptr)
            return false;
        i = ctx.reuse->dir.find(p.name);
        if (i == ZipDirectory::kNone)
            return false;
        const ZipDirectory::Record& rec = ctx.reuse->dir.at(i);
        return rec.usize == quint64(size) && rec.dosTime == p.dosTime;
    }

    // The old entry i may be copied as it stands: its record and header are
    // what this writer writes for the file, and its data still inflates to
    // the file's bytes. Damaged data is noted, and the file packed afresh.
    static bool copyable(const EntryContext& ctx, quint32 i, quint32 crc, Packed& p)
    {
        const ReuseSource& src = *ctx.reuse;
        if (src.dir.at(i).crc != crc || !IsWrittenLocalHeader(src.fd, src.dir, i, src.checked.get()))
            return false;
        if (StoredDataMatches(src.fd, src.dir.at(i), &p.dataCrc))
            return true;
        p.note = QStringLiteral("zip warning: damaged in the old archive, packed afresh: ") +
                 ZipNames::Utf8Text(p.name);
        return false;
    }

    // The old entry i may be copied without reading the file: the build that
    // wrote it saw the file with the very stat it has now, when it had long
    // stopped changing, and the stored bytes are still the ones it wrote.
    static bool vouched(const EntryContext& ctx, quint32 i, Packed& p)
    {
        const ReuseSource& src = *ctx.reuse;
        const StatCache::Entry* e = src.cache ? src.cache->find(i) : nullptr;
        const ZipDirectory::Record& rec = src.dir.at(i);
        if (e == nullptr || !e->sameFile(EntryOf(p.stamp, p.dev, p.ino)) ||
            !IsWrittenLocalHeader(src.fd, src.dir, i, src.checked.get()) ||
            !StoredBytesHaveCrc(
                src.fd, src.dir, i,
                [&src](quint32 k, quint32& crc) {
                    const StatCache::Entry* v = src.cache->find(k);
                    crc = v != nullptr ? v->dataCrc : 0;
                    return v != nullptr;
                },
                src.bytesChecked.get()))
            return false;
        p.crc = rec.crc;
        p.dataCrc = e->dataCrc;
        p.reuse = &rec;
        return true;
    }

    // A file whose name is known before it is opened, and which the old
    // archive's cache vouches for, costs one stat: it is neither opened nor
    // read. Anything unusual about it is left to the full path, which says
    // what is wrong.
    static bool copiedUnread(const EntryJob& job, QByteArrayView plain, const char* at, Packed& p)
    {
        const EntryContext& ctx = *job.ctx;
        if (ctx.reuse == nullptr || !ctx.reuse->cache)
            return false;
        QByteArray name = plain.isNull() ? job.name.toUtf8() : plain.toByteArray();
        struct stat st = {};
        if (ctx.reuse->cache->find(ctx.reuse->dir.find(name)) == nullptr || ::stat(at, &st) != 0 ||
            !S_ISREG(st.st_mode) || (!job.spec && job.isDir) ||
            (st.st_dev == ctx.archiveDev && st.st_ino == ctx.archiveIno) ||
            (st.st_dev == ctx.replacedDev && st.st_ino == ctx.replacedIno) ||
            (job.expected >= 0 && job.expected != qint64(st.st_size)))
            return false;
        p.name = std::move(name);
        p.dev = st.st_dev;
        p.ino = st.st_ino;
        p.dosTime = ZipDosTime(job.spec ? st.st_mtim.tv_sec : job.mtime);
        p.size = qint64(st.st_size);
        p.stamp = Stamp::of(st);
        quint32 old = ZipDirectory::kNone;
        if (!reuse(ctx, p, old, p.size) || !vouched(ctx, old, p))
            return false;
        p.settled = true;
        p.kind = Packed::Copy;
        return true;
    }

    // The entry name of a spec that is a plain absolute path, all ASCII: such
    // a spec is its own clean path, and its name is what follows the base
    // (or, with junked folder names, its last part), so neither needs
    // converting or checking. Null for any other spec.
    static QByteArrayView plainName(const char* spec, const EntryContext& ctx)
    {
        if (kPathCase != Qt::CaseSensitive || ctx.baseBytes.isEmpty() || spec[0] != '/')
            return {};
        const size_t size = std::strlen(spec);
        const auto base = size_t(ctx.baseBytes.size());
        if (!ctx.junk && (size <= base + 1 || spec[base] != '/' ||
                          std::memcmp(spec, ctx.baseBytes.constData(), base) != 0))
            return {};
        // Every part non-empty, neither "." nor "..", and no backslash.
        size_t partStart = 1;
        for (size_t i = 1; i <= size; ++i) {
            const auto c = uchar(spec[i]);
            if (c >= 0x80 || c == '\\')
                return {};
            if (c != '/' && c != '\0')
                continue;
            const size_t len = i - partStart;
            if (len == 0 ||
                (spec[partStart] == '.' && (len == 1 || (len == 2 && spec[partStart + 1] == '.'))))
                return {};
            if (c == '\0')
                break;
            partStart = i + 1;
        }
        const char* name = ctx.junk ? spec + partStart : spec + base + 1;
        if (name[0] != '\0' && name[1] == ':' && std::isalpha(uchar(name[0])))
            return {}; // reads as a drive letter
        return QByteArrayView(name, qsizetype(spec + size - name));
    }

    void prepare(const EntryJob& job, Deflater& zs, QByteArray& in, Packed& p)
    {
        const EntryContext& ctx = *job.ctx;
        // What the caller gave, for the messages.
        auto original = [&] { return job.spec ? ZipNames::Utf8Text(job.spec) : job.path; };
        const QByteArrayView plain = job.spec ? plainName(job.spec, ctx) : QByteArrayView();
        QByteArray native;
        if (plain.isNull()) {
            const QString given = original();
            p.path = job.spec ? QDir::cleanPath(QDir::isAbsolutePath(given) ? given : ctx.base + u'/' + given)
                              : given;
            native = QFile::encodeName(p.path);
        }
        const char* const at = plain.isNull() ? native.constData() : job.spec;
        // A plain spec's path as text is made only for a message, or for the writer of a large file.
        auto path = [&]() -> const QString& {
            if (!plain.isNull() && p.path.isEmpty())
                p.path = ZipNames::Utf8Text(job.spec);
            return p.path;
        };
        if ((!job.spec || !plain.isNull()) && copiedUnread(job, plain, at, p))
            return;
        const qint64 readAt = FileClockNow();
        Fd fd(::open(at, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat st = {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
            const int err = errno;
            path();
            if (job.spec && (err == ENOENT || err == ENOTDIR || err == ELOOP || err == ENAMETOOLONG))
                return fail(p, ZpErrOpen, QStringLiteral("zip error: file not found: ") + original());
            return fail(p, ZpErrOpen, QStringLiteral("zip error: could not open for reading: ") + p.path);
        }
        p.dev = st.st_dev;
        p.ino = st.st_ino;
        p.dosTime = ZipDosTime(job.spec ? st.st_mtim.tv_sec : job.mtime);
        const bool isDir = S_ISDIR(st.st_mode);
        if (job.spec) {
            if (!isDir && !S_ISREG(st.st_mode)) {
                path();
                return fail(p, ZpErrOpen, QStringLiteral("zip error: not a regular file: ") + original());
            }
            struct stat link = {};
            if (isDir && (!ctx.storeDirs || (::lstat(at, &link) == 0 && S_ISLNK(link.st_mode)))) {
                p.kind = Packed::Skip;
                return;
            }
        }
        if (!plain.isNull()) {
            p.name = plain.toByteArray();
            if (isDir)
                p.name += '/';
        } else if (job.spec) {
            // Names start at the base path when the spec lies inside it;
            // otherwise at the spec's own last part, so nothing outside the
            // base leaks into a name.
            const QString root =
                isUnder(p.path, ctx.base) ? ctx.base : p.path.left(qMax(1, p.path.lastIndexOf(u'/')));
            QString name = ctx.junk ? p.path.mid(p.path.lastIndexOf(u'/') + 1) : relativeTo(root, p.path);
            if (isDir) {
                if (name.isEmpty()) {
                    p.kind = Packed::Skip;
                    return;
                }
                name += u'/';
            }
            const QString problem = ZipNames::EntryNameProblem(name);
            if (!problem.isEmpty())
                return fail(p, ZpErrParams,
                            QStringLiteral("zip error: invalid entry name: ") + name + QStringLiteral(" (") +
                                problem + u')');
            p.name = name.toUtf8();
        } else {
            p.name = job.name.toUtf8();
            if (job.isDir != isDir)
                return fail(p, ZpErrRead, QStringLiteral("zip error: changed while being read: ") + p.path);
        }
        if (isDir) {
            p.kind = Packed::Dir;
            return;
        }
        // Never put the archive into itself (it may lie inside a folder being walked).
        if (st.st_dev == ctx.archiveDev && st.st_ino == ctx.archiveIno) {
            p.kind = Packed::Skip;
            return;
        }
        // Nor the one it replaces, by whatever link or other name it is reached:
        // that would put the old pack inside the new one.
        if (ctx.replacedIno != 0 && st.st_dev == ctx.replacedDev && st.st_ino == ctx.replacedIno)
            return fail(p, ZpErrParams,
                        QStringLiteral("zip error: the archive being replaced is among the files: ") +
                            path());
        const qint64 expected = job.expected >= 0 ? job.expected : qint64(st.st_size);
        p.size = expected;
        quint32 old = ZipDirectory::kNone;
        const bool candidate = reuse(ctx, p, old, expected);
        p.stamp = Stamp::of(st);
        p.settled = Settled(p.stamp, readAt);
        if (candidate && vouched(ctx, old, p)) {
            p.kind = Packed::Copy;
            return;
        }
        g_filesRead.fetch_add(1, std::memory_order_relaxed);
        if (expected > kPrepackLimit) {
            p.kind = Packed::Large;
            // Counted as a small file's most, so the files held open stay few
            // however many are in flight.
            acquire(job.seq, kPrepackLimit);
            p.budget = kPrepackLimit;
            if (candidate) {
                // Checking costs one read of the file; deflating it again costs far more.
                in.resize(1 << 20);
                quint32 crc = 0;
                qint64 got = 0;
                for (;;) {
                    const ssize_t n = ::read(fd.get(), in.data(), size_t(in.size()));
                    if (n < 0 && errno == EINTR)
                        continue;
                    if (n <= 0)
                        break;
                    crc = crc32Update(crc, in.constData(), n);
                    got += n;
                }
                in = QByteArray();
                if (got == expected && Stamp::now(fd.get()) == p.stamp && copyable(ctx, old, crc, p)) {
                    p.kind = Packed::Copy;
                    p.crc = crc;
                    p.reuse = &ctx.reuse->dir.at(old);
                    return;
                }
                if (::lseek(fd.get(), 0, SEEK_SET) != 0)
                    return fail(p, ZpErrRead, QStringLiteral("zip error: could not read: ") + path());
            }
            path(); // the writer's messages name it
            p.fd = std::move(fd);
            return;
        }
        acquire(job.seq, expected);
        p.budget = expected;
        qint64 got = 0;
        // A file written to while it is read would be stored torn: half old,
        // half new. It is read again while it keeps still for one whole read.
        for (int attempt = 0;; ++attempt) {
            const Stamp before = Stamp::of(st);
            int calls = 0;
            if (!readAll(fd.get(), expected, in, got, &calls))
                return fail(p, ZpErrRead, QStringLiteral("zip error: could not read: ") + path());
            if (got != expected)
                return fail(p, ZpErrRead, QStringLiteral("zip error: changed while being read: ") + path());
            // A file that had long stopped changing when it was opened, and
            // came in one read, is not looked at again: a write would have to
            // begin within that one system call to tear it. Anything written
            // lately is checked, which is where writes go on.
            if ((attempt == 0 && p.settled && calls == 1) ||
                (::fstat(fd.get(), &st) == 0 && Stamp::of(st) == before)) {
                p.stamp = before;
                break;
            }
            if (attempt == 2 || ::lseek(fd.get(), 0, SEEK_SET) != 0 || qint64(st.st_size) != expected)
                return fail(p, ZpErrRead, QStringLiteral("zip error: changed while being read: ") + path());
        }
        p.crc = crc32Update(0, in.constData(), got);
        if (candidate && copyable(ctx, old, p.crc, p)) {
            p.kind = Packed::Copy;
            p.reuse = &ctx.reuse->dir.at(old);
            return;
        }
        if (!deflateInto(zs, in, got, p))
            return fail(p, ZpErrMemory, QStringLiteral("zip error: Out of memory"));
        if (p.data.size() >= got) {
            // Random or already compressed bytes: deflate's framing would only add to them.
            p.data.resize(static_cast<qsizetype>(got));
            std::memcpy(p.data.data(), in.constData(), static_cast<size_t>(got));
            p.stored = true;
            p.dataCrc = p.crc;
        } else {
            p.dataCrc = Crc32(0, p.data.constData(), p.data.size());
        }
        p.kind = Packed::Small;
    }
};

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
        dev_t dev = 0;
        ino_t ino = 0;
        quint32 crc = 0;
        quint32 dosTime = 0;
        quint32 nameSize = 0;
        qint32 tag = -1;                             // the run's, once a run took it over
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
    bool settle(bool wait)
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

    static qint64 cost(const Held& h)
    {
        // The record, the allocation behind bytes (with the allocator's own
        // share), and a kept result at a generous guess: a large file's counts
        // as a share of the budget so few stay open.
        qint64 c = qint64(sizeof(Held)) + (h.bytes.isEmpty() ? 0 : h.bytes.capacity() + 48);
        if (h.full)
            c += h.full->kind == Packed::Large ? (kPrepackLimit / 4) : 1024;
        return c;
    }

    // Copies a small result's name and data, and takes anything else whole.
    static Held lean(Packed& p)
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
            h.mtimeNs = Nanoseconds(p.stamp.mtime);
            h.ctimeNs = Nanoseconds(p.stamp.ctime);
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

    static Packed unpack(Held&& h)
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
        p.stamp = {h.size, FromNanoseconds(h.mtimeNs), FromNanoseconds(h.ctimeNs)};
        p.name = h.bytes.left(qsizetype(h.nameSize));
        if (h.kind == Packed::Small) {
            p.data = std::move(h.bytes);
            p.data.remove(0, qsizetype(h.nameSize));
        }
        return p;
    }

    // Whether the next segment was made with the options of a run on this context.
    bool fits(const EntryContext& ctx) const
    {
        if (current >= segments.size() || heldFrom + held.size() != packer->taken())
            return false;
        const EntryContext& c = segments[current]->ctx;
        return heldFrom == segments[current]->first && c.base == ctx.base && c.junk == ctx.junk &&
               c.storeDirs == ctx.storeDirs && c.reuse == ctx.reuse;
    }

    // Takes the finished results off the ring and hands the workers more,
    // as far as the budget allows. The caller's thread is the packer's writer.
    void feed()
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

    // What held results may take at most, with the ring's; well within what
    // a build of a hundred thousand files may add to the process.
    static constexpr qint64 kBudget = 10 * 1024 * 1024;
    // A result still in the ring: its slot, path, name and buffer.
    static constexpr qint64 kInFlightCost = 640;
    static constexpr size_t kRing = 4096;
};

// The archive at path read for copying from; null when it is none this
// writer could have made.
std::shared_ptr<ReuseSource> loadReuseSource(const QByteArray& path, const std::function<void()>& turn)
{
    auto src = std::make_shared<ReuseSource>();
    src->path = path;
    src->fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (src->fd < 0 || ::fstat(src->fd, &src->st) != 0 ||
        !ReadZipDirectory(src->fd, src->dir, src->comment, turn))
        return nullptr;
    src->checked = std::make_unique<std::atomic<quint8>[]>(src->dir.size());
    src->cache = StatCache::load(src->dir, qint64(src->st.st_size), turn);
    if (src->cache)
        src->bytesChecked = std::make_unique<std::atomic<quint8>[]>(src->dir.size());
    return src;
}

// How many specs the coming runs may give in all: the budget stops the
// reading long before on any but tiny files.
constexpr quint64 kPrefetchFiles = 65536;

// A held archive never finished has no directory: it is no archive to keep.
Library::~Library()
{
    prefetch.reset();
    if (held)
        held->writer.remove();
}

struct Item
{
    QString name; // '/'-separated; a directory's ends in '/'
    QString path; // absolute, clean
    bool isDir = false;
    qint64 size = 0;
    time_t mtime = 0;
};

class Run;

struct EntrySource
{
    Run* run = nullptr;
    const Item* item = nullptr;
    bool replacing = false;
    zip_uint64_t index = 0;
    QFile file;
    zip_error_t error{};
    // Prepacked files: the worker's result, and how far libzip has read it.
    bool prepacked = false;
    bool started = false;
    bool ready = false;
    Packed packed;
    qsizetype offset = 0;
    size_t writePos = 0;
    qint64 got = 0; // bytes streamed so far (files too large to prepack)
};

zip_int64_t sourceCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd);

class Run
{
public:
    explicit Run(Library& lib)
        : m_lib(lib), m_cb(lib.callbacks), m_opt(lib.options), m_idleClock(lib.idleClock)
    {
        if (!m_idleClock.isValid())
            m_idleClock.start();
        m_base = basePath(lib.rootDir, literal());
    }

    qint32 exec(qint32 count, const char* zipFile, const char* const* names)
    {
        if (count < 0 || zipFile == nullptr || *zipFile == '\0' || (count > 0 && names == nullptr))
            return fail(ZpErrParams, QStringLiteral("zip error: Invalid command arguments"));
        QString zipText = QString::fromUtf8(zipFile);
        if (!literal())
            zipText.replace(u'\\', u'/');
        m_zipPath = QDir::cleanPath(QDir(m_base).absoluteFilePath(zipText));
        // Adding to a new archive, or to the one an earlier run left open,
        // needs no copy of what is there: entries are appended as they come.
        // Everything else goes through libzip, which rewrites the archive.
        const bool appendOnly = m_opt.fDeleteEntries == 0 && m_opt.fUpdate == 0 && m_opt.fFreshen == 0;
        if (m_lib.held && (m_lib.held->writer.path().compare(m_zipPath, kPathCase) != 0 || !appendOnly)) {
            const QString held = m_lib.held->writer.path();
            if (!finishHeld())
                return fail(ZpErrWrite, QStringLiteral("zip error: could not write the archive: ") + held);
        }
        if (m_lib.held && !m_lib.held->writer.unchangedOnDisk()) {
            // Someone else wrote there meanwhile: appending would corrupt their file, or ours.
            m_lib.held->writer.close();
            m_lib.held.reset();
            return fail(ZpErrWrite, QStringLiteral("zip error: archive changed on disk: ") + m_zipPath);
        }
        const QFileInfo zipInfo(m_zipPath);
        m_zipCanonical = zipInfo.canonicalFilePath();
        const bool exists = zipInfo.exists();
        if (exists && !zipInfo.isFile())
            return fail(ZpErrCreate, QStringLiteral("zip error: not a file: ") + m_zipPath);
        if (appendOnly && (m_lib.held || !exists))
            return writeRun(count, names);

        std::vector<QString> specs;
        for (qint32 i = 0; i < count; ++i) {
            const QString spec = ZipNames::Utf8Text(names[i] ? names[i] : "");
            if (!spec.isEmpty())
                specs.push_back(spec);
        }

        if (m_opt.fDeleteEntries == 0) {
            // Every spec costs a look-up on disk: at tens of thousands of them
            // the window needs its turns here too.
            for (const QString& spec : specs) {
                if (!idle())
                    return fail(ZpErrAborted, QStringLiteral("zip error: Interrupted (aborting)"));
                if (!planSpec(spec))
                    return m_code;
            }
        }
        if (!exists && (m_items.empty() || m_opt.fDeleteEntries != 0 || m_opt.fFreshen != 0))
            return fail(ZpErrNothing, QStringLiteral("zip error: Nothing to do! (") + m_zipPath + u')');

        // Opening reads the whole central directory, tens of milliseconds on a
        // large archive with no callback: the window gets its turn just before.
        if (exists && !idle(0))
            return fail(ZpErrAborted, QStringLiteral("zip error: Interrupted (aborting)"));
        int err = 0;
        zip_t* za = zip_open(QFile::encodeName(m_zipPath).constData(), exists ? 0 : ZIP_CREATE, &err);
        if (za == nullptr) {
            if (err == ZIP_ER_NOZIP || err == ZIP_ER_INCONS || err == ZIP_ER_READ)
                return fail(ZpErrFormat,
                            QStringLiteral("zip error: Zip file structure invalid (") + m_zipPath + u')');
            return fail(ZpErrCreate, QStringLiteral("zip error: could not open the archive: ") + m_zipPath);
        }
        // Declared after m_sources, so the archive (which calls into them) goes first.
        std::unique_ptr<zip_t, void (*)(zip_t*)> archive(za, [](zip_t* z) { zip_discard(z); });
        // libzip copies the entries already in the archive, and writes the
        // directory, without reading any of our sources; the host is given its
        // turns there as well, and may stop the run there too.
        zip_register_cancel_callback_with_state(
            za, [](zip_t*, void* run) { return static_cast<Run*>(run)->idle() ? 0 : 1; }, nullptr, this);
        bool changed = false;
        const bool ok = m_opt.fDeleteEntries != 0 ? deleteEntries(za, specs, changed) : stage(za, changed);
        if (!ok)
            return m_code;
        for (const auto& src : m_sources)
            m_writeOrder.push_back(src.get());
        std::sort(m_writeOrder.begin(), m_writeOrder.end(),
                  [](const EntrySource* a, const EntrySource* b) { return a->index < b->index; });
        for (size_t i = 0; i < m_writeOrder.size(); ++i)
            m_writeOrder[i]->writePos = i;
        if (m_opt.fDeleteEntries != 0 && !changed)
            return fail(ZpErrNothing, QStringLiteral("zip error: Nothing to do! (") + m_zipPath + u')');
        requestComment(za, changed);
        if (!changed)
            return exists
                       ? ZpOk
                       : fail(ZpErrNothing, QStringLiteral("zip error: Nothing to do! (") + m_zipPath + u')');

        // The files are read and compressed here, through sourceCallback.
        if (zip_close(za) == 0) {
            archive.release(); // closed and freed by libzip
            return ZpOk;
        }
        if (m_abandoned)
            return fail(ZpErrAborted, QStringLiteral("zip error: Interrupted (aborting)"));
        if (m_code != ZpOk)
            return m_code;
        return fail(ZpErrWrite, QStringLiteral("zip error: could not write the archive: ") + m_zipPath +
                                    QStringLiteral(" (") + QString::fromUtf8(zip_strerror(za)) + u')');
    }

    zip_int64_t openEntry(EntrySource& s)
    {
        if (m_abandoned || !askService(s.item->name)) {
            zip_error_set(&s.error, ZIP_ER_CANCELLED, 0);
            return -1;
        }
        note((s.replacing ? QStringLiteral("updating: ") : QStringLiteral("  adding: ")) + s.item->name);
        if (s.item->isDir)
            return 0;
        s.got = 0;
        if (s.prepacked) {
            s.offset = 0;
            return 0;
        }
        s.file.setFileName(s.item->path);
        if (!s.file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            fail(ZpErrOpen, QStringLiteral("zip error: could not open for reading: ") + s.item->path);
            zip_error_set(&s.error, ZIP_ER_OPEN, 0);
            return -1;
        }
        return 0;
    }

    zip_int64_t readEntry(EntrySource& s, void* data, zip_uint64_t len)
    {
        if (s.item->isDir)
            return 0;
        if (s.prepacked) {
            const qsizetype n = qMin(static_cast<qsizetype>(qMin<zip_uint64_t>(len, 1u << 30)),
                                     s.packed.data.size() - s.offset);
            std::memcpy(data, s.packed.data.constData() + s.offset, static_cast<size_t>(n));
            s.offset += n;
            return n;
        }
        const qint64 n =
            s.file.read(static_cast<char*>(data), static_cast<qint64>(qMin<zip_uint64_t>(len, 1u << 30)));
        if (n < 0) {
            fail(ZpErrRead, QStringLiteral("zip error: could not read: ") + s.item->path);
            zip_error_set(&s.error, ZIP_ER_READ, 0);
            return -1;
        }
        s.got += n;
        if ((n == 0 && s.got != s.item->size) || s.got > s.item->size) {
            fail(ZpErrRead, QStringLiteral("zip error: changed while being read: ") + s.item->path);
            zip_error_set(&s.error, ZIP_ER_READ, 0);
            return -1;
        }
        if (!idle()) {
            zip_error_set(&s.error, ZIP_ER_CANCELLED, 0);
            return -1;
        }
        return n;
    }

    void recycle(QByteArray&& buffer)
    {
        if (m_packer)
            m_packer->recycle(std::move(buffer));
        buffer = QByteArray();
    }

    zip_int64_t statEntry(EntrySource& s, zip_stat_t* st)
    {
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        st->size = static_cast<zip_uint64_t>(s.item->size);
        st->mtime = s.item->mtime;
        if (!s.prepacked)
            return sizeof(zip_stat_t);
        if (!awaitPacked(s)) {
            zip_error_set(&s.error, m_abandoned ? ZIP_ER_CANCELLED : ZIP_ER_READ, 0);
            return -1;
        }
        // Already deflated: libzip copies it as it stands.
        st->valid |= ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
        st->size = static_cast<zip_uint64_t>(s.packed.size);
        st->comp_size = static_cast<zip_uint64_t>(s.packed.data.size());
        st->comp_method = ZIP_CM_DEFLATE;
        st->crc = s.packed.crc;
        return sizeof(zip_stat_t);
    }

private:
    Library& m_lib;
    const ZpCallbacks m_cb;
    const ZpOptions m_opt;
    QString m_base;
    QString m_zipPath;
    QString m_zipCanonical;
    std::vector<Item> m_items;
    QHash<QString, size_t> m_index; // entry name -> m_items
    std::vector<std::unique_ptr<EntrySource>> m_sources;
    std::unique_ptr<Packer> m_packer;       // started with the first file it is given
    std::vector<EntrySource*> m_writeOrder; // the changed entries in the order libzip writes them
    QElapsedTimer& m_idleClock;
    qint32 m_code = ZpOk;
    bool m_abandoned = false;
    QByteArray m_message; // kept: one allocation for all of a run's messages

    std::deque<EntrySource*> m_started; // submitted to m_packer, oldest first, not yet taken

    bool startJob(EntrySource& s)
    {
        if (s.prepacked && !s.started) {
            if (!m_packer)
                m_packer = std::make_unique<Packer>();
            if (!m_packer->hasRoom())
                return false;
            s.started = true;
            m_packer->submit(s.item->path, s.item->size);
            m_started.push_back(&s);
        }
        return true;
    }

    // The oldest started file's result, into its source; false when cancelled.
    bool takeStarted()
    {
        while (!m_packer->awaitOldest(std::chrono::milliseconds(kIdleIntervalMs)))
            if (!idle())
                return false;
        EntrySource& done = *m_started.front();
        m_started.pop_front();
        done.packed = m_packer->takeOldest();
        done.ready = true;
        return true;
    }

    // Waits for this file's worker (keeping the caller's window alive), after
    // starting the next few, so reading and deflating run ahead of the writing.
    bool awaitPacked(EntrySource& s)
    {
        if (!s.ready) {
            qint64 ahead = 0;
            for (size_t i = s.writePos; i < m_writeOrder.size() && i <= s.writePos + kPrepackAheadFiles;
                 ++i) {
                EntrySource& next = *m_writeOrder[i];
                if (!next.prepacked)
                    continue;
                ahead += next.item->size;
                if (i > s.writePos + 2 && ahead > kPrepackAheadBytes)
                    break;
                if (!startJob(next))
                    break;
            }
            m_packer->publish();
            // Files started earlier go to their own sources: libzip may ask for them in another order.
            while (!s.ready) {
                startJob(s); // when every slot is taken, after the oldest is
                m_packer->publish();
                if (!takeStarted())
                    return false;
            }
            if (!idle())
                return false;
        }
        if (!s.packed.ok) {
            if (s.packed.changed)
                fail(ZpErrRead, QStringLiteral("zip error: changed while being read: ") + s.item->path);
            else if (!s.packed.readable)
                fail(ZpErrOpen, QStringLiteral("zip error: could not open for reading: ") + s.item->path);
            else
                fail(ZpErrRead, QStringLiteral("zip error: could not read: ") + s.item->path);
            return false;
        }
        return true;
    }

    // The held archive gets its directory and is closed; false when that failed.
    // keepCache: whether the stat cache of the files is saved with it; not
    // for an archive finished after its run failed, which the caller drops.
    bool finishHeld(bool keepCache = true)
    {
        HeldArchive& h = *m_lib.held;
        // A cancel here comes too late to matter: the directory is the last step.
        const bool ok = h.writer.finish(h.comment, [this] { idle(); });
        m_lib.savedCache.clear();
        struct stat st = {};
        if (!ok)
            h.writer.remove();
        else if (keepCache && !h.made.isEmpty() && ::stat(QFile::encodeName(m_zipPath).constData(), &st) == 0)
            m_lib.savedCache = h.made.save(h.writer.directory(), qint64(st.st_size));
        m_lib.held.reset();
        return ok;
    }

    qint32 aborted() { return fail(ZpErrAborted, QStringLiteral("zip error: Interrupted (aborting)")); }

    // The archive a file's unchanged data may be copied from, when it is one
    // this writer made with the same comment: only then is a copy the same as
    // deflating afresh.
    const ReuseSource* reuseSource(const QByteArray& comment)
    {
        if (m_lib.reuse.isEmpty())
            return nullptr;
        const QByteArray path =
            QFile::encodeName(QDir::cleanPath(QDir(m_base).absoluteFilePath(QString::fromUtf8(m_lib.reuse))));
        struct stat st = {};
        if (::stat(path.constData(), &st) != 0)
            return nullptr;
        std::shared_ptr<ReuseSource>& src = m_lib.reuseSource;
        if (!src || src->path != path || src->st.st_dev != st.st_dev || src->st.st_ino != st.st_ino ||
            src->st.st_size != st.st_size || src->st.st_mtim.tv_sec != st.st_mtim.tv_sec ||
            src->st.st_mtim.tv_nsec != st.st_mtim.tv_nsec) {
            src.reset();
            src = loadReuseSource(path, [this] { idle(); });
            if (!src)
                return nullptr;
        }
        return src->comment == comment ? src.get() : nullptr;
    }

    // Waits for a read-ahead still reading the old archive; the archive it
    // read is the one runs copy from while it is still the same file. False
    // when the run was stopped meanwhile.
    bool awaitPrefetch()
    {
        if (!m_lib.prefetch)
            return true;
        if (m_lib.prefetch->started.valid()) {
            while (m_lib.prefetch->started.wait_for(std::chrono::milliseconds(kIdleIntervalMs)) !=
                   std::future_status::ready)
                if (!idle())
                    return false;
            m_lib.prefetch->settle(true);
        }
        // Taken over once, whoever saw the reading end: the read-ahead's results
        // fit a run only when both check against this very archive.
        if (m_lib.prefetch->reuse && !m_lib.prefetch->adopted) {
            m_lib.reuseSource = m_lib.prefetch->reuse;
            m_lib.prefetch->adopted = true;
        }
        return true;
    }

    QString pathOfTag(qint32 tag, qint32 count, const char* const* names) const
    {
        if (tag >= count)
            return m_items[size_t(tag - count)].path;
        const QString spec = ZipNames::Utf8Text(names[tag]);
        return QDir::cleanPath(QDir::isAbsolutePath(spec) ? spec : m_base + u'/' + spec);
    }

    // A run through the append-only writer: entries are prepared on the
    // workers in order, a window ahead, and written here one by one.
    qint32 writeRun(qint32 count, const char* const* names)
    {
        const bool continuing = m_lib.held != nullptr;
        // Literal specs without recursion are one entry each: the workers find
        // out what each is. Anything else is planned here first.
        const bool direct = literal() && !recurse();
        bool anySpec = false;
        for (qint32 i = 0; i < count; ++i) {
            if (names[i] == nullptr || *names[i] == '\0')
                continue;
            anySpec = true;
            if (direct)
                continue;
            if (!idle())
                return aborted();
            if (!planSpec(ZipNames::Utf8Text(names[i])))
                return m_code;
        }
        if (!continuing && (!anySpec || (!direct && m_items.empty())))
            return fail(ZpErrNothing, QStringLiteral("zip error: Nothing to do! (") + m_zipPath + u')');

        bool commentGiven = false;
        QByteArray comment;
        if (m_opt.fComment != 0 && m_cb.Comment != nullptr) {
            std::array<char, 257> buf{};
            commentGiven = m_cb.Comment(buf.data()) == 0;
            if (commentGiven)
                comment = QByteArray(buf.data(), qsizetype(strnlen(buf.data(), 255)));
        }
        if (!continuing) {
            auto h = std::make_unique<HeldArchive>();
            if (!h->writer.create(m_zipPath))
                return fail(ZpErrCreate,
                            QStringLiteral("zip error: could not open the archive: ") + m_zipPath);
            m_lib.held = std::move(h);
        }
        HeldArchive& held = *m_lib.held;
        ZipWriter& w = held.writer;
        w.beginRun();
        held.runStart = held.made.mark();
        if (direct)
            w.reserve(quint32(count));
        const qint32 code = writeEntries(w, count, names, direct, commentGiven ? comment : held.comment);
        if (code == ZpOk && !continuing && w.directory().size() == 0)
            fail(ZpErrNothing, QStringLiteral("zip error: Nothing to do! (") + m_zipPath + u')');
        if (m_code == ZpOk) {
            if (commentGiven)
                held.comment = comment;
            if (m_opt.fHold != 0 ? w.flush() : finishHeld())
                return ZpOk;
            fail(ZpErrWrite, QStringLiteral("zip error: could not write the archive: ") + m_zipPath);
            if (!m_lib.held)
                return m_code;
        }
        // All or nothing: the archive goes back to what the earlier runs made
        // of it, or away when this run made it.
        held.made.rollback(held.runStart);
        if (!continuing || !w.rollbackRun()) {
            w.remove();
            m_lib.held.reset();
        } else if (m_opt.fHold == 0) {
            finishHeld(false);
        } else {
            w.flush();
        }
        return m_code;
    }

    qint32 writeEntries(ZipWriter& w, qint32 count, const char* const* names, bool direct,
                        const QByteArray& comment)
    {
        EntryContext ctx;
        ctx.base = m_base;
        ctx.baseBytes = QFile::encodeName(m_base);
        ctx.junk = junkNames();
        ctx.storeDirs = storeDirs();
        struct stat self = {};
        if (w.isOpen() && ::stat(QFile::encodeName(m_zipPath).constData(), &self) == 0) {
            ctx.archiveDev = self.st_dev;
            ctx.archiveIno = self.st_ino;
        }
        NoteReplaced(ctx, m_lib.replace);
        if (!awaitPrefetch())
            return aborted();
        ctx.reuse = reuseSource(comment);
        // Files read ahead for this run, when they were read as this run reads them
        // (checked against the same old archive, or none).
        std::unique_ptr<Prefetch> pre;
        if (m_lib.prefetch && direct && m_lib.prefetch->fits(ctx))
            pre = std::move(m_lib.prefetch);
        // Workers still busy with jobs read ahead must be gone before ctx is.
        struct StopWorkers
        {
            std::unique_ptr<Packer>& packer;
            ~StopWorkers() { packer.reset(); }
        } stopWorkers{m_packer};
        qint32 spec = 0;
        size_t item = 0;
        auto next = [&](EntryJob& job, qint32& tag) {
            job = EntryJob{};
            job.ctx = &ctx;
            if (direct) {
                while (spec < count && (names[spec] == nullptr || *names[spec] == '\0'))
                    ++spec;
                if (spec >= count)
                    return false;
                job.spec = names[spec];
                tag = spec++;
                return true;
            }
            if (item >= m_items.size())
                return false;
            const Item& it = m_items[item];
            job.path = it.path;
            job.name = it.name;
            job.isDir = it.isDir;
            job.expected = it.isDir ? -1 : it.size;
            job.mtime = it.mtime;
            tag = count + qint32(item++);
            return true;
        };
        Packer* packer = nullptr;
        bool listed = false;  // every entry has been submitted
        bool pending = false; // job is one next() gave and is still to submit
        EntryJob job;
        qint32 tag = 0;
        // With files read ahead: the run's share of the stream is [start, end)
        // while its specs are the segment's; the rest stays for the next run.
        // Once they part, what was read ahead from there on is dropped.
        const Prefetch::Segment* seg = nullptr;
        bool intact = false;
        quint64 place = 0; // the stream place of the next entry to take
        if (pre) {
            seg = pre->segments[pre->current].get();
            m_packer = std::move(pre->packer);
            packer = m_packer.get();
            packer->addWorkers(Packer::kWorkers);
            place = seg->first;
            quint64 at = seg->first;
            const quint64 submitted = packer->submitted();
            while (at < submitted && at < seg->end()) {
                if (!next(job, tag)) {
                    listed = true;
                    break;
                }
                if (std::strcmp(job.spec, seg->spec(at)) != 0) {
                    pending = true;
                    break;
                }
                if (at < packer->taken())
                    pre->held[size_t(at - pre->heldFrom)].tag = tag;
                else
                    packer->setTag(at, tag);
                ++at;
            }
            // The run goes on where the stream does only while its specs are the segment's.
            intact = !listed && !pending;
            if (intact && at == seg->end()) {
                if (next(job, tag))
                    intact = false, pending = true;
                else
                    listed = true;
            }
            if (!intact) {
                if (at < packer->taken())
                    pre->held.resize(size_t(at - pre->heldFrom));
                packer->abandonFrom(std::max(at, packer->taken()));
            }
        }
        for (;;) {
            // Refilled a batch at a time, so the workers are woken at most once per batch.
            if (!listed && (!packer || packer->inFlight() + kRefillBatch <= packer->capacity() ||
                            packer->inFlight() == 0)) {
                while ((!packer || packer->hasRoom()) && (pending || !(listed = !next(job, tag)))) {
                    if (!packer) {
                        m_packer = std::make_unique<Packer>();
                        packer = m_packer.get();
                    }
                    // A spec of its own parts the run from the stream.
                    if (intact && (packer->submitted() >= seg->end() ||
                                   std::strcmp(job.spec, seg->spec(packer->submitted())) != 0))
                        intact = false;
                    packer->submit(std::move(job), tag);
                    pending = false;
                }
                if (packer)
                    packer->publish();
                // A list that ends before the segment does parts from the stream as well.
                if (intact && listed && packer->submitted() < seg->end())
                    intact = false;
            }
            if (intact ? (listed && place == seg->end())
                       : (!packer || (packer->inFlight() == 0 && (!pre || pre->held.empty()))))
                break;
            Packed p;
            qint32 doneTag = 0; // tag stays with a job still to submit
            if (pre && !pre->held.empty()) {
                Prefetch::Held h = std::move(pre->held.front());
                pre->held.pop_front();
                ++pre->heldFrom;
                pre->heldBytes -= Prefetch::cost(h);
                doneTag = h.tag;
                p = Prefetch::unpack(std::move(h));
            } else {
                while (!packer->awaitOldest(std::chrono::milliseconds(kIdleIntervalMs)))
                    if (!idle())
                        return aborted();
                p = packer->takeOldest(&doneTag);
                if (pre)
                    pre->heldFrom = place + 1; // nothing held lean is left before the ring
            }
            ++place;
            const qint64 budget = p.budget;
            bool ok = true;
            if (doneTag >= 0) {
                // A file read before this run began may be the archive it writes.
                if (pre && isArchive(p, ctx))
                    p.kind = Packed::Skip;
                ok = writeEntry(w, p, doneTag, count, names, ctx);
            }
            packer->release(budget);
            if (!ok)
                return m_code != ZpOk
                           ? m_code
                           : fail(ZpErrWrite, QStringLiteral("zip error: could not write the archive: ") +
                                                  m_zipPath + QStringLiteral(" (") +
                                                  QString::fromLocal8Bit(std::strerror(w.error())) + u')');
            if (!idle())
                return aborted();
        }
        // What was read ahead for the later runs waits for them, and the
        // workers go on with it meanwhile.
        if (intact && pre->current + 1 < pre->segments.size()) {
            ++pre->current;
            pre->packer = std::move(m_packer);
            pre->feed();
            m_lib.prefetch = std::move(pre);
        }
        return ZpOk;
    }

    static bool isArchive(const Packed& p, const EntryContext& ctx)
    {
        if (ctx.archiveIno == 0)
            return false;
        if (p.kind == Packed::Small || p.kind == Packed::Large)
            return p.dev == ctx.archiveDev && p.ino == ctx.archiveIno;
        struct stat st = {};
        return p.kind == Packed::Failed && p.code == ZpErrOpen &&
               ::stat(QFile::encodeName(p.path).constData(), &st) == 0 && st.st_dev == ctx.archiveDev &&
               st.st_ino == ctx.archiveIno;
    }

    // False when the run must fail: with m_code set, or on a write error.
    bool writeEntry(ZipWriter& w, Packed& p, qint32 tag, qint32 count, const char* const* names,
                    const EntryContext& ctx)
    {
        if (p.kind == Packed::Failed) {
            fail(p.code != ZpOk ? p.code : ZpErrRead, p.error);
            return false;
        }
        if (p.kind == Packed::Skip)
            return true;
        const quint32 prev = w.directory().find(p.name);
        const bool replacing = prev != ZipDirectory::kNone;
        if (replacing) {
            const ZipDirectory::Record& r = w.directory().at(prev);
            if (p.kind == Packed::Dir || (r.flags & ZipDirectory::Dir))
                return true;
            if (prev >= w.runFirstRecord()) {
                const QString earlier = pathOfTag(r.tag, count, names);
                // A result held lean for a later run keeps no path: its spec gives it.
                const QString path = p.path.isEmpty() ? pathOfTag(tag, count, names) : p.path;
                if (earlier.compare(path, kPathCase) == 0)
                    return true;
                fail(ZpErrParams, QStringLiteral("zip error: names in zip file repeat: ") +
                                      ZipNames::Utf8Text(p.name) + QStringLiteral(" (") + earlier +
                                      QStringLiteral(", ") + path + u')');
                return false;
            }
        }
        if (!askService(QByteArrayView(p.name))) {
            aborted();
            return false;
        }
        if (!p.note.isEmpty())
            send(p.note);
        if (m_opt.fQuiet == 0 && m_cb.Print != nullptr) {
            m_message.resize(0);
            m_message.append(replacing ? "updating: " : "  adding: ").append(p.name);
            m_cb.Print(m_message.constData(), static_cast<qint32>(m_message.size()));
        }
        bool ok = false;
        if (p.kind == Packed::Dir) {
            ok = w.writeEntry(p.name, p.dosTime, true, 0, 0, {}, tag);
        } else if (p.kind == Packed::Small) {
            ok = w.writeEntry(p.name, p.dosTime, false, p.crc, quint64(p.size), p.data, tag, p.stored);
            recycle(std::move(p.data));
        } else if (p.kind == Packed::Copy) {
            ok = copyReused(w, p, tag, ctx);
        } else {
            ok = writeLarge(w, p, tag);
        }
        if (ok && replacing)
            w.supersede(prev);
        if (ok && p.kind != Packed::Dir)
            remember(w, p);
        return ok;
    }

    // What the next build over this archive may take on trust: the entry just
    // written and the file's stat, when the file had settled before it was read.
    void remember(const ZipWriter& w, const Packed& p)
    {
        const ZipDirectory& dir = w.directory();
        if (m_lib.held && p.settled && dir.size() > 0)
            m_lib.held->made.note(p.name, dir.at(dir.size() - 1), EntryOf(p.stamp, p.dev, p.ino, p.dataCrc));
    }

    // An unchanged file's entry, header and data, from the reuse archive. The
    // writer joins it to the copy of the entries before it when they lay side
    // by side there; what has gathered is copied a slice at a time, so the
    // window keeps its turns and a cancel is heard within a large entry too.
    bool copyReused(ZipWriter& w, const Packed& p, qint32 tag, const EntryContext& ctx)
    {
        if (!w.copyEntry(p.name, *p.reuse, ctx.reuse->fd, tag))
            return false;
        while (w.pendingCopy() >= quint64(kCopySlice)) {
            if (!w.copyPending(quint64(kCopySlice)))
                return false;
            if (!idle()) {
                aborted();
                return false;
            }
        }
        return true;
    }

    bool writeLarge(ZipWriter& w, Packed& p, qint32 tag)
    {
        if (!w.beginStream(p.name, p.dosTime, quint64(p.size), tag))
            return false;
        // Whether the file is stored or deflated is known only at its end. The
        // first piece's outcome is the guess, so that random data goes out
        // once, as it is read; a wrong guess costs another pass.
        bool raw = false;
        DeflateResult r;
        if (!deflatePass(w, p, true, raw, r))
            return false;
        const bool stored = r.outSize >= r.inSize;
        if (!(Stamp::now(p.fd.get()) == p.stamp)) {
            fail(ZpErrRead, QStringLiteral("zip error: changed while being read: ") + p.path);
            return false;
        }
        if (stored == raw)
            return w.endStream(r.crc, quint64(stored ? r.inSize : r.outSize), quint64(r.inSize), stored);
        if (!w.rewindStream())
            return false;
        if (stored) {
            p.dataCrc = r.crc;
            return writeStoredCopy(w, p, r.crc, r.inSize);
        }
        DeflateResult again;
        if (::lseek(p.fd.get(), 0, SEEK_SET) != 0) {
            fail(ZpErrRead, QStringLiteral("zip error: could not read: ") + p.path);
            return false;
        }
        if (!deflatePass(w, p, false, raw, again))
            return false;
        if (again.crc != r.crc || again.outSize != r.outSize) {
            fail(ZpErrRead, QStringLiteral("zip error: changed while being read: ") + p.path);
            return false;
        }
        return w.endStream(r.crc, quint64(r.outSize), quint64(r.inSize));
    }

    // Deflates the file from where it stands into the stream begun: the
    // deflated bytes, or with guess the bytes read when the first piece
    // would not shrink (raw tells which).
    bool deflatePass(ZipWriter& w, Packed& p, bool guess, bool& raw, DeflateResult& r)
    {
        bool writeFailed = false;
        bool first = true;
        raw = false;
        r = DeflateFile(
            p.fd.get(), p.size,
            [&](QByteArrayView deflated, QByteArrayView read) {
                raw = first ? guess && deflated.size() >= read.size() : raw;
                first = false;
                const QByteArrayView out = raw ? read : deflated;
                writeFailed = !w.append(out.data(), out.size());
                return !writeFailed;
            },
            [this] { return idle(); });
        p.dataCrc = raw ? r.crc : r.outCrc;
        switch (r.failure) {
        case DeflateResult::None:
            return true;
        case DeflateResult::ReadFailed:
            fail(ZpErrRead, QStringLiteral("zip error: could not read: ") + p.path);
            return false;
        case DeflateResult::Changed:
            fail(ZpErrRead, QStringLiteral("zip error: changed while being read: ") + p.path);
            return false;
        case DeflateResult::Abandoned:
            if (!writeFailed)
                aborted();
            return false;
        }
        return false;
    }

    // The file's bytes once more, in place of a deflated stream that came out
    // no smaller; they must be the very bytes that were deflated.
    bool writeStoredCopy(ZipWriter& w, Packed& p, quint32 crc, qint64 size)
    {
        const Fd fd = std::move(p.fd);
        QByteArray buf(1 << 20, Qt::Uninitialized);
        quint32 copied = 0;
        for (qint64 done = 0;;) {
            // One byte more than is left, so a file that grew shows.
            const ssize_t n =
                ::pread(fd.get(), buf.data(), size_t(qMin<qint64>(buf.size(), size - done + 1)), off_t(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                fail(ZpErrRead, QStringLiteral("zip error: could not read: ") + p.path);
                return false;
            }
            if (n == 0 || done + n > size) {
                if (done == size && n == 0 && copied == crc)
                    break;
                fail(ZpErrRead, QStringLiteral("zip error: changed while being read: ") + p.path);
                return false;
            }
            copied = crc32Update(copied, buf.constData(), n);
            if (!w.append(buf.constData(), n))
                return false;
            done += n;
            if (!idle()) {
                aborted();
                return false;
            }
        }
        return w.endStream(crc, quint64(size), quint64(size), true);
    }

    bool junkNames() const { return m_opt.fJunkDirNames != 0; }
    bool storeDirs() const { return m_opt.fNoDirEntries == 0 && !junkNames(); }
    bool recurse() const { return m_opt.fRecurse != 0; }
    bool literal() const { return m_opt.fLiteral != 0; }

    void send(const QString& text) const
    {
        if (m_cb.Print == nullptr)
            return;
        const QByteArray bytes = text.toUtf8();
        m_cb.Print(bytes.constData(), static_cast<qint32>(bytes.size()));
    }
    void note(const QString& text) const
    {
        if (m_opt.fQuiet == 0)
            send(text);
    }
    qint32 fail(qint32 code, const QString& text)
    {
        if (m_code == ZpOk) {
            m_code = code;
            send(text);
        }
        return m_code;
    }

    bool askService(const QString& name) { return askService(QByteArrayView(name.toUtf8())); }
    bool askService(QByteArrayView name)
    {
        if (m_cb.Service != nullptr && m_cb.Service(name.data(), static_cast<qint32>(name.size())) == 1)
            m_abandoned = true;
        return !m_abandoned;
    }

    bool idle(qint64 intervalMs = kIdleIntervalMs)
    {
        if (m_cb.Idle != nullptr && m_idleClock.elapsed() >= intervalMs) {
            m_idleClock.restart();
            if (m_cb.Idle() == 1)
                m_abandoned = true;
        }
        return !m_abandoned;
    }

    // Turns one spec into entries. False (with m_code set) when the run must fail.
    bool planSpec(const QString& original)
    {
        // A literal spec is a real path: a '*', '?' or '\' in it is part of a name.
        const QString spec = literal() ? original : QString(original).replace(u'\\', u'/');
        const qsizetype slash = spec.lastIndexOf(u'/');
        const QString last = spec.mid(slash + 1);
        const bool wild = !literal() && (last.contains(u'*') || last.contains(u'?'));
        const QString fixed = wild ? spec.left(slash + 1) : spec;
        const QString fixedAbs =
            QDir::cleanPath(QDir(m_base).absoluteFilePath(fixed.isEmpty() ? QStringLiteral(".") : fixed));
        // Names start at the base path when the spec lies inside it; otherwise at
        // the spec's own last part, so nothing outside the base leaks into a name.
        const QString root = isUnder(fixedAbs, m_base) ? m_base : QFileInfo(fixedAbs).path();
        const QFileInfo fi(fixedAbs);
        if (wild) {
            if (!fi.isDir()) {
                // Relative specs may be left over from runs with another base path;
                // an absolute one names a folder that should be there.
                if (QDir::isAbsolutePath(spec) || (spec.size() > 1 && spec[1] == u':'))
                    return fail(ZpErrOpen, QStringLiteral("zip error: folder not found: ") + original) ==
                           ZpOk;
                send(QStringLiteral("zip warning: name not matched: ") + original);
                return true;
            }
            bool matched = false;
            if (!walk(fixedAbs, last, root, matched))
                return false;
            if (!matched)
                send(QStringLiteral("zip warning: name not matched: ") + original);
            return true;
        }
        if (fi.isDir()) {
            if (fi.isSymLink())
                return true;
            if (!addDir(fi, root))
                return false;
            bool matched = false;
            return !recurse() || walk(fixedAbs, QStringLiteral("*"), root, matched);
        }
        if (!fi.isFile())
            return fail(ZpErrOpen, QStringLiteral("zip error: file not found: ") + original) == ZpOk;
        return addFile(fi, root);
    }

    bool walk(const QString& dir, const QString& pattern, const QString& root, bool& matched)
    {
        const QFileInfo dirInfo(dir);
        if (!dirInfo.isReadable() || !dirInfo.isExecutable()) {
            send(QStringLiteral("zip warning: could not open folder: ") + dir);
            return true;
        }
        QFileInfoList list = QDir(dir).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::NoSort);
        std::sort(list.begin(), list.end(),
                  [](const QFileInfo& a, const QFileInfo& b) { return a.fileName() < b.fileName(); });
        for (const QFileInfo& fi : list) {
            if (!idle())
                return fail(ZpErrAborted, QStringLiteral("zip error: Interrupted (aborting)")) == ZpOk;
            if (fi.isDir()) {
                if (fi.isSymLink())
                    continue; // a link may lead back up the tree
                if (recurse()) {
                    matched = true;
                    if (!addDir(fi, root) || !walk(fi.absoluteFilePath(), pattern, root, matched))
                        return false;
                } else if (wildMatch(pattern, fi.fileName())) {
                    matched = true;
                    if (!addDir(fi, root))
                        return false;
                }
            } else if (fi.isFile() && wildMatch(pattern, fi.fileName())) {
                matched = true;
                if (!addFile(fi, root))
                    return false;
            }
        }
        return true;
    }

    bool addDir(const QFileInfo& fi, const QString& root)
    {
        if (!storeDirs())
            return true;
        const QString path = QDir::cleanPath(fi.absoluteFilePath());
        const QString rel = relativeTo(root, path);
        if (rel.isEmpty())
            return true;
        return addItem(
            Item{rel + u'/', path, true, 0, static_cast<time_t>(fi.lastModified().toSecsSinceEpoch())});
    }

    bool addFile(const QFileInfo& fi, const QString& root)
    {
        const QString path = QDir::cleanPath(fi.absoluteFilePath());
        // Never put the archive into itself (it may lie inside a folder being walked).
        if (!m_zipCanonical.isEmpty() &&
            fi.fileName().compare(QFileInfo(m_zipPath).fileName(), kPathCase) == 0 &&
            fi.canonicalFilePath() == m_zipCanonical)
            return true;
        if (path.compare(m_zipPath, kPathCase) == 0)
            return true;
        const QString name = junkNames() ? fi.fileName() : relativeTo(root, path);
        return addItem(
            Item{name, path, false, fi.size(), static_cast<time_t>(fi.lastModified().toSecsSinceEpoch())});
    }

    bool addItem(Item item)
    {
        // Whatever path led here, no entry may climb out of the folder it is
        // extracted into or read differently by a tool that splits on '\'.
        const QString problem = ZipNames::EntryNameProblem(item.name);
        if (!problem.isEmpty())
            return fail(ZpErrParams, QStringLiteral("zip error: invalid entry name: ") + item.name +
                                         QStringLiteral(" (") + problem + u')') == ZpOk;
        const auto it = m_index.constFind(item.name);
        if (it != m_index.constEnd()) {
            const Item& prev = m_items[*it];
            if (prev.isDir || prev.path.compare(item.path, kPathCase) == 0)
                return true;
            return fail(ZpErrParams, QStringLiteral("zip error: names in zip file repeat: ") + item.name +
                                         QStringLiteral(" (") + prev.path + QStringLiteral(", ") + item.path +
                                         u')') == ZpOk;
        }
        m_index.insert(item.name, m_items.size());
        m_items.push_back(std::move(item));
        return true;
    }

    // Whether the stored entry already holds exactly this file.
    bool sameAsStored(const Item& item, const zip_stat_t& st)
    {
        if ((st.valid & ZIP_STAT_SIZE) == 0 || (st.valid & ZIP_STAT_CRC) == 0 ||
            (st.valid & ZIP_STAT_MTIME) == 0)
            return false;
        if (st.size != static_cast<zip_uint64_t>(item.size) || ZipDosTime(st.mtime) != ZipDosTime(item.mtime))
            return false;
        QFile f(item.path);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return false; // reported when the file is opened for compressing
        std::vector<char> buf(256 * 1024);
        quint32 crc = 0;
        for (;;) {
            const qint64 n = f.read(buf.data(), static_cast<qint64>(buf.size()));
            if (n < 0)
                return false;
            if (n == 0)
                break;
            crc = crc32Update(crc, buf.data(), n);
            if (!idle())
                return false;
        }
        return crc == st.crc;
    }

    bool stage(zip_t* za, bool& changed)
    {
        for (const Item& item : m_items) {
            if (!idle())
                return fail(ZpErrAborted, QStringLiteral("zip error: Interrupted (aborting)")) == ZpOk;
            const QByteArray name = item.name.toUtf8();
            const zip_int64_t idx = zip_name_locate(za, name.constData(), 0);
            if (idx >= 0) {
                if (item.isDir)
                    continue;
                zip_stat_t st;
                zip_stat_init(&st);
                if (zip_stat_index(za, static_cast<zip_uint64_t>(idx), 0, &st) == 0) {
                    const bool newer = ZipDosTime(item.mtime) > ZipDosTime(st.mtime);
                    const bool keep =
                        ((m_opt.fUpdate != 0 || m_opt.fFreshen != 0) && !newer) || sameAsStored(item, st);
                    if (m_abandoned)
                        return fail(ZpErrAborted, QStringLiteral("zip error: Interrupted (aborting)")) ==
                               ZpOk;
                    if (keep) {
                        if (!askService(item.name))
                            return fail(ZpErrAborted, QStringLiteral("zip error: Interrupted (aborting)")) ==
                                   ZpOk;
                        if (m_opt.fVerbose != 0)
                            note(QStringLiteral("unchanged: ") + item.name);
                        continue;
                    }
                }
            } else if (m_opt.fFreshen != 0) {
                continue;
            }
            if (!addSource(za, item, idx))
                return false;
            changed = true;
        }
        return true;
    }

    bool addSource(zip_t* za, const Item& item, zip_int64_t replaceIndex)
    {
        auto ctx = std::make_unique<EntrySource>();
        ctx->run = this;
        ctx->item = &item;
        ctx->replacing = replaceIndex >= 0;
        zip_error_init(&ctx->error);
        zip_source_t* src = zip_source_function(za, sourceCallback, ctx.get());
        if (src == nullptr)
            return fail(ZpErrMemory, QStringLiteral("zip error: Out of memory")) == ZpOk;
        zip_int64_t index = replaceIndex;
        if (replaceIndex >= 0) {
            if (zip_file_replace(za, static_cast<zip_uint64_t>(replaceIndex), src, 0) < 0)
                index = -1;
            else // stale times or attributes of another tool must not outlive the data they described
                zip_file_extra_field_delete(za, static_cast<zip_uint64_t>(index), ZIP_EXTRA_FIELD_ALL,
                                            ZIP_FL_CENTRAL | ZIP_FL_LOCAL);
        } else {
            index = zip_file_add(za, item.name.toUtf8().constData(), src, ZIP_FL_ENC_UTF_8);
        }
        if (index < 0) {
            zip_source_free(src);
            return fail(ZpErrParams, QStringLiteral("zip error: cannot add entry: ") + item.name +
                                         QStringLiteral(" (") + QString::fromUtf8(zip_strerror(za)) + u')') ==
                   ZpOk;
        }
        ctx->index = static_cast<zip_uint64_t>(index);
        ctx->prepacked = !item.isDir && item.size <= kPrepackLimit;
        m_sources.push_back(std::move(ctx));
        const auto i = static_cast<zip_uint64_t>(index);
        zip_set_file_compression(za, i, item.isDir ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                 item.isDir ? 0 : static_cast<zip_uint32_t>(kDeflateLevel));
        zip_file_set_mtime(za, i, item.mtime, 0);
        zip_file_set_external_attributes(za, i, 0, ZIP_OPSYS_UNIX,
                                         item.isDir ? (0040755u << 16) | 0x10u : (0100644u << 16));
        return true;
    }

    bool deleteEntries(zip_t* za, const std::vector<QString>& specs, bool& changed)
    {
        const zip_int64_t n = zip_get_num_entries(za, 0);
        for (const QString& original : specs) {
            const QString pattern = QString(original).replace(u'\\', u'/');
            bool matched = false;
            for (zip_int64_t i = 0; i < n; ++i) {
                const char* raw = zip_get_name(za, static_cast<zip_uint64_t>(i), 0);
                if (raw == nullptr)
                    continue; // deleted already
                const QString name = ZipNames::Utf8Text(raw);
                if (!wildMatch(pattern, name))
                    continue;
                matched = true;
                if (!askService(name))
                    return fail(ZpErrAborted, QStringLiteral("zip error: Interrupted (aborting)")) == ZpOk;
                note(QStringLiteral("deleting: ") + name);
                zip_delete(za, static_cast<zip_uint64_t>(i));
                changed = true;
            }
            if (!matched)
                send(QStringLiteral("zip warning: name not matched: ") + original);
        }
        return true;
    }

    void requestComment(zip_t* za, bool& changed)
    {
        if (m_opt.fComment == 0 || m_cb.Comment == nullptr)
            return;
        std::array<char, 257> buf{};
        if (m_cb.Comment(buf.data()) != 0)
            return;
        const auto len = static_cast<int>(strnlen(buf.data(), 255));
        int oldLen = 0;
        const char* old = zip_get_archive_comment(za, &oldLen, ZIP_FL_ENC_RAW);
        if (old != nullptr && oldLen == len && std::memcmp(old, buf.data(), static_cast<size_t>(len)) == 0)
            return;
        if (old == nullptr && len == 0)
            return;
        zip_set_archive_comment(za, buf.data(), static_cast<zip_uint16_t>(len));
        changed = true;
    }
};

zip_int64_t sourceCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    auto* s = static_cast<EntrySource*>(userdata);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        return s->run->openEntry(*s);
    case ZIP_SOURCE_READ:
        return s->run->readEntry(*s, data, len);
    case ZIP_SOURCE_CLOSE:
        s->file.close();
        if (s->prepacked && s->ready)
            s->run->recycle(std::move(s->packed.data)); // written: reuse the buffer, hold no more
        return 0;
    case ZIP_SOURCE_STAT:
        if (len < sizeof(zip_stat_t)) {
            zip_error_set(&s->error, ZIP_ER_INVAL, 0);
            return -1;
        }
        return s->run->statEntry(*s, static_cast<zip_stat_t*>(data));
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&s->error, data, len);
    case ZIP_SOURCE_FREE:
        return 0; // owned by the run
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
        zip_error_set(&s->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

} // namespace

qint32 ZpInit(const ZpCallbacks* callbacks)
{
    library().callbacks = callbacks ? *callbacks : ZpCallbacks{};
    return 0;
}

qint32 ZpSetOptions(const ZpOptions* options)
{
    Library& lib = library();
    lib.options = options ? *options : ZpOptions{};
    lib.rootDir = QByteArray(lib.options.szRootDir ? lib.options.szRootDir : "");
    lib.reuse = QByteArray(lib.options.szReuse ? lib.options.szReuse : "");
    lib.replace = QByteArray(lib.options.szReplace ? lib.options.szReplace : "");
    lib.options.szDate = lib.options.szRootDir = lib.options.szTempDir = lib.options.szReuse =
        lib.options.szReplace = nullptr;
    return 0;
}

qint32 ZpArchive(qint32 count, const char* zipFile, const char* const* names)
{
    Library& lib = library();
    if (lib.running)
        return ZpErrLogic;
    lib.running = true;
    struct Reset
    {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{lib.running};
    // What was read ahead is for the runs of one archive: the last of them drops the rest.
    struct DropPrefetch
    {
        Library& lib;
        ~DropPrefetch()
        {
            if (lib.options.fHold == 0)
                lib.prefetch.reset();
        }
    } dropPrefetch{lib};
    try {
        Run run(lib);
        const qint32 code = run.exec(count, zipFile, names);
        // With no archive held open the runs that shared the old archive are
        // over: its directory goes, and its file, which would otherwise stay
        // on disk after being replaced, is closed.
        if (!lib.held)
            lib.reuseSource.reset();
        return code;
    } catch (const std::bad_alloc&) {
        return ZpErrMemory;
    }
}

namespace {

// Adds a coming run's specs to the read-ahead, starting it with the first.
void addPrefetchRun(Library& lib, const ZpOptions* options, qint32 count, const char* const* names)
{
    if (options == nullptr || count <= 0 || names == nullptr || options->fLiteral == 0 ||
        options->fRecurse != 0 || options->fDeleteEntries != 0 || options->fUpdate != 0 ||
        options->fFreshen != 0 ||
        (lib.prefetch && lib.prefetch->reuseText != QByteArray(options->szReuse ? options->szReuse : ""))) {
        // A run that cannot be read ahead ends what follows it too: the stream is in run order.
        if (lib.prefetch)
            lib.prefetch->closed = true;
        return;
    }
    const QByteArray base = QByteArray(options->szRootDir ? options->szRootDir : "");
    if (!lib.prefetch) {
        lib.prefetch = std::make_unique<Prefetch>();
        Prefetch& p = *lib.prefetch;
        // Both workers from the start, though the caller is busy too: on a
        // machine whose other core is taken, the process's share of the CPU
        // goes by its threads that can run, and the small files' reading and
        // deflating is most of the build's work.
        p.packer = std::make_unique<Packer>(Prefetch::kRing, Packer::kWorkers);
        p.reuseText = QByteArray(options->szReuse ? options->szReuse : "");
        if (!p.reuseText.isEmpty()) {
            // The files are checked against the old archive as the run checks them.
            // Its directory takes long to read at many entries, and the caller has
            // no turns to give here: it is read beside the caller, and nothing is
            // read ahead before it is. A small one is read at once: a thread
            // would cost more than the reading.
            const QByteArray path = QFile::encodeName(
                QDir::cleanPath(QDir(basePath(base, true)).absoluteFilePath(QString::fromUtf8(p.reuseText))));
            struct stat st = {};
            if (::stat(path.constData(), &st) == 0 && st.st_size <= kReuseReadHere)
                p.reuse = loadReuseSource(path, {});
            else
                p.started =
                    std::async(std::launch::async, [&p, path] { p.reuse = loadReuseSource(path, {}); });
        }
    }
    Prefetch& pre = *lib.prefetch;
    if (pre.closed)
        return;
    auto seg = std::make_unique<Prefetch::Segment>();
    seg->ctx.base = basePath(base, true);
    seg->ctx.baseBytes = QFile::encodeName(seg->ctx.base);
    seg->ctx.junk = options->fJunkDirNames != 0;
    seg->ctx.storeDirs = options->fNoDirEntries == 0 && !seg->ctx.junk;
    NoteReplaced(seg->ctx, QByteArray(options->szReplace ? options->szReplace : ""));
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

} // namespace

void ZpPrefetch(const ZpOptions* options, qint32 count, const char* const* names)
{
    Library& lib = library();
    if (lib.running)
        return;
    lib.prefetch.reset();
    addPrefetchRun(lib, options, count, names);
}

void ZpPrefetchAlso(const ZpOptions* options, qint32 count, const char* const* names)
{
    Library& lib = library();
    if (!lib.running && lib.prefetch)
        addPrefetchRun(lib, options, count, names);
}

void ZpPrefetchTurn()
{
    Library& lib = library();
    if (!lib.running && lib.prefetch)
        lib.prefetch->feed();
}

void ZpDiscardHeld()
{
    Library& lib = library();
    if (lib.running)
        return;
    lib.reuseSource.reset();
    lib.prefetch.reset();
    if (!lib.held)
        return;
    lib.held->writer.remove();
    lib.held.reset();
}

void ZpForgetStatCache()
{
    Library& lib = library();
    if (!lib.savedCache.isEmpty())
        QFile::remove(lib.savedCache);
    lib.savedCache.clear();
}

quint64 ZpFilesRead()
{
    return g_filesRead.load();
}

void ZpSetSettleClockAhead(qint64 seconds)
{
    g_settleClockAhead.store(seconds);
}

bool ZpListEntries(const QString& zipFile, QStringList& names, const std::function<void()>& turn)
{
    // Read here rather than through libzip: its open reads the whole
    // directory in one call, with no turn for the caller, and holds far
    // more per entry than a name.
    names.clear();
    const Fd fd(::open(QFile::encodeName(zipFile).constData(), O_RDONLY | O_CLOEXEC));
    QByteArray comment;
    const bool ok =
        fd.get() >= 0 && ForEachZipEntry(fd.get(), comment, [&](const char*, QByteArrayView name) {
            if (turn)
                turn();
            names << ZipNames::Utf8Text(name);
        });
    if (!ok)
        names.clear();
    return ok;
}
