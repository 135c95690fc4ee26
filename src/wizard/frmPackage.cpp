#include "frmPackage.h"

#include "Artwork.h"
#include "Fonts.h"
#include "FormShapes.h"
#include "PackReopen.h"
#include "PackTreeView.h"
#include "TreeStyle.h"
#include "Twips.h"
#include "WindowPlacement.h"
#include "frmImport.h"
#include "pack/build/ScriptPackReader.h"
#include "pack/build/clsZip.h"
#include "pack/build/makePack.h"
#include "pack/contents/PackContents.h"
#include "platform/MsgBox.h"
#include "platform/Shell.h"
#include "widgets/OleColor.h"
#include "widgets/cProgressBar.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTreeView>
#include <algorithm>

namespace {

// Client area of the wizard window (the outer 6570 x 5760 twips less the frame).
constexpr int ClientWidthTwips = 6480;
constexpr int ClientHeightTwips = 5355;
constexpr int PageLeftTwips = 135;
constexpr int PageTopTwips = 1005;

// A self-sizing label: Left and Top are fixed, the size follows the caption.
QLabel* AutoLabel(QWidget* parent, const char* name, const QString& caption, int left, int top, int height,
                  const QFont* font = nullptr)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    if (font)
        label->setFont(*font);
    label->move(TwipsPoint(left, top));
    label->adjustSize();
    label->setMinimumHeight(TwipsToPixels(height));
    label->adjustSize();
    return label;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                    int height)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(TwipsRect(left, top, width, height));
    return button;
}

template <typename Edit>
Edit* TextBox(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* edit = new Edit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(TwipsRect(left, top, width, height));
    return edit;
}

QTreeView* TreeView(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* tree = new PackTreeView(parent);
    tree->setObjectName(QLatin1String(name));
    tree->setGeometry(TwipsRect(left, top, width, height));
    tree->setFont(Fonts::Tahoma(8.25));
    tree->setHeaderHidden(true);
    tree->setUniformRowHeights(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setIconSize(QSize(16, 16));
    tree->setStyle(TreeStyle::instance());
    return tree;
}

// A label that names a field: its letter moves the focus there, and a
// screen reader calls the field by the label's words.
void Buddy(QLabel* label, QWidget* field)
{
    label->setBuddy(field);
    field->setAccessibleName(label->text().remove(QLatin1Char('&')).remove(QLatin1Char(':')).trimmed());
}

void SetTabStop(QWidget* widget, bool stop, int index)
{
    widget->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
    widget->setProperty("TabStop", stop);
    widget->setProperty("TabIndex", index);
}

} // namespace

frmPackage::frmPackage(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPackage"));
    setWindowTitle(QStringLiteral("Bundlesmith"));
    setWindowIcon(Artwork::WindowIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(Fonts::Tahoma(8.25));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);

    buildHeader();
    buildPages();
    Form_Load();
    Reopen = new PackReopen(*this);
    SetTabOrder(CurrentPage); // the welcome page's button has come
}

frmPackage::~frmPackage() = default;

