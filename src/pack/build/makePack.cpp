#include "pack/build/makePack.h"

#include "pack/build/EntryNameHash.h"
#include "pack/build/PackPlan.h"
#include "pack/build/clsZip.h"
#include "pack/build/makePackXML.h"
#include "pack/contents/PackContents.h"
#include "platform/BuildLog.h"
#include "platform/Durability.h"
#include "platform/WorkFolder.h"
#include "platform/ZipLibrary.h"
#include "version.h"
#include "zip/RunLimits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cfenv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <future>
#include <limits>
#include <system_error>

namespace {

const QString AddingPrefix = QStringLiteral("  adding: ");
const QString AddingCaption = QStringLiteral("Adding File:  ");
// The build's captions go to the log as they stand; the window shows them in
// the user's language (frmPackage::ShowProgress).
[[maybe_unused]] const char* const ShownCaptions[] = {
    QT_TRANSLATE_NOOP("PackBuild", "Creating Script Info File"),
    QT_TRANSLATE_NOOP("PackBuild", "Creating Script Pack"), QT_TRANSLATE_NOOP("PackBuild", "Adding File:  ")};

bool IsFolder(const PackContents& contents, int index)
{
    return contents.node(index).Kind == PackNodeKind::Folder;
}

// The name under which the manifest lists a file: its folders from the
// top-level one down, joined by backslashes, since the host is a Windows
// program; a loose file by its name alone.
QString RegistrationEntry(const PackContents& contents, int index)
{
    return contents.NameInPack(index, QLatin1Char('\\'));
}

// The name a node is stored under: its folders from the top-level one down
// and its own name, '/'-separated; a folder's ends in '/'.
QString EntryName(const PackContents& contents, int index)
{
    QString name = contents.NameInPack(index, QLatin1Char('/'));
    if (IsFolder(contents, index))
        name += QLatin1Char('/');
    return name;
}

const QString ManifestName = QStringLiteral("ScriptInfo.xml");

quint64 ExactHash(QStringView name)
{
    NameHash h;
    for (QChar c : name)
        NameHash::add(h.exact, c.unicode());
    return h.exact & PackBuild::NameHashMask;
}

// Unchanged files' entries come from the pack being replaced, or else from
// the one the release started from; either way the pack comes out as a
// fresh build would make it.
QString ReuseFrom(const PackRequest& request, const QString& replaced)
{
    return !replaced.isEmpty() || !QFileInfo(request.ReuseFrom).isFile() ? replaced : request.ReuseFrom;
}

// Sets the three options the folder runs need, or clears them.
void SetFolderOptions(clsZip& zip, bool on)
{
    zip.setStoreFolderNames(on);
    zip.setRecurseSubDirs(on);
    zip.setStoreDirectories(on);
}

// Has the runs' files read while the rest of the build goes on. Each run's
// specs and options are the ones build() will give it: only then are the
// files read as that run reads them. Runs are added in packing order, each as
// soon as the plan holds it, up to the archiver's limit; the loose files' run
// keeps the last folder's base.
class RunPrefetch
{
public:
    RunPrefetch(const QString& base, const QString& reuse, const QString& replaced)
        : m_base(base), m_reuse(reuse), m_replaced(replaced)
    {
    }
    void add(const PackContents& contents, const PackPlan& plan, const PackPlan::Run& run,
             const std::function<void()>& turn)
    {
        const auto limit = qint32(kPrefetchFiles);
        if (m_closed || m_given >= limit) {
            m_closed = true;
            return;
        }
        const bool folder = run.top >= 0;
        clsZip probe;
        probe.setLiteralSpecs(true);
        SetFolderOptions(probe, folder);
        if (folder) {
            m_base = GetFolderPath(contents.Tag(run.top));
            probe.setRecurseSubDirs(false);
        }
        probe.setBasePath(m_base);
        plan.addSpecs(contents, run, probe, limit - m_given + 1, turn);
        if (probe.FileSpecCount() == 0 && !folder) {
            m_closed = true;
            return;
        }
        probe.setReuseArchive(m_reuse);
        probe.setReplacedArchive(m_replaced);
        m_given += probe.FileSpecCount();
        (m_started ? ZpPrefetchAlso : ZpPrefetch)(&probe.Options(), probe.FileSpecCount(),
                                                  probe.SpecTable().data());
        m_started = true;
    }

private:
    QString m_base;
    const QString m_reuse;
    const QString m_replaced;
    qint32 m_given = 0;
    bool m_started = false;
    bool m_closed = false;
};

} // namespace

