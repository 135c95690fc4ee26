#include "pack/build/makePack.h"

#include "pack/build/clsZip.h"
#include "pack/build/makePackXML.h"
#include "pack/contents/PackContents.h"
#include "platform/BuildLog.h"
#include "platform/WorkFolder.h"
#include "platform/ZipLibrary.h"
#include "version.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cfenv>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace {

const QString AddingPrefix = QStringLiteral("  adding: ");

bool IsFolderKey(const QString& key)
{
    return key.startsWith(QStringLiteral("fldr-"));
}

bool IsSubKey(const QString& key)
{
    return key.startsWith(QStringLiteral("sub-"));
}

// The name under which the manifest lists a file: its folders from the
// top-level one down, joined by backslashes, since the host is a Windows
// program; a loose file by its name alone.
QString RegistrationEntry(const PackContents& contents, int index)
{
    const PackNode& n = contents.node(index);
    if (!IsSubKey(n.Key))
        return GetFileName(n.Key);
    QStringList parts = contents.ParentChain(index);
    parts << n.Text;
    return parts.join(QLatin1Char('\\'));
}

// Sets the three options the folder runs need, or clears them.
void SetFolderOptions(clsZip& zip, bool on)
{
    zip.setStoreFolderNames(on);
    zip.setRecurseSubDirs(on);
    zip.setStoreDirectories(on);
}

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
    if (!now && m_turnClock.isValid() && m_turnClock.elapsed() < TurnIntervalMs)
        return true;
    m_turnClock.start();
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
        if (contents.IsTVItemChecked(PackList::Reg1, item) && !IsFolderKey(contents.node(index).Key)) {
            r.HasComFiles = true;
            r.ComFiles << RegistrationEntry(contents, index);
        }
    }
    for (int index : nodes) {
        if (turn)
            turn();
        const int item = contents.GetTVItemFromNode(PackList::Reg2, index);
        if (contents.IsTVItemChecked(PackList::Reg2, item) && !IsFolderKey(contents.node(index).Key)) {
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
    m_lastError.clear();
    const QFileInfo target(request.PackPath);
    if (request.Contents == nullptr || request.PackPath.isEmpty() || target.isDir())
        return fail(QStringLiteral("There is no Script Pack to write at '%1'.").arg(request.PackPath));
    // Replacing goes by the folder's permissions, not the file's: a pack the
    // user made read-only would otherwise be replaced all the same.
    constexpr QFileDevice::Permissions anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (target.exists() && (!target.isWritable() || !(target.permissions() & anyWrite)))
        return fail(QStringLiteral("The Script Pack '%1' is read-only.").arg(request.PackPath));

    // The pack is written in a private folder beside the target and put in
    // place only at the end, so a failed or cancelled build never costs the
    // user the pack they had, nor leaves half a pack behind.
    const QString folder = target.absolutePath();
    WorkFolder::RemoveStale(folder);
    const WorkFolder work(folder);
    if (!work.isValid()) {
        WriteLog(QStringLiteral("Work folder:  ") + folder + QStringLiteral(": ") + work.errorString());
        return fail(QStringLiteral("Could not write in the folder '%1'.").arg(folder));
    }
    return build(request, work.path());
}

namespace {

// One entry the pack must hold, and the path it comes from.
struct PlannedEntry
{
    QString path;
    QString name; // '/'-separated; a folder's ends in '/'
    bool isDir = false;
};

// Everything below a top-level folder, folders before their contents, in the
// order the tree shows it; names relative to the folder that holds it.
void PlanFolder(const PackContents& contents, int folder, const QString& base, std::vector<PlannedEntry>& out,
                const std::function<void()>& turn)
{
    for (int child : contents.children(folder)) {
        turn();
        const PackNode& n = contents.node(child);
        const bool isDir = n.Kind == PackNodeKind::Folder;
        QString name = n.Tag.mid(base.size());
        if (isDir)
            name += QLatin1Char('/');
        out.push_back(PlannedEntry{n.Tag, name, isDir});
        if (isDir)
            PlanFolder(contents, child, base, out, turn);
    }
}

// Whether path is the existing file at target (canonical: through links).
bool IsTarget(const QString& path, const QString& targetName, const QString& targetCanonical)
{
    // Resolving every path costs a look-up per folder; only a name match can be the target.
    return !targetCanonical.isEmpty() && path.endsWith(targetName) &&
           QFileInfo(path).canonicalFilePath() == targetCanonical;
}

} // namespace

bool PackBuild::build(const PackRequest& request, const QString& workFolder)
{
    const PackContents& contents = *request.Contents;

    m_step = ProgressStepFor(contents.FileCount());
    // Past 196 files the rounded step is 0 and the bar would never move: it
    // then advances by the exact share of each step instead.
    m_exactStep = m_step >= 1 ? 0.0 : 100.0 / (double(contents.FileCount()) + 3.0);
    m_stepCarry = 0.0;
    m_turnClock.start();
    // A cancel meanwhile is honoured by the checks below, before anything is written.
    const std::function<void()> turn = [this] { Turn(); };
    const RegistrationEntries reg = CollectRegistrations(contents, turn);

    m_view.ShowProgress(NextStep(), QStringLiteral("Creating Script Info File"));
    const QString xml =
        makePackXML(request.ScriptName, request.ScriptDesc, request.ScriptURL, reg.HasComFiles, reg.ComFiles,
                    reg.HasDotNetFiles, reg.DotNetFiles, request.ScriptVersion);

    // What the pack must hold, decided here from the contents and handed to
    // the archiver path by path, taken literally: no folder is walked again,
    // so a file created since, a name the add left out, or the pack being
    // written cannot slip in, and no name is read as a pattern.
    struct FolderRun
    {
        int node = -1;
        QString base;
        std::vector<PlannedEntry> entries;
    };
    std::vector<FolderRun> folderRuns;
    std::vector<PlannedEntry> looseFiles;
    for (int index : contents.topLevel()) {
        const PackNode& n = contents.node(index);
        if (n.Kind == PackNodeKind::Folder) {
            FolderRun run{index, GetFolderPath(n.Tag), {}};
            PlanFolder(contents, index, run.base, run.entries, turn);
            folderRuns.push_back(std::move(run));
        } else {
            looseFiles.push_back(
                PlannedEntry{n.Tag, n.Tag.mid(n.Tag.lastIndexOf(QLatin1Char('/')) + 1), false});
        }
    }
    // The old pack may lie among the files (a folder holding its own pack):
    // it is never packed into its successor.
    m_entryOfPath.clear();
    QStringList expected{QStringLiteral("ScriptInfo.xml")};
    // Windows holds one of two names that differ only in case; the other would
    // be lost on install, or overwrite the first in a later run.
    QSet<QString> taken{expected.constFirst().toLower()};
    const QString targetCanonical = QFileInfo(request.PackPath).canonicalFilePath();
    const QString targetName = QFileInfo(targetCanonical).fileName();
    auto keep = [&](std::vector<PlannedEntry>& entries) -> bool {
        std::vector<PlannedEntry> kept;
        for (PlannedEntry& e : entries) {
            if (!Turn())
                return fail(QStringLiteral("The build was cancelled."));
            const QFileInfo fi(e.path);
            if (!e.isDir && IsTarget(e.path, targetName, targetCanonical)) {
                WriteLog(QStringLiteral("Left out the old pack:  ") + e.path);
                continue;
            }
            if (e.isDir ? !fi.isDir() : !fi.isFile())
                return fail(QStringLiteral("Could not read '%1': it is no longer there.").arg(e.name));
            if (taken.contains(e.name.toLower()))
                return fail(QStringLiteral("Two files would be stored as '%1'.").arg(e.name));
            taken.insert(e.name.toLower());
            m_entryOfPath.insert(e.path, e.name);
            // The archiver's messages reach us with '\' for '/'.
            m_entryOfPath.insert(QString(e.path).replace(QLatin1Char('/'), QLatin1Char('\\')), e.name);
            expected << e.name;
            kept.push_back(std::move(e));
        }
        entries = std::move(kept);
        return true;
    };
    for (FolderRun& run : folderRuns)
        if (!keep(run.entries))
            return false;
    if (!keep(looseFiles))
        return false;

    const QString manifest = QDir(workFolder).filePath(QStringLiteral("ScriptInfo.xml"));
    {
        QFile file(manifest);
        const QByteArray bytes = xml.toUtf8();
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
            !file.flush()) {
            WriteLog(QStringLiteral("Manifest:  ") + manifest + QStringLiteral(": ") + file.errorString());
            return fail(
                QStringLiteral("Could not write in the folder '%1'.").arg(QFileInfo(workFolder).path()));
        }
    }
    if (m_view.CancelRequested())
        return fail(QStringLiteral("The build was cancelled."));

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
        }
    } dropHeldPack{m_zip};
    m_zip.setZipFile(tempPack);
    m_zip.setAddComment(true);
    m_zip.setLiteralSpecs(true);
    m_zip.setHoldDirectory(true);
    // Files unchanged since the old pack was made keep their stored data.
    m_zip.setReuseArchive(QFileInfo(request.PackPath).isFile() ? request.PackPath : QString());
    SetFolderOptions(m_zip, false);
    m_zip.ClearFileSpecs();
    m_zip.AddFileSpec(manifest);
    if (!runZip(QStringLiteral("the manifest")))
        return false;

    // One run per top-level folder, its names taken from the folder that holds it.
    for (const FolderRun& run : folderRuns) {
        const PackNode& n = contents.node(run.node);
        SetFolderOptions(m_zip, true);
        m_zip.setRecurseSubDirs(false); // every path is listed; nothing is walked
        m_zip.setBasePath(run.base);
        WriteLog(QStringLiteral("Tag:   ") + run.base);
        WriteLog(QStringLiteral("Loop - Key:   ") + n.Key);
        const QString folder = n.Key.mid(5);
        WriteLog(QStringLiteral("Base Path:  ") + m_zip.BasePath());
        WriteLog(QStringLiteral("New File Spec:  ") + folder);
        WriteLog(QStringLiteral("File Spec:  ") + folder.mid(run.base.size()));
        m_zip.ClearFileSpecs();
        for (const PlannedEntry& e : run.entries)
            m_zip.AddFileSpec(e.path);
        if (!runZip(QStringLiteral("the folder '%1'").arg(folder)))
            return false;
    }

    SetFolderOptions(m_zip, false);
    m_zip.ClearFileSpecs();
    m_view.DoEvents();
    if (m_view.CancelRequested())
        return fail(QStringLiteral("The build was cancelled."));

    // The last run writes the pack's directory, with or without loose files.
    m_zip.setHoldDirectory(false);
    for (const PlannedEntry& e : looseFiles)
        m_zip.AddFileSpec(e.path);
    if (!runZip(QStringLiteral("the loose files")))
        return false;

    if (!CheckPack(tempPack, expected, reg))
        return false;

    // A rebuilt pack keeps what the user allowed on the old one (a private
    // pack stays private).
    const std::filesystem::path from(QFile::encodeName(tempPack).toStdString());
    const std::filesystem::path to(QFile::encodeName(request.PackPath).toStdString());
    std::error_code ec;
    const std::filesystem::file_status old = std::filesystem::status(to, ec);
    if (!ec && std::filesystem::exists(old))
        std::filesystem::permissions(from, old.permissions(), ec);
    ec.clear();
    std::filesystem::rename(from, to, ec);
    if (ec) {
        WriteLog(QStringLiteral("Rename:  ") + QString::fromLocal8Bit(ec.message().c_str()));
        return fail(QStringLiteral("Could not write the Script Pack '%1'.").arg(request.PackPath));
    }
    return true;
}

