#include "platform/ZipLibrary.h"

#include "platform/ZipNames.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QString>
#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>
#include <zip.h>
#include <zlib.h>

namespace {

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

constexpr int kDeflateLevel = 6; // zip's own default, so archives compare fairly with it
// Often enough that the window never goes a tenth of a second without a turn,
// even across the gaps no source callback fills; a turn with nothing to do is cheap.
constexpr qint64 kIdleIntervalMs = 20;
// Files up to this size are read and deflated on worker threads, a few ahead
// of the one libzip is writing, and handed to libzip already compressed;
// larger ones are streamed through libzip's own deflate, so memory stays bounded.
constexpr qint64 kPrepackLimit = 4 * 1024 * 1024;
// How far the workers may run ahead of the writing: small files need many
// in flight to keep both cores busy, while the bytes held stay bounded.
constexpr size_t kPrepackAheadFiles = 64;
constexpr qint64 kPrepackAheadBytes = 16 * 1024 * 1024;

struct Library
{
    ZpCallbacks callbacks;
    ZpOptions options;
    // The texts of the option record, copied: the caller's pointers need not outlive ZpSetOptions.
    QByteArray rootDir;
    QByteArray reuse;
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
    return static_cast<quint32>(
        crc32_z(crc, reinterpret_cast<const Bytef*>(data), static_cast<z_size_t>(size)));
}

// The time as a zip entry holds it (local time, two-second steps); equal
// values mean "same time" for the purpose of keeping an entry.
quint32 dosTime(time_t t)
{
    const QDateTime dt = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t));
    const QDate d = dt.date();
    const QTime tm = dt.time();
    if (d.year() < 1980)
        return (1u << 21) | (1u << 16);
    return (quint32(d.year() - 1980) << 25) | (quint32(d.month()) << 21) | (quint32(d.day()) << 16) |
           (quint32(tm.hour()) << 11) | (quint32(tm.minute()) << 5) | (quint32(tm.second()) >> 1);
}

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

// One file read and deflated (raw deflate, as a zip entry holds it) off the main thread.
struct Packed
{
    QByteArray data;
    quint32 crc = 0;
    qint64 size = 0;
    bool ok = false;
    bool readable = false;
    bool changed = false; // the file's size differs from the one it was listed with
};

// Two long-lived workers that read and deflate files in submission order.
// Each keeps its deflate state and input buffer, and output buffers come back
// for reuse once written: allocating them afresh per file costs more than deflate.
class Packer
{
public:
    Packer()
    {
        const unsigned n = qBound(1u, std::thread::hardware_concurrency(), 2u);
        for (unsigned i = 0; i < n; ++i)
            m_threads.emplace_back([this] { work(); });
    }
    ~Packer()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }
    Packer(const Packer&) = delete;
    Packer& operator=(const Packer&) = delete;

    std::future<Packed> submit(const QString& path, qint64 expectedSize)
    {
        std::promise<Packed> promise;
        std::future<Packed> future = promise.get_future();
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_jobs.push_back(Job{path, expectedSize, std::move(promise)});
        }
        m_wake.notify_one();
        return future;
    }
    void recycle(QByteArray&& buffer)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_spare.size() < 8)
            m_spare.push_back(std::move(buffer));
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    struct Job
    {
        QString path;
        qint64 expectedSize = 0;
        std::promise<Packed> promise;
    };
    std::deque<Job> m_jobs;
    std::vector<QByteArray> m_spare;
    std::vector<std::thread> m_threads;
    bool m_stop = false;

    QByteArray takeBuffer()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_spare.empty())
            return QByteArray();
        QByteArray b = std::move(m_spare.back());
        m_spare.pop_back();
        return b;
    }

    void work()
    {
        z_stream zs{};
        const bool zok =
            deflateInit2(&zs, kDeflateLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        QByteArray in;
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
                if (m_stop)
                    break;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            Packed p;
            try {
                if (zok)
                    pack(job.path, job.expectedSize, zs, in, p);
            } catch (...) {
                p.ok = false;
            }
            job.promise.set_value(std::move(p));
        }
        if (zok)
            deflateEnd(&zs);
    }

    void pack(const QString& path, qint64 expected, z_stream& zs, QByteArray& in, Packed& p)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return;
        p.readable = true;
        // One byte more than expected tells a file that grew since it was listed.
        in.resize(static_cast<qsizetype>(expected + 1));
        qint64 got = 0;
        for (;;) {
            if (got == in.size())
                in.resize(in.size() * 2);
            const qint64 n = f.read(in.data() + got, in.size() - got);
            if (n < 0)
                return;
            if (n == 0)
                break;
            got += n;
        }
        p.size = got;
        // A file written to while it is read would be stored torn: half old, half new.
        if (got != expected) {
            p.changed = true;
            return;
        }
        p.crc = static_cast<quint32>(
            crc32_z(0, reinterpret_cast<const Bytef*>(in.constData()), static_cast<z_size_t>(got)));
        if (deflateReset(&zs) != Z_OK)
            return;
        p.data = takeBuffer();
        p.data.resize(static_cast<qsizetype>(deflateBound(&zs, static_cast<uLong>(got))));
        zs.next_in = reinterpret_cast<Bytef*>(in.data());
        zs.avail_in = static_cast<uInt>(got);
        zs.next_out = reinterpret_cast<Bytef*>(p.data.data());
        zs.avail_out = static_cast<uInt>(p.data.size());
        const int rc = deflate(&zs, Z_FINISH);
        p.data.resize(static_cast<qsizetype>(zs.total_out));
        p.ok = rc == Z_STREAM_END;
    }
};

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
    std::future<Packed> job;
    Packed packed;
    qsizetype offset = 0;
    size_t writePos = 0;
    qint64 got = 0; // bytes streamed so far (files too large to prepack)
};