PackBuild::PackBuild(clsZip& cZip, BuildView& view, QObject* parent)
    : QObject(parent), m_zip(cZip), m_view(view)
{
    connect(&m_zip, &clsZip::Progress, this, &PackBuild::cZip_Progress, Qt::DirectConnection);
    connect(&m_zip, &clsZip::CommentRequest, this, &PackBuild::cZip_CommentRequest, Qt::DirectConnection);
    connect(&m_zip, &clsZip::Cancel, this, &PackBuild::cZip_Cancel, Qt::DirectConnection);
    connect(
        &m_zip, &clsZip::Idle, this,
        [this] {
            m_turnClock.start();
            m_view.DoEvents();
        },
        Qt::DirectConnection);
}

PackBuild::~PackBuild() = default;

qint16 PackBuild::ProgressStepFor(qint64 fileCount)
{
    // Banker's rounding, as the bar's step has always been computed: 12.5 gives 12.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double step = std::nearbyint(100.0 / (double(fileCount) + 3.0));
    std::fesetround(saved);
    return qint16(step);
}

void PackBuild::StartProgress(qint64 fileCount)
{
    m_step = ProgressStepFor(fileCount);
    // Past 196 files the rounded step is 0 and the bar would never move: it
    // then advances by the exact share of each step instead.
    m_exactStep = m_step >= 1 ? 0.0 : 100.0 / (double(fileCount) + 3.0);
    m_stepCarry = 0.0;
    m_turnClock.start();
}

qint16 PackBuild::NextStep()
{
    if (m_exactStep <= 0.0)
        return m_step;
    m_stepCarry += m_exactStep;
    // The small allowance keeps sums like 0.1 * 10 from falling just short of 1.
    const double whole = std::floor(m_stepCarry + 1e-9);
    m_stepCarry -= whole;
    return qint16(whole);
}

QString PackBuild::PackComment()
{
    return QStringLiteral("ScriptPack created using Bundlesmith v%1.%2.%3")
        .arg(BUNDLESMITH_VERSION_MAJOR)
        .arg(BUNDLESMITH_VERSION_MINOR)
        .arg(BUNDLESMITH_VERSION_REVISION);
}

bool PackBuild::Turn(bool now)
{
    if (!now && m_turnClock.isValid() && m_turnClock.elapsed() < kTurnIntervalMs)
        return true;
    m_turnClock.start();
    ZpPrefetchTurn();
    m_view.DoEvents();
    return !m_view.CancelRequested();
}

RegistrationEntries PackBuild::CollectRegistrations(const PackContents& contents,
                                                    const std::function<void()>& turn)
{
    RegistrationEntries r;
    const std::vector<int> nodes = contents.liveNodes();
    for (int index : nodes) {
        if (turn)
            turn();
        const int item = contents.GetTVItemFromNode(PackList::Reg1, index);
        if (contents.IsTVItemChecked(PackList::Reg1, item) && !IsFolder(contents, index)) {
            r.HasComFiles = true;
            r.ComFiles << RegistrationEntry(contents, index);
        }
    }
    for (int index : nodes) {
        if (turn)
            turn();
        const int item = contents.GetTVItemFromNode(PackList::Reg2, index);
        if (contents.IsTVItemChecked(PackList::Reg2, item) && !IsFolder(contents, index)) {
            r.HasDotNetFiles = true;
            r.DotNetFiles += QLatin1Char('|') + RegistrationEntry(contents, index);
        }
    }
    if (r.DotNetFiles.startsWith(QLatin1Char('|')))
        r.DotNetFiles.remove(0, 1);
    return r;
}