bool PackBuild::CheckPack(const QString& pack, const QStringList& expected, const RegistrationEntries& reg)
{
    // Opening the pack reads its whole directory in one call: the window has
    // its turn just before. The pack is not in place yet, so a cancel still
    // leaves the old one as it was.
    const QString cancelled = QStringLiteral("The build was cancelled.");
    if (!Turn(true))
        return fail(cancelled);
    const std::function<void()> turn = [this] { Turn(); };
    QStringList names;
    if (!ZpListEntries(pack, names, turn))
        return fail(QStringLiteral("Could not read back the Script Pack just written."));
    QSet<QString> held;
    QSet<QString> wanted;
    held.reserve(names.size());
    wanted.reserve(expected.size());
    for (const QString& name : names) {
        turn();
        held.insert(name);
    }
    for (const QString& name : expected) {
        turn();
        wanted.insert(name);
    }
    if (m_view.CancelRequested())
        return fail(cancelled);
    if (held.size() != names.size())
        return fail(QStringLiteral("The Script Pack holds a name twice."));
    for (const QString& name : expected) {
        if (!Turn())
            return fail(cancelled);
        if (!held.contains(name))
            return fail(QStringLiteral("The Script Pack lacks '%1'.").arg(name));
    }
    for (const QString& name : names) {
        if (!Turn())
            return fail(cancelled);
        if (!wanted.contains(name))
            return fail(QStringLiteral("The Script Pack holds '%1', which was not chosen.").arg(name));
    }
    // The host installs what the manifest names: every name must be there.
    QStringList registered = reg.ComFiles;
    if (reg.HasDotNetFiles)
        registered += reg.DotNetFiles.split(QLatin1Char('|'));
    for (const QString& file : registered) {
        const QString name = QString(file).replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (!held.contains(name))
            return fail(
                QStringLiteral("The manifest names '%1', which the Script Pack does not hold.").arg(file));
    }
    return true;
}

