#include "zip/AppendRun.h"

#include "zip/FileSettling.h"
#include "zip/Packer.h"
#include "zip/ReuseSource.h"
#include "zip/RunLimits.h"
#include "zip/RunState.h"
#include "zip/SpecPlanner.h"
#include "zip/ZipNames.h"
#include "zip/ZipWriter.h"

#include <QDir>
#include <QFile>
#include <array>
#include <cstring>

AppendRun::AppendRun(RunState& run, SpecPlanner& plan, qint32 count, const char* const* names)
    : m_run(run), m_plan(plan), m_count(count), m_names(names), m_direct(run.literal() && !run.recurse())
{
}

AppendRun::~AppendRun() = default;

// The specs planned here, unless the workers are to find out what each is.
bool AppendRun::planAll(bool& anySpec)
{
    anySpec = false;
    for (qint32 i = 0; i < m_count; ++i) {
        if (m_names[i] == nullptr || *m_names[i] == '\0')
            continue;
        anySpec = true;
        if (m_direct)
            continue;
        if (!m_run.idle()) {
            m_run.aborted();
            return false;
        }
        if (!m_plan.planSpec(ZipNames::Utf8Text(m_names[i])))
            return false;
    }
    return true;
}

QByteArray AppendRun::askComment(bool& given) const
{
    given = false;
    if (m_run.opt.fComment == 0 || m_run.cb.Comment == nullptr)
        return {};
    std::array<char, 257> buf{};
    given = m_run.cb.Comment(buf.data()) == 0;
    return given ? QByteArray(buf.data(), qsizetype(strnlen(buf.data(), 255))) : QByteArray();
}

qint32 AppendRun::exec()
{
    ZipSession& session = m_run.session;
    const bool continuing = session.held != nullptr;
    bool anySpec = false;
    if (!planAll(anySpec))
        return m_run.code();
    if (!continuing && (!anySpec || (!m_direct && m_plan.items().empty())))
        return m_run.fail(ZipFailure::NothingToDo, m_run.zipPath);

    bool commentGiven = false;
    const QByteArray comment = askComment(commentGiven);
    if (!continuing) {
        auto h = std::make_unique<HeldArchive>();
        if (!h->writer.create(m_run.zipPath))
            return m_run.fail(ZipFailure::CannotCreate, m_run.zipPath);
        session.held = std::move(h);
    }
    HeldArchive& held = *session.held;
    ZipWriter& w = held.writer;
    w.beginRun();
    held.runStart = held.made.mark();
    if (m_direct)
        w.reserve(quint32(m_count));
    const qint32 code = writeEntries(w, commentGiven ? comment : held.comment);
    if (code == ZpOk && !continuing && w.directory().size() == 0)
        m_run.fail(ZipFailure::NothingToDo, m_run.zipPath);
    if (m_run.code() == ZpOk) {
        if (commentGiven)
            held.comment = comment;
        if (m_run.opt.fHold != 0 ? w.flush() : m_run.finishHeld())
            return ZpOk;
        m_run.fail(ZipFailure::CannotWrite, m_run.zipPath);
        if (!session.held)
            return m_run.code();
    }
    // All or nothing: the archive goes back to what the earlier runs made
    // of it, or away when this run made it.
    held.made.rollback(held.runStart);
    if (!continuing || !w.rollbackRun()) {
        w.remove();
        session.held.reset();
    } else if (m_run.opt.fHold == 0) {
        m_run.finishHeld(false);
    } else {
        w.flush();
    }
    return m_run.code();
}

void AppendRun::setUpContext(const ZipWriter& w)
{
    m_ctx.base = m_run.base;
    m_ctx.baseBytes = QFile::encodeName(m_run.base);
    m_ctx.junk = m_run.junkNames();
    m_ctx.storeDirs = m_run.storeDirs();
    FileIO::Status self;
    if (w.isOpen() && FileIO::statusOf(QFile::encodeName(m_run.zipPath).constData(), self)) {
        m_ctx.archiveDev = self.device;
        m_ctx.archiveIno = self.inode;
    }
    m_ctx.noteReplaced(m_run.session.replace);
    m_ctx.counters = &m_run.session.counters;
}

