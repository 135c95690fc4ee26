#pragma once

#include "pack/build/AuthorManifest.h"
#include "zip/Turns.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QMap>
#include <QPointer>
#include <array>
#include <memory>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QTreeView;
class ShapeControl;
class LineControl;
class frmImport;
class cProgressBar;
class clsZip;
class PackBuild;
class BuildView;
class clsCommonDialog;
class PackContents;
class PackIcons;
class PackTreeModel;
class PackReopen;
struct PackAddHooks;

// The wizard window: eight pages shown one at a time in the same frame, with
// the header band at the top and Back / Next / Cancel along the bottom.
// A QDialog so that Enter presses the default button (Next) the way users expect.
class frmPackage : public QDialog
{
    Q_OBJECT

public:
    static constexpr int PageCount = 8;

    explicit frmPackage(QWidget* parent = nullptr);
    ~frmPackage() override;

    // ---- page machine ----
    void ShowPage(int page);
    void SetPageHeader(int page);
    void SetTabOrder(int page);
    void ResetTabStops();

    // ---- button and field handlers ----
    void cmdNext_Click();
    void cmdBack_Click();
    void cmdCancel_Click();
    void txtScriptName_Change();
    void cmdPreview_Click();

    // Fills and shows the preview; returns when it has closed.
    void ShowPreview();
    // What the script's own manifest holds beyond the fields, for the build,
    // and its names in one line on the script-information page.
    void SetKeptElements(const AuthorManifest& kept);
    AuthorManifest KeptElements;
    // The pack the release started from, which lends its unchanged entries.
    QString ReuseFrom;

    // ---- pack contents (pages 2 to 4) ----
    void StyleTreeViews();
    void cmdAddFile_Click();
    void cmdAddFolder_Click();
    void cmdRemove_Click();
    void mnuPopFilesRemove_Click();
    void mnuPopFoldersRemove_Click();
    // Mouse press on the files tree at pos (viewport pixels).
    void tvFiles_MouseDown(Qt::MouseButton button, const QPoint& pos);
    void tvFiles_Click();
    // Offers one top-level file; returns the new node or -1 when refused.
    int AddFileToTree(const QString& path);
    // Adds a folder tree at the root; false when refused, unreadable or stopped.
    bool AddFolderToTree(const QString& path);
    void RemoveSelectedNode(int isFolder);
    // Files and folders dropped on the files tree, added as Add Files / Add SubFolder would.
    void AddDroppedPaths(const QStringList& paths);
    // What a script folder holds, at the root, all but its manifest.
    void AddScriptFolder(const QString& folder, const QString& manifest);
    // The window's one dialog wrapper, made on first use (shared with Browse).
    clsCommonDialog& CommonDialog();

    // The one pack-contents model behind tvFiles, tvReg1 and tvReg2.
    PackContents* contents = nullptr;
    clsCommonDialog* FileDialog = nullptr;

    // ---- build and host (pages 5 to 7) ----
    void InitProgressBar();
    void LoadScriptsDir();
    void cmdBrowse_Click();
    // Builds the pack named by txtPackPath; true when it was written.
    bool makePack();
    // Moves the bar on by step, shows the caption and lets the window repaint;
    // at most about sixty times a second, the latest caption winning.
    void ShowProgress(qint16 step, const QString& caption);
    // Shows what ShowProgress held back when it is due (or now, when forced),
    // and lets the window repaint when asked to.
    void FlushProgress(bool force, bool processEvents);
    // How long ShowProgress holds a caption back at most; 0 shows every one.
    qint64 ProgressPaintIntervalMs = kTurnIntervalMs;
    // True while makePack runs (the window may be closing meanwhile).
    bool isBuilding() const { return m_building; }

    // ---- shared state ----
    qint16 CurrentPage = 0;
    QString StartFolder;
    // Where Browse opens while no pack path is chosen; empty: the dialog's default.
    QString SaveFolder;
    // Starting from an earlier pack (welcome page, drop, command line).
    PackReopen* Reopen = nullptr;
    bool CancelRequested = false;
    // The window's progress bars by the name of the control they paint.
    QMap<QString, std::shared_ptr<cProgressBar>> ProgressBars;
    // The archiver of the builds; its events are answered by m_packBuild.
    std::unique_ptr<clsZip> cZip;