zip_int64_t sourceCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd);

class Run
{
public:
    explicit Run(Library& lib) : m_cb(lib.callbacks), m_opt(lib.options), m_idleClock(lib.idleClock)
    {
        if (!m_idleClock.isValid())
            m_idleClock.start();
        QString root = QString::fromUtf8(lib.rootDir).trimmed();
        if (!literal())
            root.replace(u'\\', u'/');
        m_base =
            QDir::cleanPath(root.isEmpty() ? QDir::currentPath() : QDir::current().absoluteFilePath(root));
    }

    qint32 exec(qint32 count, const char* zipFile, const char* const* names)
    {
        if (count < 0 || zipFile == nullptr || *zipFile == '\0' || (count > 0 && names == nullptr))
            return fail(ZpErrParams, QStringLiteral("zip error: Invalid command arguments"));
        QString zipText = QString::fromUtf8(zipFile);
        if (!literal())
            zipText.replace(u'\\', u'/');
        m_zipPath = QDir::cleanPath(QDir(m_base).absoluteFilePath(zipText));
        const QFileInfo zipInfo(m_zipPath);
        m_zipCanonical = zipInfo.canonicalFilePath();
        const bool exists = zipInfo.exists();
        if (exists && !zipInfo.isFile())
            return fail(ZpErrCreate, QStringLiteral("zip error: not a file: ") + m_zipPath);

        std::vector<QString> specs;
        for (qint32 i = 0; i < count; ++i) {
            const QString spec = QString::fromUtf8(names[i] ? names[i] : "");
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

    void startJob(EntrySource& s)
    {
        if (s.prepacked && !s.started) {
            s.started = true;
            if (!m_packer)
                m_packer = std::make_unique<Packer>();
            s.job = m_packer->submit(s.item->path, s.item->size);
        }
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
                startJob(next);
            }
            while (s.job.wait_for(std::chrono::milliseconds(kIdleIntervalMs)) != std::future_status::ready)
                if (!idle())
                    return false;
            s.packed = s.job.get();
            s.ready = true;
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

    bool askService(const QString& name)
    {
        if (m_cb.Service != nullptr) {
            const QByteArray bytes = name.toUtf8();
            if (m_cb.Service(bytes.constData(), static_cast<qint32>(bytes.size())) == 1)
                m_abandoned = true;
        }
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
        if (st.size != static_cast<zip_uint64_t>(item.size) || dosTime(st.mtime) != dosTime(item.mtime))
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
                    const bool newer = dosTime(item.mtime) > dosTime(st.mtime);
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
                const QString name = QString::fromUtf8(raw);
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
    lib.options.szDate = lib.options.szRootDir = lib.options.szTempDir = lib.options.szReuse = nullptr;
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
    try {
        Run run(lib);
        return run.exec(count, zipFile, names);
    } catch (const std::bad_alloc&) {
        return ZpErrMemory;
    }
}

bool ZpListEntries(const QString& zipFile, QStringList& names, const std::function<void()>& turn)
{
    names.clear();
    int err = 0;
    zip_t* za = zip_open(QFile::encodeName(zipFile).constData(), ZIP_RDONLY, &err);
    if (za == nullptr)
        return false;
    const zip_int64_t n = zip_get_num_entries(za, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        if (turn)
            turn();
        const char* raw = zip_get_name(za, static_cast<zip_uint64_t>(i), 0);
        if (raw != nullptr)
            names << QString::fromUtf8(raw);
    }
    zip_discard(za);
    return true;
}
