#include "zip/UpdateRun.h"

#include "zip/Packer.h"
#include "zip/RunLimits.h"
#include "zip/RunState.h"
#include "zip/SpecPlanner.h"
#include "zip/ZipFormat.h"
#include "zip/ZipNames.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

zip_int64_t sourceCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    auto* s = static_cast<UpdateRun::Source*>(userdata);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        return s->run->openEntry(*s);
    case ZIP_SOURCE_READ:
        return s->run->readEntry(*s, data, len);
    case ZIP_SOURCE_CLOSE:
        s->run->closeEntry(*s);
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

UpdateRun::UpdateRun(RunState& run, SpecPlanner& plan) : m_run(run), m_plan(plan) {}

UpdateRun::~UpdateRun() = default;

qint32 UpdateRun::exec(qint32 count, const char* const* names, bool exists)
{
    std::vector<QString> specs;
    for (qint32 i = 0; i < count; ++i) {
        const QString spec = ZipNames::Utf8Text(names[i] ? names[i] : "");
        if (!spec.isEmpty())
            specs.push_back(spec);
    }
    const bool deleting = m_run.opt.fDeleteEntries != 0;
    if (!deleting) {
        // Every spec costs a look-up on disk: at tens of thousands of them
        // the window needs its turns here too.
        for (const QString& spec : specs) {
            if (!m_run.idle())
                return m_run.aborted();
            if (!m_plan.planSpec(spec))
                return m_run.code();
        }
    }
    if (!exists && (m_plan.items().empty() || deleting || m_run.opt.fFreshen != 0))
        return m_run.fail(ZipFailure::NothingToDo, m_run.zipPath);

    // Opening reads the whole central directory, tens of milliseconds on a
    // large archive with no callback: the window gets its turn just before.
    if (exists && !m_run.idle(0))
        return m_run.aborted();
    int err = 0;
    zip_t* za = zip_open(QFile::encodeName(m_run.zipPath).constData(), exists ? 0 : ZIP_CREATE, &err);
    if (za == nullptr) {
        if (err == ZIP_ER_NOZIP || err == ZIP_ER_INCONS || err == ZIP_ER_READ)
            return m_run.fail(ZipFailure::NotAZip, m_run.zipPath);
        return m_run.fail(ZipFailure::CannotCreate, m_run.zipPath);
    }
    // The run's sources outlive the archive, which calls into them.
    std::unique_ptr<zip_t, void (*)(zip_t*)> archive(za, [](zip_t* z) { zip_discard(z); });
    // libzip copies the entries already in the archive, and writes the
    // directory, without reading any of our sources; the host is given its
    // turns there as well, and may stop the run there too.
    zip_register_cancel_callback_with_state(
        za, [](zip_t*, void* run) { return static_cast<RunState*>(run)->idle() ? 0 : 1; }, nullptr, &m_run);
    bool changed = false;
    const bool ok = deleting ? deleteEntries(za, specs, changed) : stage(za, changed);
    if (!ok)
        return m_run.code();
    for (const auto& src : m_sources)
        m_writeOrder.push_back(src.get());
    std::sort(m_writeOrder.begin(), m_writeOrder.end(),
              [](const Source* a, const Source* b) { return a->index < b->index; });
    for (size_t i = 0; i < m_writeOrder.size(); ++i)
        m_writeOrder[i]->writePos = i;
    if (deleting && !changed)
        return m_run.fail(ZipFailure::NothingToDo, m_run.zipPath);
    requestComment(za, changed);
    const qint32 code = writeArchive(za, exists, changed);
    if (code == ZpOk && changed)
        archive.release(); // closed and freed by libzip
    return code;
}

// The files are read and compressed here, through sourceCallback.
qint32 UpdateRun::writeArchive(zip_t* za, bool exists, bool changed)
{
    if (!changed)
        return exists ? ZpOk : m_run.fail(ZipFailure::NothingToDo, m_run.zipPath);
    if (zip_close(za) == 0)
        return ZpOk;
    if (m_run.abandoned())
        return m_run.aborted();
    if (m_run.code() != ZpOk)
        return m_run.code();
    ZipFailure why = ZipFailure::at(ZipFailure::CannotWrite, m_run.zipPath);
    why.detail = QString::fromUtf8(zip_strerror(za));
    return m_run.fail(std::move(why));
}