    // ---- controls: header and button bar ----
    ShapeControl* Shape1 = nullptr;
    LineControl* lneTop = nullptr;
    QLabel* lblHeadTitle = nullptr;
    QLabel* lblHeadDesc = nullptr;
    QLabel* Image1 = nullptr;
    QFrame* frmBottom = nullptr;
    QPushButton* cmdBack = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdCancel = nullptr;
    std::array<QWidget*, PageCount> picPack{};
    QLabel* picSmall = nullptr;
    QMenu* mnuPopFiles = nullptr;
    QAction* mnuPopFilesRemove = nullptr;
    QMenu* mnuPopFolders = nullptr;
    QAction* mnuPopFoldersRemove = nullptr;

    // ---- page 0 ----
    QLabel* lblWelcome = nullptr;
    QLabel* lblWelcome2 = nullptr;
    QLabel* lblWelcome3 = nullptr;

    // ---- page 1 ----
    QLabel* lblScriptName = nullptr;
    QLineEdit* txtScriptName = nullptr;
    QLabel* lblLenWarn = nullptr;
    QLabel* lblScriptDesc = nullptr;
    QLabel* lblDescOpt = nullptr;
    QPlainTextEdit* txtScriptDesc = nullptr;
    QLabel* lblScriptURL = nullptr;
    QLabel* lblURLOpt = nullptr;
    QLineEdit* txtScriptURL = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtScriptVersion = nullptr;
    QPushButton* cmdPreview = nullptr;
    QLabel* lblKept = nullptr;

    // ---- page 2 to 4 ----
    QTreeView* tvFiles = nullptr;
    QPushButton* cmdAddFile = nullptr;
    QPushButton* cmdAddFolder = nullptr;
    QPushButton* cmdRemove = nullptr;
    QTreeView* tvReg1 = nullptr;
    QTreeView* tvReg2 = nullptr;

    // ---- page 5 ----
    QLabel* lblChoosePack = nullptr;
    QLineEdit* txtPackPath = nullptr;
    QPushButton* cmdBrowse = nullptr;

    // ---- page 6 ----
    QWidget* picProgress = nullptr;
    QLabel* lblProgress = nullptr;

    // ---- page 7 ----
    QLabel* lblHooray = nullptr;
    QCheckBox* chkOpen = nullptr;

    // The preview on show, if any (tests answer it through this).
    QPointer<frmImport> preview() const { return m_preview; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildHeader();
    void buildPages();
    void buildPage0(QWidget* page);
    void buildPage1(QWidget* page);
    void buildPage2(QWidget* page);
    void buildPage34(QWidget* page3, QWidget* page4);
    void buildPage5(QWidget* page);
    void buildPage6(QWidget* page);
    void buildPage7(QWidget* page);
    void Form_Load();
    void Form_Unload();
    // The build hand-off of Next on the save page.
    void BuildPack();
    void ShowFailureReason(const QString& reason);
    // Keeps a self-sizing label's horizontal centre where the design put it.
    void CentreLabel(QLabel* label, int centreX);

    QPointer<frmImport> m_preview;
    int m_progressCentreX = 0;
    // What ShowProgress has not shown yet, and when the page last showed it.
    QElapsedTimer m_progressShown;
    qint32 m_progressSteps = 0;
    QString m_progressCaption;
    bool m_progressPending = false;
    // Releases what the build uses, unless a build is still unwinding.
    void ReleaseBuildObjects();
    std::unique_ptr<BuildView> m_buildView;
    std::unique_ptr<PackBuild> m_packBuild;
    bool m_building = false;
    bool m_unloaded = false;

    // Back, Next (and its caption) and Cancel follow from CurrentPage and
    // whether that page is complete, as QWizard derives its buttons; called
    // wherever one of those inputs changes.
    void UpdateButtons();
    bool PageComplete(int page) const;
    bool ScriptNameFits() const;
    // A pack path was chosen since the save page was last shown.
    bool m_browsed = false;
    // The last build failed: the finish page offers Back to try again.
    bool m_buildFailed = false;

    // pack contents
    void SetupContents();
    bool BeginWalk();
    void EndWalk();
    // Refusals as message boxes, and the window's turns during a walk.
    PackAddHooks WalkHooks();
    PackTreeModel* TreeModel(QTreeView* view) const;
    PackIcons* m_icons = nullptr;
    PackTreeModel* m_filesModel = nullptr;
    PackTreeModel* m_reg1Model = nullptr;
    PackTreeModel* m_reg2Model = nullptr;
    bool m_walking = false;
    bool m_walkAborted = false;
    QPointer<QWidget> m_focusBeforeWalk;
    bool m_removeWasEnabled = false;
};