bool PackBuild::makePack(const PackRequest& request)
{
    const BuildLog::Session logSession;
    m_lastError.clear();
    const QFileInfo target(request.PackPath);
    if (request.Contents == nullptr || request.PackPath.isEmpty() || target.isDir())
        return fail(tr("There is no Script Pack to write at '%1'.").arg(request.PackPath));
    // Replacing goes by the folder's permissions, not the file's: a pack the
    // user made read-only would otherwise be replaced all the same.
    constexpr QFileDevice::Permissions anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (target.exists() && (!target.isWritable() || !(target.permissions() & anyWrite)))
        return fail(tr("The Script Pack '%1' is read-only.").arg(request.PackPath));

    // The pack is written in a private folder beside the target and put in
    // place only at the end, so a failed or cancelled build never costs the
    // user the pack they had, nor leaves half a pack behind.
    const QString folder = target.absolutePath();
    WorkFolder::RemoveStale(folder);
    const WorkFolder work(folder);
    if (!work.isValid()) {
        WriteLog(QStringLiteral("Work folder:  ") + folder + QStringLiteral(": ") + work.errorString());
        switch (work.failure()) {
        case WorkFolder::Failure::Missing:
            return fail(tr("The folder '%1' no longer exists.").arg(folder));
        case WorkFolder::Failure::ReadOnly:
            return fail(tr("The folder '%1' is read-only.").arg(folder));
        default:
            return fail(tr("Could not write in the folder '%1'.").arg(folder));
        }
    }
    const bool built = build(request, work.path());
    // Only a running build names its entries.
    m_contents = nullptr;
    m_plan.clear();
    return built;
}

