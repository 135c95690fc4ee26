// Pages 2 to 4: the pack contents tree and the two registration lists.
#include "PackIcons.h"
#include "PackReopen.h"
#include "PackTreeView.h"
#include "frmPackage.h"
#include "pack/build/ScriptPackReader.h"
#include "pack/contents/PackContents.h"
#include "pack/contents/PackTreeModel.h"
#include "platform/MsgBox.h"
#include "widgets/clsCommonDialog.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeView>
#include <QUrl>

namespace {

QStringList LocalPaths(const QMimeData* mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    const QList<QUrl> urls = mime->urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths << NormalizeFolderPath(url.toLocalFile());
    }
    return paths;
}

QString FolderOfFile(const QString& path)
{
    const QString folder = GetFolderPath(path);
    return folder.size() > 1 ? folder.chopped(1) : folder;
}

// Routes the views' mouse, drop and the window's close events to the handlers.
class ContentsEvents final : public QObject
{
public:
    ContentsEvents(frmPackage* form, bool* walking, bool* walkAborted)
        : QObject(form), m_form(form), m_window(form), m_files(form->tvFiles->viewport()),
          m_reg1(form->tvReg1->viewport()), m_reg2(form->tvReg2->viewport()), m_reg1View(form->tvReg1),
          m_reg2View(form->tvReg2), m_walking(walking), m_walkAborted(walkAborted)
    {
    }

protected:
    // Compares only stored pointers: the filter also sees events while the window is torn down.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window) {
            // Closing the window (title bar or a confirmed Cancel) ends a running walk at its next yield.
            if (event->type() == QEvent::Close && *m_walking)
                *m_walkAborted = true;
            return false;
        }
        if (watched == m_files)
            return filesEvent(event);
        if (watched == m_reg1 || watched == m_reg2)
            regEvent(watched == m_reg1 ? m_reg1View : m_reg2View, event);
        return false;
    }

private:
    bool filesEvent(QEvent* event)
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (*m_walking)
                return true;
            m_form->tvFiles_MouseDown(mouse->button(), mouse->position().toPoint());
            return false;
        }
        case QEvent::MouseButtonRelease:
            if (!*m_walking)
                m_form->tvFiles_Click();
            return false;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!*m_walking && !LocalPaths(drag->mimeData()).isEmpty())
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList paths = LocalPaths(drop->mimeData());
            if (*m_walking || paths.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->acceptProposedAction();
            m_form->AddDroppedPaths(paths);
            return true;
        }
        default:
            return false;
        }
    }

    // The pack build reads the boxes through the same item layer; a click
    // reads the state it is about to change the way the build would.
    void regEvent(QTreeView* view, QEvent* event)
    {
        if (event->type() != QEvent::MouseButtonPress)
            return;
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return;
        auto* model = static_cast<PackTreeModel*>(view->model());
        const int node = model->nodeOf(view->indexAt(mouse->position().toPoint()));
        if (node < 0 || model->contents().StateImage(model->list(), node) == NoBox)
            return;
        model->contents().IsTVItemChecked(model->list(), node + 1); // the item of a node is its index + 1
    }

    frmPackage* m_form;
    QObject* m_window;
    QObject* m_files;
    QObject* m_reg1;
    QObject* m_reg2;
    QTreeView* m_reg1View;
    QTreeView* m_reg2View;
    bool* m_walking;
    bool* m_walkAborted;
};

} // namespace

