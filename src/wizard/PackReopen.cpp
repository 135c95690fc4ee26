#include "PackReopen.h"

#include "frmPackage.h"
#include "pack/build/ScriptPackReader.h"
#include "pack/contents/PackContents.h"
#include "pack/contents/RegistrationMemory.h"
#include "platform/FileDialogs.h"
#include "platform/MsgBox.h"
#include "wizard/Twips.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

namespace {

// The one thing a drag carries to start from, or nothing: a pack, a
// ScriptInfo.xml, or a folder that holds one. A drop of several files or of
// anything else is not a request to start from it.
QString DraggedStart(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1)
        return {};
    const QUrl url = mime->urls().constFirst();
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    const QFileInfo info(path);
    if (path.isEmpty())
        return {};
    if (info.isDir())
        return QDir(path).entryList({QStringLiteral("ScriptInfo.xml")}, QDir::Files | QDir::Hidden).isEmpty()
                   ? QString()
                   : path;
    if (!info.isFile())
        return {};
    return path.endsWith(QStringLiteral(".plsc"), Qt::CaseInsensitive) || IsManifestName(info.fileName())
               ? path
               : QString();
}

} // namespace

PackReopen::PackReopen(frmPackage& form) : QObject(&form), m_form(form)
{
    m_memory = new RegistrationMemory(*form.contents, this);

    // Below the welcome text, clear of every control the page already has.
    cmdOpenPack = new QPushButton(tr("&Start from a Script Pack or Folder..."), form.picPack[0]);
    cmdOpenPack->setObjectName(QStringLiteral("cmdOpenPack"));
    cmdOpenPack->setGeometry(TwipsRect(720, 2835, 3135, 330));
    cmdOpenPack->setAutoDefault(false);
    connect(cmdOpenPack, &QPushButton::clicked, this, &PackReopen::cmdOpenPack_Click);

    form.setAcceptDrops(true);
    form.installEventFilter(this);
}

bool PackReopen::CanOpen() const
{
    // The build and its outcome are past the script information.
    return !m_form.isBuilding() && !m_form.contents->isWalking() && m_form.CurrentPage <= 5;
}

void PackReopen::cmdOpenPack_Click()
{
    if (!CanOpen())
        return;
    FileDialogs::OpenRequest request;
    // A script folder is started from by its manifest: a file dialog picks files.
    request.title = tr("Choose a Script Pack, or the ScriptInfo.xml of a Script Folder");
    request.filter = tr("Script Packs and ScriptInfo.xml (*.plsc ScriptInfo.xml);;All Files (*)");
    request.initDir = m_form.SaveFolder.isEmpty() ? m_form.StartFolder : m_form.SaveFolder;
    request.multiSelect = false;
    request.fileMustExist = true;
    const QStringList chosen = FileDialogs::current().getOpenFileNames(&m_form, request);
    if (!chosen.isEmpty())
        StartFrom(chosen.constFirst());
}

void PackReopen::Fill(const ScriptPackInfo& info)
{
    m_form.txtScriptName->setText(info.Name);
    m_form.txtScriptDesc->setPlainText(info.Description);
    m_form.txtScriptURL->setText(info.AboutUrl);
    if (!info.Version.isNull())
        m_form.txtScriptVersion->setText(info.Version);
    m_form.SetKeptElements(info.Kept);
    m_memory->Remember(info.OleFiles, info.DotNetFiles);
}

bool PackReopen::StartFrom(const QString& path)
{
    if (!CanOpen())
        return false;
    ScriptPackInfo info;
    QString error;
    if (!ReadScriptInfo(path, info, error)) {
        ShowMessage(&m_form, error, MsgBox::Information);
        return false;
    }
    Fill(info);
    m_form.ReuseFrom = info.ScriptFolder.isEmpty() ? QFileInfo(path).absoluteFilePath() : QString();
    if (info.ScriptFolder.isEmpty()) {
        // Browse opens where the last release went; the old pack is replaced
        // only when the user picks it there.
        m_form.SaveFolder = QFileInfo(path).absolutePath();
        return true;
    }
    // The pack goes beside the script's folder, not into it.
    m_form.SaveFolder = QFileInfo(info.ScriptFolder).absolutePath();
    m_form.AddScriptFolder(info.ScriptFolder, info.ManifestFile);
    return true;
}

bool PackReopen::OfferManifest(const QString& path, ScriptPackInfo& taken)
{
    ScriptPackInfo info;
    QString error;
    if (!ReadScriptInfo(path, info, error) || info.ManifestFile.isEmpty())
        return false;
    const bool folder = QFileInfo(path).isDir();
    const QString breakLine = QStringLiteral("\r\n\r\n");
    QString question =
        folder
            ? tr("The folder '%1' holds its own ScriptInfo.xml. Use it as the Script Pack's manifest, with "
                 "the folder's files at the root of the pack?")
                      .arg(path) +
                  breakLine +
                  tr("No adds the folder under its own name, where the host does not read its manifest.")
            : tr("Use '%1' as the Script Pack's manifest?").arg(path);
    const QString kept = info.Kept.NamesLine();
    question +=
        breakLine + (kept.isEmpty() ? tr("Its name, description, About URL and version fill the Script "
                                         "Info page.")
                                    : tr("Its name, description, About URL and version fill the Script "
                                         "Info page, and the pack keeps its %1.")
                                          .arg(kept));
    if (ShowMessage(&m_form, question, MsgBox::YesNo | MsgBox::Question) != MsgBox::Yes)
        return false;
    Fill(info);
    taken = info;
    return true;
}

bool PackReopen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_form)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (CanOpen() && !DraggedStart(drag->mimeData()).isEmpty())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = DraggedStart(drop->mimeData());
        if (!CanOpen() || path.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        StartFrom(path);
        return true;
    }
    default:
        return false;
    }
}