// The archive a file's unchanged data may be copied from, when it is one
// this writer made with the same comment: only then is a copy the same as
// deflating afresh.
const ReuseSource* AppendRun::reuseSource(const QByteArray& comment)
{
    ZipSession& session = m_run.session;
    if (session.reuse.isEmpty())
        return nullptr;
    const QByteArray path = QFile::encodeName(
        QDir::cleanPath(QDir(m_run.base).absoluteFilePath(QString::fromUtf8(session.reuse))));
    FileIO::Status st;
    if (!FileIO::statusOf(path.constData(), st))
        return nullptr;
    std::shared_ptr<ReuseSource>& src = session.reuseSource;
    if (!src || !src->stillIs(path, st)) {
        src.reset();
        src = ReuseSource::load(path, [this] { m_run.idle(); });
        if (!src)
            return nullptr;
    }
    return src->comment() == comment ? src.get() : nullptr;
}

// Waits for a read-ahead still reading the old archive; the archive it
// read is the one runs copy from while it is still the same file. False
// when the run was stopped meanwhile.
bool AppendRun::awaitPrefetch()
{
    ZipSession& session = m_run.session;
    if (!session.prefetch)
        return true;
    if (session.prefetch->started.valid()) {
        while (session.prefetch->started.wait_for(std::chrono::milliseconds(kWaitTickMs)) !=
               std::future_status::ready)
            if (!m_run.idle())
                return false;
        session.prefetch->settle(true);
    }
    // Taken over once, whoever saw the reading end: the read-ahead's results
    // fit a run only when both check against this very archive.
    if (session.prefetch->reuse && !session.prefetch->adopted) {
        session.reuseSource = session.prefetch->reuse;
        session.prefetch->adopted = true;
    }
    return true;
}

// The next job in run order, with the origin its entry is written with.
bool AppendRun::next(EntryJob& job, qint32& origin)
{
    job = EntryJob{};
    job.ctx = &m_ctx;
    if (m_direct) {
        while (m_spec < m_count && (m_names[m_spec] == nullptr || *m_names[m_spec] == '\0'))
            ++m_spec;
        if (m_spec >= m_count)
            return false;
        job.spec = m_names[m_spec];
        origin = m_spec++;
        return true;
    }
    const std::vector<Item>& items = m_plan.items();
    if (m_item >= items.size())
        return false;
    const Item& it = items[m_item];
    job.path = it.path;
    job.name = it.name;
    job.isDir = it.isDir;
    job.expected = it.isDir ? -1 : it.size;
    job.mtime = it.mtime;
    origin = m_count + qint32(m_item++);
    return true;
}

// The jobs read ahead become this run's as far as its specs are the
// segment's, in the same order; from where they part, what was read is dropped.
void AppendRun::takeOverPrefetch()
{
    m_seg = m_pre->segments[m_pre->current].get();
    m_packer = std::move(m_pre->packer);
    Packer& packer = *m_packer;
    packer.addWorkers(Packer::kWorkers);
    m_place = m_seg->first;
    quint64 at = m_seg->first;
    const quint64 submitted = packer.submitted();
    while (at < submitted && at < m_seg->end()) {
        if (!next(m_job, m_origin)) {
            m_listed = true;
            break;
        }
        if (std::strcmp(m_job.spec, m_seg->spec(at)) != 0) {
            m_pending = true;
            break;
        }
        if (at < packer.taken())
            m_pre->held[size_t(at - m_pre->heldFrom)].origin = m_origin;
        else
            packer.setOrigin(at, m_origin);
        ++at;
    }
    // The run goes on where the stream does only while its specs are the segment's.
    m_intact = !m_listed && !m_pending;
    if (m_intact && at == m_seg->end()) {
        if (next(m_job, m_origin))
            m_intact = false, m_pending = true;
        else
            m_listed = true;
    }
    if (!m_intact) {
        if (at < packer.taken())
            m_pre->held.resize(size_t(at - m_pre->heldFrom));
        packer.abandonFrom(std::max(at, packer.taken()));
    }
}