void frmPackage::buildHeader()
{
    Shape1 = new ShapeControl(this, BgrColor(0x808080), BgrColor(0xFFFFFF));
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(TwipsRect(-10, -10, 6510, 855));

    lneTop = new LineControl(this, 0, TwipsToPixels(6480), TwipsToPixels(840), BgrColor(0xC0C0C0));
    lneTop->setObjectName(QStringLiteral("lneTop"));

    const QFont titleFont = Fonts::Tahoma(9, true);
    const QFont descFont = Fonts::Tahoma(9);
    lblHeadTitle = AutoLabel(this, "lblHeadTitle", QStringLiteral("Header Title"), 210, 105, 210, &titleFont);
    lblHeadDesc =
        AutoLabel(this, "lblHeadDesc", QStringLiteral("This is the description."), 570, 405, 210, &descFont);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(TwipsRect(5805, 150, 480, 480));
    Image1->setPixmap(Artwork::HeaderLogo());

    // A frame without caption whose top edge is the separator above the buttons.
    frmBottom = new QFrame(this);
    frmBottom->setObjectName(QStringLiteral("frmBottom"));
    frmBottom->setGeometry(TwipsRect(-10, 4470, 6520, 885));
    frmBottom->setFrameShape(QFrame::Box);
    frmBottom->setFrameShadow(QFrame::Sunken);

    cmdBack = Button(this, "cmdBack", tr("< &Back"), 2745, 4785, 1110, 330);
    cmdNext = Button(this, "cmdNext", tr("&Next >"), 3900, 4785, 1110, 330);
    cmdCancel = Button(this, "cmdCancel", tr("&Cancel"), 5160, 4785, 1110, 330);
    cmdNext->setDefault(true);
    cmdNext->setAutoDefault(true);
    cmdBack->setAutoDefault(true);
    cmdCancel->setAutoDefault(true);

    connect(cmdNext, &QPushButton::clicked, this, &frmPackage::cmdNext_Click);
    connect(cmdBack, &QPushButton::clicked, this, &frmPackage::cmdBack_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmPackage::cmdCancel_Click);

    // The icon drawing surface lies outside the window and is never seen.
    picSmall = new QLabel(this);
    picSmall->setObjectName(QStringLiteral("picSmall"));
    picSmall->setGeometry(TwipsRect(13230, 120, 240, 240));
    picSmall->hide();

    // Pop-up menus: never a menu bar; the files tree opens them.
    mnuPopFiles = new QMenu(QStringLiteral("Moo"), this);
    mnuPopFiles->setObjectName(QStringLiteral("mnuPopFiles"));
    mnuPopFilesRemove = mnuPopFiles->addAction(tr("Remove File from Script Pack"));
    mnuPopFilesRemove->setObjectName(QStringLiteral("mnuPopFilesRemove"));
    mnuPopFolders = new QMenu(QStringLiteral("Moo"), this);
    mnuPopFolders->setObjectName(QStringLiteral("mnuPopFolders"));
    mnuPopFoldersRemove = mnuPopFolders->addAction(tr("Remove Folder from Script Pack"));
    mnuPopFoldersRemove->setObjectName(QStringLiteral("mnuPopFoldersRemove"));
    connect(mnuPopFilesRemove, &QAction::triggered, this, &frmPackage::mnuPopFilesRemove_Click);
    connect(mnuPopFoldersRemove, &QAction::triggered, this, &frmPackage::mnuPopFoldersRemove_Click);
}

void frmPackage::buildPages()
{
    for (int i = 0; i < PageCount; ++i) {
        auto* page = new QWidget(this);
        page->setObjectName(QStringLiteral("picPack%1").arg(i));
        page->setGeometry(TwipsRect(PageLeftTwips, PageTopTwips, 6195, 3345));
        page->setFont(Fonts::MsSansSerif(8.25));
        page->hide();
        picPack[i] = page;
    }
    buildPage0(picPack[0]);
    buildPage1(picPack[1]);
    buildPage2(picPack[2]);
    buildPage34(picPack[3], picPack[4]);
    buildPage5(picPack[5]);
    buildPage6(picPack[6]);
    buildPage7(picPack[7]);
    // The buttons lie on top of the bottom frame.
    cmdBack->raise();
    cmdNext->raise();
    cmdCancel->raise();
}