bool PackBuild::build(const PackRequest& request, const QString& workFolder)
{
    const PackContents& contents = *request.Contents;

    StartProgress(contents.FileCount());
    // A cancel meanwhile is honoured by the checks below, before anything is written.
    const std::function<void()> turn = [this] { Turn(); };
    // The runs' files are read and deflated meanwhile, in packing order, on
    // the core the walks below leave idle; with an old pack, checked against
    // it as the runs check them, for those unchanged since to be copied from it.
    struct DropPrefetch
    {
        ~DropPrefetch() { ZpPrefetch(nullptr, 0, nullptr); }
    } dropPrefetch;
    const QString replaced = QFileInfo(request.PackPath).isFile() ? request.PackPath : QString();
    const QString reuse = ReuseFrom(request, replaced);
    MakePlan(contents, request.PackPath, reuse, replaced);
    const RegistrationEntries reg = CollectRegistrations(contents, turn);

    m_view.ShowProgress(NextStep(), QStringLiteral("Creating Script Info File"));
    const QString xml =
        makePackXML(request.ScriptName, request.ScriptDesc, request.ScriptURL, reg.HasComFiles, reg.ComFiles,
                    reg.HasDotNetFiles, reg.DotNetFiles, request.ScriptVersion, request.Kept);
    // Should what an author wrote not stand in the manifest, no pack the host rejects.
    if (!request.Kept.isEmpty() && !IsWellFormedXml(xml))
        return fail(tr("The script's own ScriptInfo.xml could not be written into the Script Pack."));

    if (!CheckNames(contents))
        return false;

    const QString manifest = QDir(workFolder).filePath(QStringLiteral("ScriptInfo.xml"));
    if (!WriteManifest(manifest, xml))
        return fail(tr("Could not write in the folder '%1'.").arg(QFileInfo(workFolder).path()));
    if (m_view.CancelRequested())
        return fail(tr("The build was cancelled."));

    WriteLog(QStringLiteral("XML File:  ") + manifest);
    m_view.ShowProgress(NextStep(), QStringLiteral("Creating Script Pack"));

    const QString tempPack = QDir(workFolder).filePath(QStringLiteral("pack.plsc"));
    // The manifest and folder runs leave the pack open for the next run to
    // append to; the loose-files run finishes it. Whatever stops the build
    // before that drops the unfinished pack.
    struct DropHeldPack
    {
        clsZip& zip;
        ~DropHeldPack()
        {
            ZpDiscardHeld();
            zip.setHoldDirectory(false);
            zip.setReuseArchive(QString());
            zip.setReplacedArchive(QString());
        }
    } dropHeldPack{m_zip};
    m_zip.setZipFile(tempPack);
    m_zip.setAddComment(true);
    m_zip.setLiteralSpecs(true);
    m_zip.setHoldDirectory(true);
    // Files unchanged since the old pack was made keep their stored data.
    m_zip.setReuseArchive(reuse);
    m_zip.setReplacedArchive(request.PackPath);
    SetFolderOptions(m_zip, false);
    m_zip.ClearFileSpecs();
    m_zip.AddFileSpec(manifest);
    if (!runZip(tr("the manifest")))
        return false;

    if (!RunFolders(contents))
        return false;

    SetFolderOptions(m_zip, false);
    m_zip.ClearFileSpecs();
    m_view.DoEvents();
    if (m_view.CancelRequested())
        return fail(tr("The build was cancelled."));

    // The last run writes the pack's directory, with or without loose files.
    m_zip.setHoldDirectory(false);
    m_plan.addSpecs(contents, m_plan.runs().back(), m_zip, std::numeric_limits<qint32>::max(), {});
    if (!runZip(tr("the loose files")))
        return false;

    if (CheckPack(tempPack, reg) && PutInPlace(tempPack, request.PackPath))
        return true;
    ZpForgetStatCache();
    return false;
}

void PackBuild::MakePlan(const PackContents& contents, const QString& packPath, const QString& reuse,
                         const QString& replaced)
{
    // What the pack must hold, decided here from the contents and handed to
    // the archiver path by path, taken literally: no folder is walked again,
    // so a file created since, a name the add left out, or the pack being
    // written cannot slip in, and no name is read as a pattern. Whether each
    // file is still there is for the archiver to find as it reads it.
    m_contents = &contents;
    const std::function<void()> turn = [this] { Turn(); };
    RunPrefetch prefetch(m_zip.BasePath(), reuse, replaced);
    // A cancel meanwhile is honoured once the manifest is made, as below.
    m_plan.make(
        contents, packPath,
        [this] {
            Turn();
            return true;
        },
        [&](const PackPlan::Run& run) { prefetch.add(contents, m_plan, run, turn); });
    m_plan.hashNames(contents, NameHashMask, turn);
}

bool PackBuild::CheckNames(const PackContents& contents)
{
    for (int node : m_plan.leftOut())
        WriteLog(QStringLiteral("Left out the old pack:  ") + contents.Tag(node));
    if (!Turn())
        return fail(tr("The build was cancelled."));
    // Windows holds one of two names that differ only in case; the other would
    // be lost on install, or overwrite the first in a later run.
    NameHash manifestHash;
    manifestHash.add(ManifestName, ManifestName.toLower());
    if (const PackPlan::Entry* clash = m_plan.firstCaseClash(contents, manifestHash.lower & NameHashMask))
        return fail(tr("Two files would be stored as '%1'.").arg(EntryName(contents, clash->node)));
    return true;
}

bool PackBuild::WriteManifest(const QString& manifest, const QString& xml)
{
    QFile file(manifest);
    const QByteArray bytes = xml.toUtf8();
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() &&
        file.flush())
        return true;
    WriteLog(QStringLiteral("Manifest:  ") + manifest + QStringLiteral(": ") + file.errorString());
    return false;
}