// Hands the workers more jobs, a batch at a time, so they are woken at
// most once per batch.
void AppendRun::submitMore()
{
    Packer* packer = m_packer.get();
    if (m_listed ||
        (packer && packer->inFlight() + kRefillBatch > packer->capacity() && packer->inFlight() != 0))
        return;
    while ((!packer || packer->hasRoom()) && (m_pending || !(m_listed = !next(m_job, m_origin)))) {
        if (!packer) {
            m_packer = std::make_unique<Packer>();
            packer = m_packer.get();
        }
        // A spec of its own parts the run from the stream.
        if (m_intact && (packer->submitted() >= m_seg->end() ||
                         std::strcmp(m_job.spec, m_seg->spec(packer->submitted())) != 0))
            m_intact = false;
        packer->submit(std::move(m_job), m_origin);
        m_pending = false;
    }
    if (packer)
        packer->publish();
    // A list that ends before the segment does parts from the stream as well.
    if (m_intact && m_listed && packer->submitted() < m_seg->end())
        m_intact = false;
}

// The next prepared entry in run order: held lean by the read-ahead, or
// from the ring. False when the run was stopped while waiting.
bool AppendRun::takeNext(Packed& p, qint32& origin)
{
    if (m_pre && !m_pre->held.empty()) {
        Prefetch::Held h = std::move(m_pre->held.front());
        m_pre->held.pop_front();
        ++m_pre->heldFrom;
        m_pre->heldBytes -= Prefetch::cost(h);
        origin = h.origin;
        p = Prefetch::unpack(std::move(h));
    } else {
        while (!m_packer->awaitOldest(std::chrono::milliseconds(kWaitTickMs)))
            if (!m_run.idle())
                return false;
        p = m_packer->takeOldest(&origin);
        if (m_pre)
            m_pre->heldFrom = m_place + 1; // nothing held lean is left before the ring
    }
    ++m_place;
    return true;
}

qint32 AppendRun::writeEntries(ZipWriter& w, const QByteArray& comment)
{
    setUpContext(w);
    if (!awaitPrefetch())
        return m_run.aborted();
    m_ctx.reuse = reuseSource(comment);
    // Files read ahead for this run, when they were read as this run reads them
    // (checked against the same old archive, or none).
    ZipSession& session = m_run.session;
    if (session.prefetch && m_direct && session.prefetch->fits(m_ctx))
        m_pre = std::move(session.prefetch);
    // Workers still busy with jobs read ahead must be gone before the context is.
    struct StopWorkers
    {
        AppendRun& run;
        ~StopWorkers()
        {
            run.m_packer.reset();
            run.m_pre.reset();
        }
    } stopWorkers{*this};
    if (m_pre)
        takeOverPrefetch();
    for (;;) {
        submitMore();
        if (m_intact ? (m_listed && m_place == m_seg->end())
                     : (!m_packer || (m_packer->inFlight() == 0 && (!m_pre || m_pre->held.empty()))))
            break;
        Packed p;
        qint32 doneOrigin = 0; // m_origin stays with a job still to submit
        if (!takeNext(p, doneOrigin))
            return m_run.aborted();
        const qint64 budget = p.budget;
        bool ok = true;
        if (doneOrigin >= 0) {
            // A file read before this run began may be the archive it writes.
            if (m_pre && isArchive(p))
                p.kind = Packed::Skip;
            ok = writeEntry(w, p, doneOrigin);
        }
        m_packer->release(budget);
        if (!ok) {
            if (m_run.code() != ZpOk)
                return m_run.code();
            ZipFailure why = ZipFailure::at(w.error() == FileIO::noSpaceError() ? ZipFailure::DiskFull
                                                                                : ZipFailure::CannotWrite,
                                            m_run.zipPath);
            why.detail = FileIO::errorText(w.error());
            return m_run.fail(std::move(why));
        }
        if (!m_run.idle())
            return m_run.aborted();
    }
    // What was read ahead for the later runs waits for them, and the
    // workers go on with it meanwhile.
    if (m_intact && m_pre->current + 1 < m_pre->segments.size()) {
        ++m_pre->current;
        m_pre->packer = std::move(m_packer);
        m_pre->feed();
        session.prefetch = std::move(m_pre);
    }
    return ZpOk;
}