void frmPackage::buildPage0(QWidget* page)
{
    const QFont welcomeFont = Fonts::Tahoma(9.75);
    lblWelcome = AutoLabel(page, "lblWelcome", tr("Welcome to the Plus! Live Bundlesmith."), 720, 480, 240,
                           &welcomeFont);
    QPalette pal = lblWelcome->palette();
    pal.setColor(QPalette::WindowText, BgrColor(0xC00000));
    lblWelcome->setPalette(pal);

    lblWelcome2 = new QLabel(tr("This wizard will help you make your Messenger Plus! Live scripts into "
                                "script packs so that you can easily share and distribute them."),
                             page);
    lblWelcome2->setObjectName(QStringLiteral("lblWelcome2"));
    // Room below the design's two lines for a third, which a longer language
    // or another face may need; the text stands at the top, as designed.
    lblWelcome2->setGeometry(TwipsRect(720, 1440, 5055, 825));
    lblWelcome2->setWordWrap(true);
    lblWelcome2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblWelcome3 = AutoLabel(page, "lblWelcome3", tr("Click Next to continue."), 720, 2400, 195);
}

void frmPackage::buildPage1(QWidget* page)
{
    const QFont caption = Fonts::Tahoma(8.25, true);
    const QFont optional = Fonts::Tahoma(6.75, false, true);
    const QFont warn = Fonts::Tahoma(6.75);

    lblScriptName = AutoLabel(page, "lblScriptName", tr("&Script Name:"), 570, 450, 195, &caption);
    txtScriptName = TextBox<QLineEdit>(page, "txtScriptName", 1800, 405, 3960, 285);

    lblLenWarn = AutoLabel(page, "lblLenWarn", tr("Script Name can be maximum of 127 characters"), 1830, 735,
                           165, &warn);
    QPalette red = lblLenWarn->palette();
    red.setColor(QPalette::WindowText, BgrColor(0x0000FF));
    lblLenWarn->setPalette(red);
    lblLenWarn->hide();

    lblScriptDesc = AutoLabel(page, "lblScriptDesc", tr("&Description:"), 630, 1125, 195, &caption);
    lblDescOpt = AutoLabel(page, "lblDescOpt", tr("(optional)"), 1050, 1350, 165, &optional);
    txtScriptDesc = TextBox<QPlainTextEdit>(page, "txtScriptDesc", 1800, 1080, 3960, 810);
    txtScriptDesc->setTabChangesFocus(true);

    lblScriptURL = AutoLabel(page, "lblScriptURL", tr("&About URL:"), 705, 2070, 195, &caption);
    lblURLOpt = AutoLabel(page, "lblURLOpt", tr("(optional)"), 1050, 2295, 165, &optional);
    txtScriptURL = TextBox<QLineEdit>(page, "txtScriptURL", 1800, 2025, 3960, 285);

    Label1 = AutoLabel(page, "Label1", tr("&Version:"), 975, 2685, 195, &caption);
    Label2 = AutoLabel(page, "Label2", tr("(optional)"), 1065, 2910, 165, &optional);
    txtScriptVersion = TextBox<QLineEdit>(page, "txtScriptVersion", 1800, 2640, 525, 285);
    txtScriptVersion->setText(QStringLiteral("1.0"));
    txtScriptVersion->setAlignment(Qt::AlignCenter);

    cmdPreview = Button(page, "cmdPreview", tr("&Preview"), 4815, 2640, 915, 330);
    // Each field answers to its label's letter, and is named by it to a screen reader.
    for (const auto& [label, field] : {std::pair<QLabel*, QWidget*>{lblScriptName, txtScriptName},
                                       {lblScriptDesc, txtScriptDesc},
                                       {lblScriptURL, txtScriptURL},
                                       {Label1, txtScriptVersion}})
        Buddy(label, field);
    cmdPreview->setEnabled(false);

    // Below the fields, the width of the page's contents; shown only while
    // an author's manifest has something to keep.
    lblKept = new QLabel(page);
    lblKept->setObjectName(QStringLiteral("lblKept"));
    lblKept->setFont(warn);
    lblKept->setGeometry(TwipsRect(570, 3165, 5160, 195));
    lblKept->hide();

    connect(txtScriptName, &QLineEdit::textChanged, this, &frmPackage::txtScriptName_Change);
    connect(cmdPreview, &QPushButton::clicked, this, &frmPackage::cmdPreview_Click);
}