bool PackBuild::RunFolders(const PackContents& contents)
{
    // One run per top-level folder, its names taken from the folder that holds it.
    for (const PackPlan::Run& run : m_plan.runs()) {
        if (run.top < 0)
            continue;
        const QString folder = contents.Tag(run.top);
        const QString base = GetFolderPath(folder);
        SetFolderOptions(m_zip, true);
        m_zip.setRecurseSubDirs(false); // every path is listed; nothing is walked
        m_zip.setBasePath(base);
        WriteLog(QStringLiteral("Tag:   ") + base);
        WriteLog(QStringLiteral("Loop - Key:   ") + contents.Key(run.top));
        WriteLog(QStringLiteral("Base Path:  ") + m_zip.BasePath());
        WriteLog(QStringLiteral("New File Spec:  ") + folder);
        WriteLog(QStringLiteral("File Spec:  ") + folder.mid(base.size()));
        m_zip.ClearFileSpecs();
        m_plan.addSpecs(contents, run, m_zip, std::numeric_limits<qint32>::max(), [this] { Turn(); });
        if (!runZip(tr("the folder '%1'").arg(folder)))
            return false;
    }
    return true;
}

bool PackBuild::PutInPlace(const QString& tempPack, const QString& packPath)
{
    // On the disk before it takes the old pack's place, and the new name after:
    // a power cut right after "finished" leaves one pack or the other, whole.
    if (!Durability::current().syncFile(tempPack)) {
        WriteLog(QStringLiteral("Sync:  ") + tempPack);
        return fail(tr("Could not write the Script Pack '%1'.").arg(packPath));
    }

    // A rebuilt pack keeps what the user allowed on the old one (a private
    // pack stays private).
    const std::filesystem::path from(QFile::encodeName(tempPack).toStdString());
    const std::filesystem::path to(QFile::encodeName(packPath).toStdString());
    std::error_code ec;
    const std::filesystem::file_status old = std::filesystem::status(to, ec);
    if (!ec && std::filesystem::exists(old))
        std::filesystem::permissions(from, old.permissions(), ec);
    ec.clear();
    std::filesystem::rename(from, to, ec);
    if (ec) {
        WriteLog(QStringLiteral("Rename:  ") + QString::fromLocal8Bit(ec.message().c_str()));
        return fail(tr("Could not write the Script Pack '%1'.").arg(packPath));
    }
    // The pack is in place and whole; the folder's record of the new name is
    // asked onto the disk too. Should that fail the pack is still there: logged only.
    const QString folder = QFileInfo(packPath).absolutePath();
    if (!Durability::current().syncFolder(folder))
        WriteLog(QStringLiteral("Sync:  ") + folder);
    return true;
}

namespace {

// Names on both sides of the read-back check as sorted 64-bit hashes of the
// exact names; names whose hashes meet are compared in full, so a collision
// never passes a wrong pack.
struct Named
{
    quint64 hash;
    int at; // held: the position in the pack; wanted: the packing order
    int node;
};

// A type of its own, so that the sorts inline it: a hundred thousand names
// are sorted twice.
struct ByHash
{
    bool operator()(const Named& a, const Named& b) const
    {
        return a.hash != b.hash ? a.hash < b.hash : a.at < b.at;
    }
};

QString FirstUnregistered(const RegistrationEntries& reg, const QStringList& names,
                          const std::vector<Named>& held);

} // namespace