QString AppendRun::pathOfOrigin(qint32 origin) const
{
    if (origin >= m_count)
        return m_plan.items()[size_t(origin - m_count)].path;
    const QString spec = ZipNames::Utf8Text(m_names[origin]);
    return QDir::cleanPath(QDir::isAbsolutePath(spec) ? spec : m_run.base + u'/' + spec);
}

bool AppendRun::isArchive(const Packed& p) const
{
    if (m_ctx.archiveIno == 0)
        return false;
    if (p.kind == Packed::Small || p.kind == Packed::Large)
        return p.dev == m_ctx.archiveDev && p.ino == m_ctx.archiveIno;
    FileIO::Status st;
    return p.kind == Packed::Failed && p.failure.code() == ZpErrOpen &&
           FileIO::statusOf(QFile::encodeName(p.path).constData(), st) && m_ctx.isArchive(st);
}

// False when the run must fail: with its failure set, or on a write error.
bool AppendRun::writeEntry(ZipWriter& w, Packed& p, qint32 origin)
{
    if (p.kind == Packed::Failed) {
        m_run.fail(p.failure.failed() ? p.failure : ZipFailure::at(ZipFailure::CannotRead, p.path));
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
            const QString earlier = pathOfOrigin(r.origin);
            // A result held lean for a later run keeps no path: its spec gives it.
            const QString path = p.path.isEmpty() ? pathOfOrigin(origin) : p.path;
            if (earlier.compare(path, kPathCase) == 0)
                return true;
            m_run.fail(ZipFailure::repeated(ZipNames::Utf8Text(p.name), earlier, path));
            return false;
        }
    }
    if (!m_run.askService(QByteArrayView(p.name))) {
        m_run.aborted();
        return false;
    }
    if (!p.note.isEmpty())
        m_run.send(p.note);
    m_run.noteEntry(replacing, p.name);
    bool ok = false;
    if (p.kind == Packed::Dir) {
        ok = w.writeEntry(p.name, p.dosTime, true, 0, 0, {}, origin);
    } else if (p.kind == Packed::Small) {
        ok = w.writeEntry(p.name, p.dosTime, false, p.crc, quint64(p.size), p.data, origin, p.stored);
        m_packer->recycle(std::move(p.data));
        p.data = QByteArray();
    } else if (p.kind == Packed::Copy) {
        ok = copyReused(w, p, origin);
    } else {
        ok = writeLarge(w, p, origin);
    }
    if (ok && replacing)
        w.supersede(prev);
    if (ok && p.kind != Packed::Dir)
        remember(w, p);
    return ok;
}

// What the next build over this archive may take on trust: the entry just
// written and the file's stat, when the file had settled before it was read.
void AppendRun::remember(const ZipWriter& w, const Packed& p)
{
    const ZipDirectory& dir = w.directory();
    if (m_run.session.held && p.settled && dir.size() > 0)
        m_run.session.held->made.note(p.name, dir.at(dir.size() - 1),
                                      CacheEntryOf(p.stamp, p.dev, p.ino, p.dataCrc));
}