void frmPackage::buildPage2(QWidget* page)
{
    tvFiles = TreeView(page, "tvFiles", 360, 225, 4335, 2910);
    cmdAddFile = Button(page, "cmdAddFile", tr("Add &Files"), 4860, 825, 1215, 330);
    cmdAddFolder = Button(page, "cmdAddFolder", tr("Add &SubFolder"), 4860, 1470, 1215, 330);
    cmdRemove = Button(page, "cmdRemove", tr("&Remove"), 4860, 2115, 1215, 330);
    cmdRemove->setEnabled(false);
    for (QPushButton* b : {cmdAddFile, cmdAddFolder, cmdRemove})
        b->setAutoDefault(true);
    connect(cmdAddFile, &QPushButton::clicked, this, &frmPackage::cmdAddFile_Click);
    connect(cmdAddFolder, &QPushButton::clicked, this, &frmPackage::cmdAddFolder_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmPackage::cmdRemove_Click);
}

void frmPackage::buildPage34(QWidget* page3, QWidget* page4)
{
    tvReg1 = TreeView(page3, "tvReg1", 360, 225, 5490, 2910);
    tvReg2 = TreeView(page4, "tvReg2", 360, 225, 5490, 2910);
    SetupContents();
}

void frmPackage::buildPage5(QWidget* page)
{
    lblChoosePack =
        AutoLabel(page, "lblChoosePack", tr("&Where do you want to save the Script Pack..."), 360, 735, 195);
    txtPackPath = TextBox<QLineEdit>(page, "txtPackPath", 345, 1365, 5265, 285);
    txtPackPath->setReadOnly(true);
    Buddy(lblChoosePack, txtPackPath);
    cmdBrowse = Button(page, "cmdBrowse", tr("B&rowse..."), 4500, 1905, 1110, 330);
    cmdBrowse->setAutoDefault(true);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmPackage::cmdBrowse_Click);
}

void frmPackage::buildPage6(QWidget* page)
{
    picProgress = new QWidget(page);
    picProgress->setObjectName(QStringLiteral("picProgress"));
    picProgress->setGeometry(TwipsRect(960, 1320, 4155, 375));
    picProgress->setAccessibleName(tr("Progress"));

    lblProgress = AutoLabel(page, "lblProgress", QStringLiteral(" "), 3000, 1920, 195);
    lblProgress->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    // The design centres the caption under the bar; keep it centred as it grows.
    m_progressCentreX = lblProgress->geometry().center().x();
}

void frmPackage::buildPage7(QWidget* page)
{
    lblHooray = AutoLabel(page, "lblHooray", tr("Script Pack has been created.   Hooray"), 1440, 1080, 195);
    chkOpen = new QCheckBox(tr("&Open Script Pack in Messenger Plus! Live"), page);
    chkOpen->setObjectName(QStringLiteral("chkOpen"));
    // The designed 13 px are one short of the box the style draws: grow by
    // the least that shows the box and the caption whole.
    QRect openRect = TwipsRect(1440, 1800, 3735, 195);
    openRect.setHeight(std::max({openRect.height(), chkOpen->style()->pixelMetric(QStyle::PM_IndicatorHeight),
                                 chkOpen->fontMetrics().height()}));
    chkOpen->setGeometry(openRect);
    chkOpen->setChecked(false);
}

void frmPackage::CentreLabel(QLabel* label, int centreX)
{
    label->adjustSize();
    QRect g = label->geometry();
    g.moveLeft(qMax(0, centreX - g.width() / 2));
    label->setGeometry(g);
}

void frmPackage::Form_Load()
{
    cZip = std::make_unique<clsZip>();
    StyleTreeViews();
    InitProgressBar();
    LoadScriptsDir();
    setFixedSize(TwipsToPixels(ClientWidthTwips), TwipsToPixels(ClientHeightTwips));
    CentreOnScreen(this);
    CurrentPage = 0;
    ShowPage(0);
}