zip_int64_t UpdateRun::openEntry(Source& s)
{
    if (m_run.abandoned() || !m_run.askService(s.item->name)) {
        zip_error_set(&s.error, ZIP_ER_CANCELLED, 0);
        return -1;
    }
    m_run.note((s.replacing ? QStringLiteral("updating: ") : QStringLiteral("  adding: ")) + s.item->name);
    if (s.item->isDir)
        return 0;
    s.got = 0;
    if (s.prepacked) {
        s.offset = 0;
        return 0;
    }
    s.file.setFileName(s.item->path);
    if (!s.file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        m_run.fail(ZipFailure::CannotOpen, s.item->path);
        zip_error_set(&s.error, ZIP_ER_OPEN, 0);
        return -1;
    }
    return 0;
}

zip_int64_t UpdateRun::readEntry(Source& s, void* data, zip_uint64_t len)
{
    if (s.item->isDir)
        return 0;
    if (s.prepacked) {
        const qsizetype n =
            qMin(static_cast<qsizetype>(qMin<zip_uint64_t>(len, 1u << 30)), s.packed.data.size() - s.offset);
        std::memcpy(data, s.packed.data.constData() + s.offset, static_cast<size_t>(n));
        s.offset += n;
        return n;
    }
    const qint64 n =
        s.file.read(static_cast<char*>(data), static_cast<qint64>(qMin<zip_uint64_t>(len, 1u << 30)));
    if (n < 0) {
        m_run.fail(ZipFailure::CannotRead, s.item->path);
        zip_error_set(&s.error, ZIP_ER_READ, 0);
        return -1;
    }
    s.got += n;
    if ((n == 0 && s.got != s.item->size) || s.got > s.item->size) {
        m_run.fail(ZipFailure::ChangedWhileRead, s.item->path);
        zip_error_set(&s.error, ZIP_ER_READ, 0);
        return -1;
    }
    if (!m_run.idle()) {
        zip_error_set(&s.error, ZIP_ER_CANCELLED, 0);
        return -1;
    }
    return n;
}

void UpdateRun::closeEntry(Source& s)
{
    s.file.close();
    if (s.prepacked && s.ready && m_packer) {
        // Written: the buffer goes back to the workers, and nothing more is held.
        m_packer->recycle(std::move(s.packed.data));
        s.packed.data = QByteArray();
    }
}

zip_int64_t UpdateRun::statEntry(Source& s, zip_stat_t* st)
{
    zip_stat_init(st);
    st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    st->size = static_cast<zip_uint64_t>(s.item->size);
    st->mtime = s.item->mtime;
    if (!s.prepacked)
        return sizeof(zip_stat_t);
    if (!awaitPacked(s)) {
        zip_error_set(&s.error, m_run.abandoned() ? ZIP_ER_CANCELLED : ZIP_ER_READ, 0);
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

bool UpdateRun::startJob(Source& s)
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
bool UpdateRun::takeStarted()
{
    while (!m_packer->awaitOldest(std::chrono::milliseconds(kWaitTickMs)))
        if (!m_run.idle())
            return false;
    Source& done = *m_started.front();
    m_started.pop_front();
    done.packed = m_packer->takeOldest();
    done.ready = true;
    return true;
}

// Waits for this file's worker (keeping the caller's window alive), after
// starting the next few, so reading and deflating run ahead of the writing.
bool UpdateRun::awaitPacked(Source& s)
{
    if (!s.ready) {
        qint64 ahead = 0;
        for (size_t i = s.writePos; i < m_writeOrder.size() && i <= s.writePos + kPrepackAheadFiles; ++i) {
            Source& next = *m_writeOrder[i];
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
        if (!m_run.idle())
            return false;
    }
    if (!s.packed.ok) {
        if (s.packed.changed)
            m_run.fail(ZipFailure::ChangedWhileRead, s.item->path);
        else if (!s.packed.readable)
            m_run.fail(ZipFailure::CannotOpen, s.item->path);
        else
            m_run.fail(ZipFailure::CannotRead, s.item->path);
        return false;
    }
    return true;
}

// Whether the stored entry already holds exactly this file.
bool UpdateRun::sameAsStored(const Item& item, const zip_stat_t& st)
{
    if ((st.valid & ZIP_STAT_SIZE) == 0 || (st.valid & ZIP_STAT_CRC) == 0 || (st.valid & ZIP_STAT_MTIME) == 0)
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
        crc = Crc32(crc, buf.data(), n);
        if (!m_run.idle())
            return false;
    }
    return crc == st.crc;
}

// Whether an entry already stored stays as it is: not newer (updating or
// freshening), or the very same file. False when the run was stopped.
bool UpdateRun::keepStored(zip_t* za, const Item& item, zip_int64_t idx, bool& keep)
{
    keep = false;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, static_cast<zip_uint64_t>(idx), 0, &st) != 0)
        return true;
    const bool newer = ZipDosTime(item.mtime) > ZipDosTime(st.mtime);
    keep = ((m_run.opt.fUpdate != 0 || m_run.opt.fFreshen != 0) && !newer) || sameAsStored(item, st);
    if (m_run.abandoned())
        return false;
    if (keep) {
        if (!m_run.askService(item.name))
            return false;
        if (m_run.opt.fVerbose != 0)
            m_run.note(QStringLiteral("unchanged: ") + item.name);
    }
    return true;
}