bool PackBuild::runZip(const QString& what)
{
    m_zipError.clear();
    m_zip.Zip();
    if (m_view.CancelRequested())
        return fail(QStringLiteral("The build was cancelled."));
    if (!m_zip.Success()) {
        WriteLog(QStringLiteral("Archiving %1 failed with code %2").arg(what).arg(m_zip.LastResult()));
        return fail(PlainZipError(what));
    }
    return true;
}

// The archiver's last error in the words of the person who chose the files.
QString PackBuild::PlainZipError(const QString& what) const
{
    struct Form
    {
        const char* prefix;
        const char* text;
    };
    static const Form forms[] = {
        {"zip error: changed while being read: ",
         "Could not read '%1': it changed while it was being packed."},
        {"zip error: could not open for reading: ", "Could not read '%1'."},
        {"zip error: could not read: ", "Could not read '%1'."},
        {"zip error: file not found: ", "Could not read '%1': it is no longer there."},
        {"zip error: invalid entry name: ", "The name '%1' can't be used in a Script Pack."},
    };
    for (const Form& f : forms) {
        const QString prefix = QString::fromLatin1(f.prefix);
        if (!m_zipError.startsWith(prefix))
            continue;
        QString subject = m_zipError.mid(prefix.size());
        if (prefix.contains(QStringLiteral("entry name")))
            subject = subject.left(subject.lastIndexOf(QStringLiteral(" (")));
        return QString::fromLatin1(f.text).arg(m_entryOfPath.value(subject, subject));
    }
    if (m_zipError.startsWith(QStringLiteral("zip error: could not")))
        return QStringLiteral("Could not write the Script Pack's folder '%1'.")
            .arg(QFileInfo(QFileInfo(m_zip.ZipFile()).path()).path());
    return QStringLiteral("Archiving %1 failed (code %2).").arg(what).arg(m_zip.LastResult());
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
    if (sMsg.left(10) == AddingPrefix) {
        m_view.ShowProgress(NextStep(), QStringLiteral("Adding File:  ") + sMsg.mid(10).trimmed());
        return;
    }
    if (sMsg.startsWith(QStringLiteral("zip error:")))
        m_zipError = sMsg;
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
