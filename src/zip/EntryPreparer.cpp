#include "zip/EntryPreparer.h"

#include "zip/Deflater.h"
#include "zip/FileSettling.h"
#include "zip/ReuseSource.h"
#include "zip/RunLimits.h"
#include "zip/ZipFormat.h"
#include "zip/ZipNames.h"

#include <QDir>
#include <QFile>
#include <cctype>
#include <cstring>

void EntryContext::noteReplaced(const QByteArray& path)
{
    FileIO::Status st;
    if (!path.isEmpty() && FileIO::statusOf(path.constData(), st)) {
        replacedDev = st.device;
        replacedIno = st.inode;
    }
}

namespace {

// What the caller gave, for the messages.
QString given(const EntryJob& job)
{
    return job.spec ? ZipNames::Utf8Text(job.spec) : job.path;
}

// The file's path as text: a plain spec's is made only for a message, or
// for the writer of a large file.
const QString& pathOf(const EntryJob& job, Packed& p)
{
    if (p.path.isEmpty() && job.spec)
        p.path = ZipNames::Utf8Text(job.spec);
    return p.path;
}

// Reads fd to its end into in; false on a read error. One byte more than
// expected is asked for, so a file that grew since it was listed shows.
bool readAll(int fd, qint64 expected, QByteArray& in, qint64& got, int* calls = nullptr)
{
    in.resize(static_cast<qsizetype>(expected + 1));
    got = 0;
    for (;;) {
        if (got == in.size())
            in.resize(in.size() * 2);
        if (calls != nullptr)
            ++*calls;
        const qint64 n = FileIO::read(fd, in.data() + got, in.size() - got);
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

bool deflateInto(PrepareHost& host, Deflater& deflater, const QByteArray& in, qint64 size, Packed& p)
{
    p.data = host.takeBuffer();
    return deflater.deflate(in.constData(), size, p.data);
}

// The old entry i may be copied as it stands; damaged data is noted, and
// the file packed afresh.
bool copyable(const EntryContext& ctx, quint32 i, quint32 crc, Packed& p)
{
    bool damaged = false;
    if (ctx.reuse->copyable(i, crc, p.dataCrc, damaged)) {
        p.reuse = &ctx.reuse->directory().at(i);
        return true;
    }
    if (damaged)
        p.note = QStringLiteral("zip warning: damaged in the old archive, packed afresh: ") +
                 ZipNames::Utf8Text(p.name);
    return false;
}

// The reuse archive's entry of this name, size and time: then only the CRC
// is left to compare. kNone when there is nothing to copy from.
quint32 candidate(const EntryContext& ctx, const Packed& p, qint64 size)
{
    return ctx.reuse == nullptr ? ZipDirectory::kNone : ctx.reuse->candidate(p.name, size, p.dosTime);
}

bool vouched(const EntryContext& ctx, quint32 i, Packed& p)
{
    if (!ctx.reuse->vouched(i, CacheEntryOf(p.stamp, p.dev, p.ino), p.dataCrc))
        return false;
    const ZipDirectory::Record& rec = ctx.reuse->directory().at(i);
    p.crc = rec.crc;
    p.reuse = &rec;
    return true;
}

// A file whose name is known before it is opened, and which the old
// archive's cache vouches for, costs one stat: it is neither opened nor
// read. Anything unusual about it is left to the full path, which says
// what is wrong.
bool copiedUnread(const EntryJob& job, QByteArrayView plain, const char* at, Packed& p)
{
    const EntryContext& ctx = *job.ctx;
    if (ctx.reuse == nullptr || !ctx.reuse->hasStatCache())
        return false;
    QByteArray name = plain.isNull() ? job.name.toUtf8() : plain.toByteArray();
    FileIO::Status st;
    if (!ctx.reuse->cachedName(name) || !FileIO::statusOf(at, st) || !st.regular ||
        (!job.spec && job.isDir) || ctx.isArchive(st) ||
        (st.device == ctx.replacedDev && st.inode == ctx.replacedIno) ||
        (job.expected >= 0 && job.expected != st.size))
        return false;
    p.name = std::move(name);
    p.dev = st.device;
    p.ino = st.inode;
    p.dosTime = ZipDosTime(job.spec ? time_t(st.mtimeSeconds()) : job.mtime);
    p.size = st.size;
    p.stamp = st;
    const quint32 old = candidate(ctx, p, p.size);
    if (old == ZipDirectory::kNone || !vouched(ctx, old, p))
        return false;
    p.settled = true;
    p.kind = Packed::Copy;
    return true;
}

// A large file is left open for the writer to deflate as it writes; when
// the old archive has an entry that may be it, one read of the file tells.
void prepareLarge(const EntryJob& job, PrepareHost& host, FileIO::Handle fd, quint32 old, QByteArray& in,
                  Packed& p)
{
    const EntryContext& ctx = *job.ctx;
    p.kind = Packed::Large;
    // Counted as a small file's most, so the files held open stay few
    // however many are in flight.
    host.acquire(job.seq, kPrepackLimit);
    p.budget = kPrepackLimit;
    if (old != ZipDirectory::kNone) {
        // Checking costs one read of the file; deflating it again costs far more.
        in.resize(1 << 20);
        quint32 crc = 0;
        qint64 got = 0;
        for (;;) {
            const qint64 n = FileIO::read(fd.get(), in.data(), in.size());
            if (n <= 0)
                break;
            crc = Crc32(crc, in.constData(), n);
            got += n;
        }
        in = QByteArray();
        FileIO::Status now;
        if (got == p.size && FileIO::statusOf(fd.get(), now) && now.sameStamp(p.stamp) &&
            copyable(ctx, old, crc, p)) {
            p.kind = Packed::Copy;
            p.crc = crc;
            return;
        }
        if (!FileIO::rewind(fd.get()))
            return p.fail(ZipFailure::at(ZipFailure::CannotRead, pathOf(job, p)));
    }
    pathOf(job, p); // the writer's messages name it
    p.fd = std::move(fd);
}

// A small file is read whole and deflated here, unless the old archive
// holds the same bytes.
void prepareSmall(const EntryJob& job, PrepareHost& host, Deflater& zs, const FileIO::Handle& fd, quint32 old,
                  QByteArray& in, Packed& p)
{
    const qint64 expected = p.size;
    host.acquire(job.seq, expected);
    p.budget = expected;
    qint64 got = 0;
    // A file written to while it is read would be stored torn: half old,
    // half new. It is read again while it keeps still for one whole read.
    FileIO::Status st = p.stamp;
    for (int attempt = 0;; ++attempt) {
        const FileIO::Status before = st;
        int calls = 0;
        if (!readAll(fd.get(), expected, in, got, &calls))
            return p.fail(ZipFailure::at(ZipFailure::CannotRead, pathOf(job, p)));
        if (got != expected)
            return p.fail(ZipFailure::at(ZipFailure::ChangedWhileRead, pathOf(job, p)));
        // A file that had long stopped changing when it was opened, and
        // came in one read, is not looked at again: a write would have to
        // begin within that one system call to tear it. Anything written
        // lately is checked, which is where writes go on.
        if ((attempt == 0 && p.settled && calls == 1) ||
            (FileIO::statusOf(fd.get(), st) && st.sameStamp(before))) {
            p.stamp = before;
            break;
        }
        if (attempt == 2 || !FileIO::rewind(fd.get()) || st.size != expected)
            return p.fail(ZipFailure::at(ZipFailure::ChangedWhileRead, pathOf(job, p)));
    }
    p.crc = Crc32(0, in.constData(), got);
    if (old != ZipDirectory::kNone && copyable(*job.ctx, old, p.crc, p)) {
        p.kind = Packed::Copy;
        return;
    }
    if (!deflateInto(host, zs, in, got, p))
        return p.fail(ZipFailure::at(ZipFailure::OutOfMemory, QString()));
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

// Names the entry of an open file or folder; false when there is to be no
// entry (p.kind says why).
bool nameEntry(const EntryJob& job, QByteArrayView plain, bool isDir, Packed& p)
{
    const EntryContext& ctx = *job.ctx;
    if (!plain.isNull()) {
        p.name = plain.toByteArray();
        if (isDir)
            p.name += '/';
    } else if (job.spec) {
        // Names start at the base path when the spec lies inside it;
        // otherwise at the spec's own last part, so nothing outside the
        // base leaks into a name.
        const QString root = ZipNames::IsUnder(p.path, ctx.base, kPathCase)
                                 ? ctx.base
                                 : p.path.left(qMax(1, p.path.lastIndexOf(u'/')));
        QString name = ctx.junk ? p.path.mid(p.path.lastIndexOf(u'/') + 1)
                                : ZipNames::RelativeTo(root, p.path, kPathCase);
        if (isDir) {
            if (name.isEmpty()) {
                p.kind = Packed::Skip;
                return false;
            }
            name += u'/';
        }
        const QString problem = ZipNames::EntryNameProblem(name);
        if (!problem.isEmpty()) {
            p.fail(ZipFailure::named(ZipFailure::NameRefused, name, problem));
            return false;
        }
        p.name = name.toUtf8();
    } else {
        p.name = job.name.toUtf8();
        if (job.isDir != isDir) {
            p.fail(ZipFailure::at(ZipFailure::ChangedWhileRead, p.path));
            return false;
        }
    }
    return true;
}

} // namespace

QByteArrayView PlainEntryName(const char* spec, const EntryContext& ctx)
{
    if (kPathCase != Qt::CaseSensitive || ctx.baseBytes.isEmpty() || spec[0] != '/')
        return {};
    const size_t size = std::strlen(spec);
    const auto base = size_t(ctx.baseBytes.size());
    if (!ctx.junk &&
        (size <= base + 1 || spec[base] != '/' || std::memcmp(spec, ctx.baseBytes.constData(), base) != 0))
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
        if (len == 0 || (spec[partStart] == '.' && (len == 1 || (len == 2 && spec[partStart + 1] == '.'))))
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

void PrepareEntry(const EntryJob& job, PrepareHost& host, Deflater& zs, QByteArray& in, Packed& p)
{
    const EntryContext& ctx = *job.ctx;
    const QByteArrayView plain = job.spec ? PlainEntryName(job.spec, ctx) : QByteArrayView();
    QByteArray native;
    if (plain.isNull()) {
        const QString given = job.spec ? ZipNames::Utf8Text(job.spec) : job.path;
        p.path =
            job.spec ? QDir::cleanPath(QDir::isAbsolutePath(given) ? given : ctx.base + u'/' + given) : given;
        native = QFile::encodeName(p.path);
    }
    const char* const at = plain.isNull() ? native.constData() : job.spec;
    if ((!job.spec || !plain.isNull()) && copiedUnread(job, plain, at, p))
        return;
    const qint64 readAt =
        FileClockNow(ctx.counters ? ctx.counters->clockAhead.load(std::memory_order_relaxed) : 0);
    FileIO::Handle fd = FileIO::open(at, FileIO::Mode::ReadNoWait);
    FileIO::Status st;
    if (!fd.isOpen() || !FileIO::statusOf(fd.get(), st)) {
        const int err = FileIO::lastError();
        pathOf(job, p);
        if (job.spec && FileIO::isMissing(err))
            return p.fail(ZipFailure::at(ZipFailure::NotFound, given(job)));
        return p.fail(ZipFailure::at(ZipFailure::CannotOpen, p.path));
    }
    p.dev = st.device;
    p.ino = st.inode;
    p.dosTime = ZipDosTime(job.spec ? time_t(st.mtimeSeconds()) : job.mtime);
    if (job.spec) {
        if (!st.folder && !st.regular) {
            pathOf(job, p);
            return p.fail(ZipFailure::at(ZipFailure::NotRegular, given(job)));
        }
        if (st.folder && (!ctx.storeDirs || FileIO::isLink(at))) {
            p.kind = Packed::Skip;
            return;
        }
    }
    if (!nameEntry(job, plain, st.folder, p))
        return;
    if (st.folder) {
        p.kind = Packed::Dir;
        return;
    }
    // Never put the archive into itself (it may lie inside a folder being walked).
    if (ctx.isArchive(st)) {
        p.kind = Packed::Skip;
        return;
    }
    // Nor the one it replaces, by whatever link or other name it is reached:
    // that would put the old pack inside the new one.
    if (ctx.isReplaced(st))
        return p.fail(ZipFailure::at(ZipFailure::ReplacedAmongFiles, pathOf(job, p)));
    p.size = job.expected >= 0 ? job.expected : st.size;
    const quint32 old = candidate(ctx, p, p.size);
    p.stamp = st;
    p.settled = Settled(p.stamp, readAt);
    if (old != ZipDirectory::kNone && vouched(ctx, old, p)) {
        p.kind = Packed::Copy;
        return;
    }
    if (ctx.counters)
        ctx.counters->filesRead.fetch_add(1, std::memory_order_relaxed);
    if (p.size > kPrepackLimit)
        return prepareLarge(job, host, std::move(fd), old, in, p);
    prepareSmall(job, host, zs, fd, old, in, p);
}

void PackFile(const QString& path, qint64 expected, PrepareHost& host, Deflater& zs, QByteArray& in,
              Packed& p)
{
    const FileIO::Handle fd = FileIO::open(QFile::encodeName(path).constData(), FileIO::Mode::Read);
    if (!fd.isOpen())
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
    p.crc = Crc32(0, in.constData(), got);
    p.ok = deflateInto(host, zs, in, got, p);
}