void frmPackage::Form_Unload()
{
    // Closed from the title bar during a build: that is a cancel too, and
    // what the build still holds is released once it has unwound.
    if (m_building)
        CancelRequested = true;
    m_unloaded = true;
    ReleaseBuildObjects();
}

void frmPackage::ShowPage(int page)
{
    CurrentPage = qint16(page);
    if (page < 0 || page >= PageCount)
        return;

    for (QWidget* panel : picPack)
        panel->hide();
    picPack[page]->move(TwipsPoint(PageLeftTwips, PageTopTwips));
    picPack[page]->show();

    if (page == 5)
        m_browsed = false; // every visit asks for its own Browse
    UpdateButtons();

    SetPageHeader(page);
    SetTabOrder(page);
    // Where each page starts; never Cancel, where Enter would ask to close the wizard.
    // After a failed build Finish would close the window and lose the work: Back is where Enter goes.
    QWidget* const first[PageCount] = {
        cmdNext, txtScriptName, cmdAddFile,  tvReg1,
        tvReg2,  cmdBrowse,     picProgress, m_buildFailed ? cmdBack : cmdNext};
    first[page]->setFocus();
}

void frmPackage::UpdateButtons()
{
    const int page = CurrentPage;
    // A folder walk holds the window on its page until it ends; the build
    // page is left by the build itself, and the finish page only closes.
    cmdBack->setEnabled(((page >= 1 && page <= 5) || (page == 7 && m_buildFailed)) && !m_walking);
    cmdNext->setEnabled(!m_walking && PageComplete(page));
    cmdNext->setText(page == 7 ? tr("&Finish") : tr("&Next >"));
    cmdCancel->setEnabled(page != 7);
}

bool frmPackage::PageComplete(int page) const
{
    switch (page) {
    case 1:
        return ScriptNameFits();
    case 2:
        return !contents->isEmpty();
    case 5:
        return m_browsed;
    case 6:
        return false;
    default:
        return true;
    }
}

bool frmPackage::ScriptNameFits() const
{
    const qsizetype length = txtScriptName->text().length();
    return length >= 1 && length <= kMaxScriptNameLength;
}

void frmPackage::SetPageHeader(int page)
{
    static const char* const titles[PageCount][2] = {
        {QT_TR_NOOP("Bundlesmith"), QT_TR_NOOP("Make your Scripts into Packages.")},
        {QT_TR_NOOP("Script Info"), QT_TR_NOOP("Some Script Information.")},
        {QT_TR_NOOP("Add Files"), QT_TR_NOOP("Add Files to the Script Pack.")},
        {QT_TR_NOOP("Register as COM Objects."),
         QT_TR_NOOP("Check the Files to be Registered as COM Objects.")},
        {QT_TR_NOOP("Register .NET Files."),
         QT_TR_NOOP("Check the Files to be Registered with Regasm .NET Utility.")},
        {QT_TR_NOOP("Save Script Pack"), QT_TR_NOOP("Where shall we Save the Script Pack?")},
        {QT_TR_NOOP("Please Wait"), QT_TR_NOOP("Creating the Script Pack.")},
        {QT_TR_NOOP("Finished"), QT_TR_NOOP("Isn't That Nice.")},
    };
    if (page < 0 || page >= PageCount)
        return;
    lblHeadTitle->setText(tr(titles[page][0]));
    lblHeadTitle->adjustSize();
    lblHeadDesc->setText(tr(titles[page][1]));
    lblHeadDesc->adjustSize();
}

void frmPackage::ResetTabStops()
{
    const auto widgets = findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (qobject_cast<QPushButton*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w))
            SetTabStop(w, false, 0);
    }
}