// An unchanged file's entry, header and data, from the reuse archive. The
// writer joins it to the copy of the entries before it when they lay side
// by side there; what has gathered is copied a slice at a time, so the
// window keeps its turns and a cancel is heard within a large entry too.
bool AppendRun::copyReused(ZipWriter& w, const Packed& p, qint32 origin)
{
    if (!w.copyEntry(p.name, *p.reuse, m_ctx.reuse->fd(), origin))
        return false;
    while (w.pendingCopy() >= quint64(kCopySlice)) {
        if (!w.copyPending(quint64(kCopySlice)))
            return false;
        if (!m_run.idle()) {
            m_run.aborted();
            return false;
        }
    }
    return true;
}

bool AppendRun::writeLarge(ZipWriter& w, Packed& p, qint32 origin)
{
    if (!w.beginStream(p.name, p.dosTime, quint64(p.size), origin))
        return false;
    // Whether the file is stored or deflated is known only at its end. The
    // first piece's outcome is the guess, so that random data goes out
    // once, as it is read; a wrong guess costs another pass.
    bool raw = false;
    DeflateResult r;
    if (!deflatePass(w, p, true, raw, r))
        return false;
    const bool stored = r.outSize >= r.inSize;
    FileIO::Status now;
    if (!FileIO::statusOf(p.fd.get(), now) || !now.sameStamp(p.stamp))
        return failRead(ZipFailure::ChangedWhileRead, p.path);
    if (stored == raw)
        return w.endStream(r.crc, quint64(stored ? r.inSize : r.outSize), quint64(r.inSize), stored);
    if (!w.rewindStream())
        return false;
    if (stored) {
        p.dataCrc = r.crc;
        return writeStoredCopy(w, p, r.crc, r.inSize);
    }
    DeflateResult again;
    if (!FileIO::rewind(p.fd.get()))
        return failRead(ZipFailure::CannotRead, p.path);
    if (!deflatePass(w, p, false, raw, again))
        return false;
    if (again.crc != r.crc || again.outSize != r.outSize)
        return failRead(ZipFailure::ChangedWhileRead, p.path);
    return w.endStream(r.crc, quint64(r.outSize), quint64(r.inSize));
}

// Deflates the file from where it stands into the stream begun: the
// deflated bytes, or with guess the bytes read when the first piece
// would not shrink (raw tells which).
bool AppendRun::deflatePass(ZipWriter& w, Packed& p, bool guess, bool& raw, DeflateResult& r)
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
        [this] { return m_run.idle(); });
    p.dataCrc = raw ? r.crc : r.outCrc;
    switch (r.failure) {
    case DeflateResult::None:
        return true;
    case DeflateResult::ReadFailed:
        return failRead(ZipFailure::CannotRead, p.path);
    case DeflateResult::Changed:
        return failRead(ZipFailure::ChangedWhileRead, p.path);
    case DeflateResult::Abandoned:
        if (!writeFailed)
            m_run.aborted();
        return false;
    }
    return false;
}

// The file's bytes once more, in place of a deflated stream that came out
// no smaller; they must be the very bytes that were deflated.
bool AppendRun::writeStoredCopy(ZipWriter& w, Packed& p, quint32 crc, qint64 size)
{
    const FileIO::Handle fd = std::move(p.fd);
    QByteArray buf(1 << 20, Qt::Uninitialized);
    quint32 copied = 0;
    for (qint64 done = 0;;) {
        // One byte more than is left, so a file that grew shows.
        const qint64 n =
            FileIO::readAt(fd.get(), buf.data(), qMin<qint64>(buf.size(), size - done + 1), quint64(done));
        if (n < 0)
            return failRead(ZipFailure::CannotRead, p.path);
        if (n == 0 || done + n > size) {
            if (done == size && n == 0 && copied == crc)
                break;
            return failRead(ZipFailure::ChangedWhileRead, p.path);
        }
        copied = Crc32(copied, buf.constData(), n);
        if (!w.append(buf.constData(), n))
            return false;
        done += n;
        if (!m_run.idle()) {
            m_run.aborted();
            return false;
        }
    }
    return w.endStream(crc, quint64(size), quint64(size), true);
}

bool AppendRun::failRead(ZipFailure::Kind kind, const QString& path)
{
    m_run.fail(kind, path);
    return false;
}