void frmPackage::SetupContents()
{
    contents = new PackContents(this);
    m_icons = new PackIcons(this);
    auto makeModel = [this](QTreeView* view, PackList list) {
        auto* model = new PackTreeModel(*contents, list, view);
        model->setIconSource([icons = m_icons, c = contents](int node) { return icons->icon(*c, node); });
        view->setModel(model);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setRootIsDecorated(true);
        view->setItemsExpandable(true);
        return model;
    };
    m_filesModel = makeModel(tvFiles, PackList::Files);
    m_reg1Model = makeModel(tvReg1, PackList::Reg1);
    m_reg2Model = makeModel(tvReg2, PackList::Reg2);
    // What each list is, for a screen reader: the pages show it only in their headers.
    tvFiles->setAccessibleName(tr("Files of the Script Pack"));
    tvFiles->setAccessibleDescription(tr("The files and folders that go into the Script Pack."));
    tvReg1->setAccessibleName(tr("Files to register as COM objects"));
    tvReg1->setAccessibleDescription(
        tr("A ticked file is registered as a COM object when the pack is installed."));
    tvReg2->setAccessibleName(tr("Files to register as .NET assemblies"));
    tvReg2->setAccessibleDescription(
        tr("A ticked file is registered with the .NET utility Regasm when the pack is installed."));

    // Whatever adds or removes a node, Next on the files page follows.
    connect(contents, &PackContents::nodeInserted, this, &frmPackage::UpdateButtons);
    connect(contents, &PackContents::nodeRemoved, this, &frmPackage::UpdateButtons);

    // Folders open once their walk is done, in all three views. A folder a
    // view lists now is opened with one layout of the view's rows at its next
    // turn, which a new top-level node asks for anyway; one inside a closed
    // folder costs nothing to open.
    connect(contents, &PackContents::folderCompleted, this, [this](int node) {
        const int parent = contents->node(node).Parent;
        for (QTreeView* view : {tvFiles, tvReg1, tvReg2}) {
            const PackTreeModel* model = TreeModel(view);
            if (parent < 0 || view->isExpanded(model->indexOf(parent)))
                static_cast<PackTreeView*>(view)->ExpandDeferred(model->indexOf(node));
            else
                view->expand(model->indexOf(node));
        }
    });

    auto* events = new ContentsEvents(this, &m_walking, &m_walkAborted);
    installEventFilter(events);
    tvFiles->viewport()->installEventFilter(events);
    tvReg1->viewport()->installEventFilter(events);
    tvReg2->viewport()->installEventFilter(events);
    tvFiles->setAcceptDrops(true);
    tvFiles->viewport()->setAcceptDrops(true);
    tvFiles->setDragDropMode(QAbstractItemView::DropOnly);
}

PackTreeModel* frmPackage::TreeModel(QTreeView* view) const
{
    return static_cast<PackTreeModel*>(view->model());
}

clsCommonDialog& frmPackage::CommonDialog()
{
    if (!FileDialog)
        FileDialog = new clsCommonDialog(this);
    return *FileDialog;
}

void frmPackage::StyleTreeViews()
{
    // Button face behind all three trees; the boxes come from the lists' models only.
    for (QTreeView* view : {tvFiles, tvReg1, tvReg2}) {
        QPalette pal = view->palette();
        const QColor face = pal.color(QPalette::Button);
        pal.setColor(QPalette::Base, face);
        pal.setColor(QPalette::AlternateBase, face);
        view->setPalette(pal);
        view->viewport()->setAutoFillBackground(true);
    }
}

bool frmPackage::BeginWalk()
{
    if (m_walking)
        return false;
    m_walking = true;
    m_walkAborted = false;
    // The focus goes back where it was when the walk ends. Meanwhile it rests
    // on the list: disabling the button that had it would hand it on down the
    // row to Cancel, where Enter asks to close the wizard.
    m_focusBeforeWalk = focusWidget();
    if (m_focusBeforeWalk != nullptr && picPack[2]->isAncestorOf(m_focusBeforeWalk))
        tvFiles->setFocus();
    // Nothing on the page may start a second add or a removal while the walk yields.
    m_removeWasEnabled = cmdRemove->isEnabled();
    for (QPushButton* b : {cmdAddFile, cmdAddFolder, cmdRemove})
        b->setEnabled(false);
    UpdateButtons();
    return true;
}

void frmPackage::EndWalk()
{
    m_walking = false;
    cmdAddFile->setEnabled(true);
    cmdAddFolder->setEnabled(true);
    cmdRemove->setEnabled(m_removeWasEnabled);
    UpdateButtons();
    if (m_focusBeforeWalk != nullptr && m_focusBeforeWalk->isEnabled() && m_focusBeforeWalk->isVisible())
        m_focusBeforeWalk->setFocus();
}

int frmPackage::AddFileToTree(const QString& path)
{
    // The author's own manifest is not a file of the pack but may be its manifest.
    ScriptPackInfo taken;
    if (IsManifestName(GetFileName(path)) && Reopen && Reopen->OfferManifest(path, taken))
        return -1;
    PackAddHooks hooks;
    hooks.refuse = [this](const QString& message) { ShowMessage(this, message, MsgBox::Information); };
    return contents->AddFileToTree(path, -1, hooks);
}

PackAddHooks frmPackage::WalkHooks()
{
    PackAddHooks hooks;
    hooks.refuse = [this](const QString& message) { ShowMessage(this, message, MsgBox::Information); };
    hooks.yield = [this] {
        QCoreApplication::processEvents();
        return !m_walkAborted && !CancelRequested;
    };
    return hooks;
}