bool PackBuild::CheckPack(const QString& pack, const RegistrationEntries& reg)
{
    const QString cancelled = tr("The build was cancelled.");
    if (!Turn(true))
        return fail(cancelled);
    // Reading the pack back (its whole directory, tens of milliseconds at a
    // hundred thousand entries) and hashing its names run beside the window,
    // which keeps its turns meanwhile and lists what the pack must hold. The
    // pack is not in place yet, so a cancel still leaves the old one as it was.
    // A small pack is read here, when it is wanted: a thread costs more.
    struct Read
    {
        bool readable = false;
        QStringList names;
        std::vector<Named> held;
    };
    const bool beside = m_contents->liveCount() > ReadBesideEntries;
    auto reading = std::async(beside ? std::launch::async : std::launch::deferred, [pack] {
        Read read;
        read.readable = ZpListEntries(pack, read.names);
        read.held.reserve(size_t(read.names.size()));
        for (qsizetype i = 0; i < read.names.size(); ++i)
            read.held.push_back(Named{ExactHash(read.names.at(i)), int(i), -1});
        std::sort(read.held.begin(), read.held.end(), ByHash());
        return read;
    });
    // A return before the read ends waits for it: the future lets go only then.
    std::vector<Named> wanted;
    wanted.reserve(m_plan.entries().size() + 1);
    wanted.push_back(Named{ExactHash(ManifestName), 0, -1});
    for (const PackPlan::Entry& e : m_plan.entries())
        wanted.push_back(Named{e.exact, e.seq, e.node});
    if (!Turn() || m_view.CancelRequested())
        return fail(cancelled);
    std::sort(wanted.begin(), wanted.end(), ByHash());
    while (beside && reading.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready) {
        if (!Turn())
            return fail(cancelled);
    }
    const Read read = reading.get();
    if (!read.readable)
        return fail(tr("Could not read back the Script Pack just written."));
    const QStringList& names = read.names;
    const std::vector<Named>& held = read.held;
    auto wantedName = [this](const Named& w) {
        return w.node < 0 ? ManifestName : EntryName(*m_contents, w.node);
    };

    for (size_t i = 1; i < held.size(); ++i) {
        if (held[i].hash != held[i - 1].hash)
            continue;
        for (size_t j = i; j-- > 0 && held[j].hash == held[i].hash;) {
            if (names.at(held[j].at) == names.at(held[i].at))
                return fail(tr("The Script Pack holds a name twice."));
        }
    }
    // Pair each wanted name with the held one of the same hash and text.
    std::vector<bool> heldMatched(held.size(), false);
    int firstLacking = -1;
    const Named* lacking = nullptr;
    size_t h = 0;
    for (const Named& w : wanted) {
        if (!Turn())
            return fail(cancelled);
        while (h < held.size() && held[h].hash < w.hash)
            ++h;
        bool found = false;
        const QString name = h < held.size() && held[h].hash == w.hash ? wantedName(w) : QString();
        for (size_t k = h; k < held.size() && held[k].hash == w.hash; ++k) {
            if (!heldMatched[k] && names.at(held[k].at) == name) {
                heldMatched[k] = true;
                found = true;
                break;
            }
        }
        if (!found && (lacking == nullptr || w.at < firstLacking)) {
            lacking = &w;
            firstLacking = w.at;
        }
    }
    if (lacking != nullptr)
        return fail(tr("The Script Pack lacks '%1'.").arg(wantedName(*lacking)));
    int extra = -1;
    for (size_t k = 0; k < held.size(); ++k) {
        if (!heldMatched[k] && (extra < 0 || held[k].at < extra))
            extra = held[k].at;
    }
    if (extra >= 0)
        return fail(tr("The Script Pack holds '%1', which was not chosen.").arg(names.at(extra)));
    const QString missing = FirstUnregistered(reg, names, held);
    if (!missing.isEmpty())
        return fail(tr("The manifest names '%1', which the Script Pack does not hold.").arg(missing));
    return true;
}