bool UpdateRun::stage(zip_t* za, bool& changed)
{
    for (const Item& item : m_plan.items()) {
        if (!m_run.idle())
            return m_run.aborted() == ZpOk;
        const QByteArray name = item.name.toUtf8();
        const zip_int64_t idx = zip_name_locate(za, name.constData(), 0);
        if (idx >= 0) {
            if (item.isDir)
                continue;
            bool keep = false;
            if (!keepStored(za, item, idx, keep))
                return m_run.aborted() == ZpOk;
            if (keep)
                continue;
        } else if (m_run.opt.fFreshen != 0) {
            continue;
        }
        if (!addSource(za, item, idx))
            return false;
        changed = true;
    }
    return true;
}

bool UpdateRun::addSource(zip_t* za, const Item& item, zip_int64_t replaceIndex)
{
    auto ctx = std::make_unique<Source>();
    ctx->run = this;
    ctx->item = &item;
    ctx->replacing = replaceIndex >= 0;
    zip_error_init(&ctx->error);
    zip_source_t* src = zip_source_function(za, sourceCallback, ctx.get());
    if (src == nullptr)
        return m_run.fail(ZipFailure::OutOfMemory, QString()) == ZpOk;
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
        return m_run.fail(ZipFailure::named(ZipFailure::CannotAddEntry, item.name,
                                            QString::fromUtf8(zip_strerror(za)))) == ZpOk;
    }
    ctx->index = static_cast<zip_uint64_t>(index);
    ctx->prepacked = !item.isDir && item.size <= kPrepackLimit;
    m_sources.push_back(std::move(ctx));
    const auto i = static_cast<zip_uint64_t>(index);
    zip_set_file_compression(za, i, item.isDir ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                             item.isDir ? 0 : static_cast<zip_uint32_t>(kDeflateLevel));
    zip_file_set_mtime(za, i, item.mtime, 0);
    zip_file_set_external_attributes(za, i, 0, ZIP_OPSYS_UNIX,
                                     item.isDir ? ZipFormat::kDirAttributes : ZipFormat::kFileAttributes);
    return true;
}

bool UpdateRun::deleteEntries(zip_t* za, const std::vector<QString>& specs, bool& changed)
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
            if (!ZipNames::WildMatch(pattern, name, kPathCase))
                continue;
            matched = true;
            if (!m_run.askService(name))
                return m_run.aborted() == ZpOk;
            m_run.note(QStringLiteral("deleting: ") + name);
            zip_delete(za, static_cast<zip_uint64_t>(i));
            changed = true;
        }
        if (!matched)
            m_run.send(QStringLiteral("zip warning: name not matched: ") + original);
    }
    return true;
}

void UpdateRun::requestComment(zip_t* za, bool& changed)
{
    if (m_run.opt.fComment == 0 || m_run.cb.Comment == nullptr)
        return;
    std::array<char, 257> buf{};
    if (m_run.cb.Comment(buf.data()) != 0)
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