bool frmPackage::AddFolderToTree(const QString& path)
{
    // A script folder added whole would bury its manifest where the host
    // never reads it: its author is asked whether it is the script itself.
    ScriptPackInfo taken;
    if (Reopen && Reopen->OfferManifest(path, taken)) {
        SaveFolder = QFileInfo(taken.ScriptFolder).absolutePath();
        return contents->AddFolderContents(taken.ScriptFolder, taken.ManifestFile, WalkHooks()) ==
               PackContents::FolderResult::Added;
    }
    return contents->AddFolderToTree(path, -1, WalkHooks()) == PackContents::FolderResult::Added;
}

void frmPackage::cmdAddFile_Click()
{
    if (m_walking)
        return;
    QString filename;
    QString fileTitle;
    bool readOnly = false;
    QString filter = tr("All Files (*.*)|*.*");
    long filterIndex = 1;
    long flags = 0x80000;
    if (CommonDialog().VBGetOpenFileName(filename, fileTitle, true, true, readOnly, true, filter, filterIndex,
                                         StartFolder, tr("Choose Script Files"), QString(), this, flags)) {
        const QStringList paths = clsCommonDialog::SplitFileNames(filename);
        if (!paths.isEmpty())
            StartFolder = FolderOfFile(paths.constFirst());
        for (const QString& path : paths)
            AddFileToTree(path);
    }
}

void frmPackage::cmdAddFolder_Click()
{
    if (m_walking)
        return;
    const QString path = CommonDialog().BrowseFolder(this, StartFolder);
    if (path.isEmpty())
        return;
    StartFolder = NormalizeFolderPath(path);
    if (!BeginWalk())
        return;
    AddFolderToTree(StartFolder);
    EndWalk();
}

void frmPackage::AddDroppedPaths(const QStringList& paths)
{
    if (!BeginWalk())
        return;
    for (const QString& path : paths) {
        if (m_walkAborted || CancelRequested)
            break;
        const QFileInfo info(path);
        if (info.isDir()) {
            StartFolder = NormalizeFolderPath(path);
            AddFolderToTree(StartFolder);
        } else {
            StartFolder = FolderOfFile(path);
            AddFileToTree(path);
        }
    }
    EndWalk();
}

void frmPackage::AddScriptFolder(const QString& folder, const QString& manifest)
{
    if (!BeginWalk())
        return;
    StartFolder = NormalizeFolderPath(folder);
    contents->AddFolderContents(StartFolder, manifest, WalkHooks());
    EndWalk();
}

void frmPackage::cmdRemove_Click()
{
    if (m_walking)
        return;
    const int node = m_filesModel->nodeOf(tvFiles->currentIndex());
    if (node < 0)
        return;
    RemoveSelectedNode(contents->node(node).Kind == PackNodeKind::Folder ? 1 : 0);
}

void frmPackage::mnuPopFilesRemove_Click()
{
    RemoveSelectedNode(0);
}

void frmPackage::mnuPopFoldersRemove_Click()
{
    RemoveSelectedNode(1);
}

void frmPackage::RemoveSelectedNode(int isFolder)
{
    if (m_walking)
        return;
    const int node = m_filesModel->nodeOf(tvFiles->currentIndex());
    if (node >= 0) {
        const QString prompt = (isFolder == 0 ? tr("Are you sure you want to remove the file  '%1' ?")
                                              : tr("Are you sure you want to remove the folder  '%1' ?"))
                                   .arg(contents->Text(node));
        if (ShowMessage(this, prompt, MsgBox::YesNo | MsgBox::Question) == MsgBox::Yes)
            contents->RemoveNode(node);
    }
}

void frmPackage::tvFiles_MouseDown(Qt::MouseButton button, const QPoint& pos)
{
    const QModelIndex index = tvFiles->indexAt(pos);
    const int node = m_filesModel->nodeOf(index);
    if (node < 0) {
        if (button == Qt::LeftButton)
            cmdRemove->setEnabled(false);
        return;
    }
    tvFiles->setCurrentIndex(index);
    if (button == Qt::RightButton) {
        QMenu* menu = contents->node(node).Kind == PackNodeKind::Folder ? mnuPopFolders : mnuPopFiles;
        menu->popup(tvFiles->viewport()->mapToGlobal(pos));
    } else if (button == Qt::LeftButton) {
        cmdRemove->setEnabled(true);
    }
}

void frmPackage::tvFiles_Click()
{
    UpdateButtons();
}
