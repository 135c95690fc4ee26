#include "PackReopen.h"

#include "frmPackage.h"
#include "pack/build/ScriptPackReader.h"
#include "pack/contents/PackContents.h"
#include "pack/contents/RegistrationMemory.h"
#include "platform/FileDialogs.h"
#include "platform/MsgBox.h"
#include "wizard/Twips.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

namespace {

// The one pack a drag carries, or nothing: a drop of several files or of
// anything but a pack is not a request to start from a pack.
QString DraggedPack(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1)
        return {};
    const QUrl url = mime->urls().constFirst();
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    if (!path.endsWith(QStringLiteral(".plsc"), Qt::CaseInsensitive) || !QFileInfo(path).isFile())
        return {};
    return path;
}

} // namespace

PackReopen::PackReopen(frmPackage& form) : QObject(&form), m_form(form)
{
    m_memory = new RegistrationMemory(*form.contents, this);

    // Below the welcome text, clear of every control the page already has.
    cmdOpenPack = new QPushButton(QStringLiteral("&Start from a Script Pack..."), form.picPack[0]);
    cmdOpenPack->setObjectName(QStringLiteral("cmdOpenPack"));
    cmdOpenPack->setGeometry(TwipsRect(720, 2835, 2535, 330));
    cmdOpenPack->setAutoDefault(false);
    // Like every button of the welcome page, reached by click or its mnemonic, not by Tab.
    cmdOpenPack->setFocusPolicy(Qt::ClickFocus);
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
    request.title = QStringLiteral("Choose a Script Pack");
    request.filter = QStringLiteral("Script Files (*.plsc);;All Files (*)");
    request.initDir = m_form.SaveFolder.isEmpty() ? m_form.StartFolder : m_form.SaveFolder;
    request.multiSelect = false;
    request.fileMustExist = true;
    const QStringList chosen = FileDialogs::current().getOpenFileNames(&m_form, request);
    if (!chosen.isEmpty())
        OpenPack(chosen.constFirst());
}

bool PackReopen::OpenPack(const QString& path)
{
    if (!CanOpen())
        return false;
    ScriptPackInfo info;
    QString why;
    if (!ReadScriptPack(path, info, why)) {
        ShowMessage(&m_form, QStringLiteral("'%1' is not a readable Script Pack: %2").arg(path, why),
                    MsgBox::Information);
        return false;
    }

    m_form.txtScriptName->setText(info.Name);
    m_form.txtScriptDesc->setPlainText(info.Description);
    m_form.txtScriptURL->setText(info.AboutUrl);
    if (!info.Version.isNull())
        m_form.txtScriptVersion->setText(info.Version);

    m_memory->Remember(info.OleFiles, info.DotNetFiles);
    // Browse opens where the last release went; the old pack is replaced
    // only when the user picks it there.
    m_form.SaveFolder = QFileInfo(path).absolutePath();
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
        if (CanOpen() && !DraggedPack(drag->mimeData()).isEmpty())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = DraggedPack(drop->mimeData());
        if (!CanOpen() || path.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        OpenPack(path);
        return true;
    }
    default:
        return false;
    }
}