void frmPackage::SetTabOrder(int page)
{
    ResetTabStops();
    // Each page's controls in the order they stand, then the buttons along
    // the bottom; Tab and Shift+Tab go round them, skipping what is disabled.
    QList<QWidget*> order;
    switch (page) {
    case 0:
        order = {Reopen ? static_cast<QWidget*>(Reopen->cmdOpenPack) : nullptr};
        break;
    case 1:
        order = {txtScriptName, txtScriptDesc, txtScriptURL, txtScriptVersion, cmdPreview};
        break;
    case 2:
        order = {tvFiles, cmdAddFile, cmdAddFolder, cmdRemove};
        break;
    case 3:
        order = {tvReg1};
        break;
    case 4:
        order = {tvReg2};
        break;
    case 5:
        order = {txtPackPath, cmdBrowse};
        break;
    case 6:
        order = {picProgress};
        break;
    case 7:
        order = {chkOpen};
        break;
    default:
        return;
    }
    order.removeAll(nullptr);
    order << cmdBack << cmdNext << cmdCancel;
    for (int i = 0; i < order.size(); ++i) {
        SetTabStop(order[i], true, i);
        if (i > 0)
            QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void frmPackage::cmdNext_Click()
{
    if (CurrentPage >= 7) {
        if (chkOpen->isVisibleTo(picPack[7]) && chkOpen->isChecked())
            ShellOpen(txtPackPath->text());
        close();
        return;
    }
    if (CurrentPage == 5) {
        BuildPack();
        return;
    }
    ShowPage(CurrentPage + 1);
}

void frmPackage::cmdBack_Click()
{
    // After a failed build, back past the build to the save page: everything
    // gathered is still there, for another try.
    if (CurrentPage == 7)
        ShowPage(5);
    else if (CurrentPage > 0)
        ShowPage(CurrentPage - 1);
}

void frmPackage::cmdCancel_Click()
{
    if (ShowMessage(this, tr("Are you sure?"), MsgBox::YesNo | MsgBox::Question) != MsgBox::Yes)
        return;
    CancelRequested = true;
    close();
}

void frmPackage::txtScriptName_Change()
{
    // An emptied box leaves the warning as it was.
    const qsizetype length = txtScriptName->text().length();
    if (length > kMaxScriptNameLength)
        lblLenWarn->show();
    else if (length > 0)
        lblLenWarn->hide();
    cmdPreview->setEnabled(ScriptNameFits());
    UpdateButtons();
}

void frmPackage::SetKeptElements(const AuthorManifest& kept)
{
    KeptElements = kept;
    const QString names = kept.NamesLine();
    if (names.isEmpty()) {
        lblKept->hide();
        return;
    }
    const QString line = tr("Also kept from ScriptInfo.xml: ") + names;
    // A long list ends in an ellipsis; the whole of it is in the tip.
    lblKept->setText(lblKept->fontMetrics().elidedText(line, Qt::ElideRight, lblKept->width()));
    lblKept->setToolTip(line);
    lblKept->show();
}

void frmPackage::cmdPreview_Click()
{
    ShowPreview();
}

void frmPackage::ShowPreview()
{
    // Loaded afresh each time, so no link look carries over from an earlier preview.
    frmImport preview(this);
    m_preview = &preview;
    preview.lblName->setText(txtScriptName->text());
    preview.lblName->adjustSize();
    const QString description = txtScriptDesc->toPlainText();
    preview.lblDescription->setText(description.isEmpty() ? tr("(none)") : description);
    if (txtScriptURL->text().isEmpty()) {
        preview.HasURL = false;
    } else {
        preview.HasURL = true;
        preview.AboutURL = txtScriptURL->text();
        preview.ShowAsLink();
    }
    preview.exec();
    m_preview = nullptr;
}

void frmPackage::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmPackage::keyPressEvent(QKeyEvent* event)
{
    // Escape does not close the wizard: only Cancel (with its question) or the title bar do.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
