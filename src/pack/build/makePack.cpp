#include "pack/build/makePack.h"

#include "pack/build/BuildLog.h"
#include "pack/build/clsZip.h"
#include "pack/build/makePackXML.h"
#include "pack/contents/PackContents.h"
#include "version.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
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
        &m_zip, &clsZip::Idle, this, [this] { m_view.DoEvents(); }, Qt::DirectConnection);
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

RegistrationEntries PackBuild::CollectRegistrations(const PackContents& contents)
{
    RegistrationEntries r;
    const std::vector<int> nodes = contents.liveNodes();
    for (int index : nodes) {
        const int item = contents.GetTVItemFromNode(PackList::Reg1, index);
        if (contents.IsTVItemChecked(PackList::Reg1, item) && !IsFolderKey(contents.node(index).Key)) {
            r.HasComFiles = true;
            r.ComFiles << RegistrationEntry(contents, index);
        }
    }
    for (int index : nodes) {
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
        return fail(QStringLiteral("no pack to build at '%1'").arg(request.PackPath));

    // The pack is written under a private name beside the target and put in
    // place only at the end, so a failed or cancelled build never costs the
    // user the pack they had, nor leaves half a pack behind.
    QString tempPack;
    {
        QTemporaryFile reserve(target.absolutePath() + QLatin1Char('/') + QLatin1Char('.') +
                               target.fileName() + QStringLiteral(".XXXXXX.part"));
        if (!reserve.open())
            return fail(
                QStringLiteral("cannot write in '%1': %2").arg(target.absolutePath(), reserve.errorString()));
        tempPack = reserve.fileName();
        // The archiver creates the file itself; an empty one is no archive.
    }

    const bool ok = build(request, tempPack);
    QFile::remove(tempPack);
    return ok;
}

bool PackBuild::build(const PackRequest& request, const QString& tempPack)
{
    const PackContents& contents = *request.Contents;

    m_step = ProgressStepFor(contents.FileCount());
    // Past 196 files the rounded step is 0 and the bar would never move: it
    // then advances by the exact share of each step instead.
    m_exactStep = m_step >= 1 ? 0.0 : 100.0 / (double(contents.FileCount()) + 3.0);
    m_stepCarry = 0.0;
    const RegistrationEntries reg = CollectRegistrations(contents);

    m_view.ShowProgress(NextStep(), QStringLiteral("Creating Script Info File"));
    const QString xml =
        makePackXML(request.ScriptName, request.ScriptDesc, request.ScriptURL, reg.HasComFiles, reg.ComFiles,
                    reg.HasDotNetFiles, reg.DotNetFiles, request.ScriptVersion);

    // A folder of our own: another build, or another user, cannot swap the manifest.
    QTemporaryDir tempDir;
    if (!tempDir.isValid())
        return fail(QStringLiteral("no temporary folder: ") + tempDir.errorString());
    const QString manifest = tempDir.filePath(QStringLiteral("ScriptInfo.xml"));
    {
        QFile file(manifest);
        const QByteArray bytes = xml.toUtf8();
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
            !file.flush())
            return fail(
                QStringLiteral("cannot write the manifest '%1': %2").arg(manifest, file.errorString()));
    }
    if (m_view.CancelRequested())
        return fail(QStringLiteral("cancelled"));

    WriteLog(QStringLiteral("XML File:  ") + manifest);
    m_view.ShowProgress(NextStep(), QStringLiteral("Creating Script Pack"));

    m_zip.setZipFile(tempPack);
    m_zip.setAddComment(true);
    SetFolderOptions(m_zip, false);
    m_zip.ClearFileSpecs();
    m_zip.AddFileSpec(manifest);
    if (!runZip(QStringLiteral("the manifest")))
        return false;

    // One recursive run per top-level folder: it already holds the folders
    // below, which would otherwise be stored a second time at the root.
    SetFolderOptions(m_zip, true);
    for (int index : contents.topLevel()) {
        const PackNode& n = contents.node(index);
        if (!IsFolderKey(n.Key))
            continue;
        const QString parent = GetFolderPath(n.Tag);
        m_zip.setBasePath(parent);
        WriteLog(QStringLiteral("Tag:   ") + parent);
        WriteLog(QStringLiteral("Loop - Key:   ") + n.Key);
        const QString folder = n.Key.mid(5);
        WriteLog(QStringLiteral("Base Path:  ") + m_zip.BasePath());
        // Each run names its own folder only: a folder's relative spec kept
        // from an earlier run would be resolved against this run's base path
        // and could pull in an unrelated folder of the same name.
        m_zip.ClearFileSpecs();
        const QString absoluteSpec = folder + QStringLiteral("/*.*");
        m_zip.AddFileSpec(absoluteSpec);
        WriteLog(QStringLiteral("New File Spec:  ") + absoluteSpec);
        const QString relativeSpec = GetFileName(folder) + QStringLiteral("/*.*");
        m_zip.AddFileSpec(relativeSpec);
        WriteLog(QStringLiteral("File Spec:  ") + relativeSpec);
        if (!runZip(QStringLiteral("the folder '%1'").arg(folder)))
            return false;
    }

    SetFolderOptions(m_zip, false);
    m_zip.ClearFileSpecs();
    m_view.DoEvents();
    if (m_view.CancelRequested())
        return fail(QStringLiteral("cancelled"));

    for (int index : contents.liveNodes()) {
        const QString& key = contents.node(index).Key;
        if (!IsSubKey(key) && !IsFolderKey(key))
            m_zip.AddFileSpec(key);
    }
    if (!runZip(QStringLiteral("the loose files")))
        return false;

    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(tempPack).toStdString(),
                            QFile::encodeName(request.PackPath).toStdString(), ec);
    if (ec)
        return fail(QStringLiteral("cannot replace '%1': %2")
                        .arg(request.PackPath, QString::fromLocal8Bit(ec.message().c_str())));
    return true;
}

bool PackBuild::runZip(const QString& what)
{
    m_zipError.clear();
    m_zip.Zip();
    if (m_view.CancelRequested())
        return fail(QStringLiteral("cancelled while archiving %1").arg(what));
    if (!m_zip.Success()) {
        return fail(QStringLiteral("archiving %1 failed with code %2%3")
                        .arg(what)
                        .arg(m_zip.LastResult())
                        .arg(m_zipError.isEmpty() ? QString() : QStringLiteral(": ") + m_zipError));
    }
    return true;
}

bool PackBuild::fail(const QString& reason)
{
    m_lastError = reason;
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