namespace {

// The first file the manifest names that the pack does not hold; empty when it holds them all.
QString FirstUnregistered(const RegistrationEntries& reg, const QStringList& names,
                          const std::vector<Named>& held)
{
    // The host installs what the manifest names: every name must be there.
    QStringList registered = reg.ComFiles;
    if (reg.HasDotNetFiles)
        registered += reg.DotNetFiles.split(QLatin1Char('|'));
    for (const QString& file : registered) {
        const QString name = QString(file).replace(QLatin1Char('\\'), QLatin1Char('/'));
        const quint64 hash = ExactHash(name);
        auto k = std::lower_bound(held.cbegin(), held.cend(), hash,
                                  [](const Named& n, quint64 value) { return n.hash < value; });
        bool found = false;
        for (; k != held.cend() && k->hash == hash && !found; ++k)
            found = names.at(k->at) == name;
        if (!found)
            return file;
    }
    return QString();
}

} // namespace

bool PackBuild::runZip(const QString& what)
{
    m_zip.Zip();
    if (m_view.CancelRequested())
        return fail(tr("The build was cancelled."));
    if (!m_zip.Success()) {
        WriteLog(QStringLiteral("Archiving %1 failed with code %2").arg(what).arg(m_zip.LastResult()));
        return fail(PlainZipError(what));
    }
    return true;
}

// The archiver's last failure in the words of the person who chose the files.
QString PackBuild::PlainZipError(const QString& what) const
{
    const ZipFailure why = m_zip.LastFailure();
    const char* text = nullptr;
    QString subject = why.path;
    switch (why.kind) {
    case ZipFailure::ChangedWhileRead:
        text = QT_TR_NOOP("Could not read '%1': it changed while it was being packed.");
        break;
    case ZipFailure::CannotOpen:
    case ZipFailure::CannotRead:
        text = QT_TR_NOOP("Could not read '%1'.");
        break;
    case ZipFailure::NotFound:
        text = QT_TR_NOOP("Could not read '%1': it is no longer there.");
        break;
    case ZipFailure::NotRegular:
        text = QT_TR_NOOP("Could not read '%1': it is not a regular file.");
        break;
    case ZipFailure::NameRefused:
        text = QT_TR_NOOP("The name '%1' can't be used in a Script Pack.");
        subject = why.name;
        break;
    case ZipFailure::ReplacedAmongFiles:
        text = QT_TR_NOOP("'%1' is the Script Pack being replaced, by another name or a link: it can't go "
                          "into the new one.");
        break;
    case ZipFailure::CannotCreate:
    case ZipFailure::CannotWrite:
    case ZipFailure::DiskFull:
        return tr("Could not write the Script Pack's folder '%1'.")
            .arg(QFileInfo(QFileInfo(m_zip.ZipFile()).path()).path());
    default:
        return tr("Archiving %1 failed (code %2).").arg(what).arg(m_zip.LastResult());
    }
    return tr(text).arg(EntryOfPath(subject));
}

// The name a packed path goes under, as the user knows it; found only when
// a run fails, so nothing per file is kept for it. A path that is no file
// of the pack is shown the way the log shows it.
QString PackBuild::EntryOfPath(const QString& path) const
{
    const int node = m_contents != nullptr ? m_plan.nodeAt(*m_contents, path) : -1;
    return node >= 0 ? EntryName(*m_contents, node)
                     : QString(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

bool PackBuild::fail(const QString& reason)
{
    m_lastError = reason;
    WriteLog(QStringLiteral("Error:  ") + reason);
    return false;
}

void PackBuild::cZip_Progress(qint32 lCount, const QString& sMsg)
{
    Q_UNUSED(lCount);
    if (sMsg.startsWith(AddingPrefix)) {
        m_view.ShowProgress(NextStep(), AddingCaption + QStringView(sMsg).mid(10).trimmed().toString());
        return;
    }
    WriteLog(sMsg);
}

void PackBuild::cZip_CommentRequest(QString& sComment, bool& bCancel)
{
    Q_UNUSED(bCancel);
    sComment = PackComment();
}

void PackBuild::cZip_Cancel(const QString& sMsg, bool& bCancel)
{
    Q_UNUSED(sMsg);
    if (m_view.CancelRequested())
        bCancel = true;
}
