// Pages 5 to 7: where the pack goes, the build and its outcome.
#include "Twips.h"
#include "frmPackage.h"
#include "pack/build/clsZip.h"
#include "pack/build/makePack.h"
#include "pack/contents/PackContents.h"
#include "platform/BuildLog.h"
#include "platform/modRegistry.h"
#include "widgets/cProgressBar.h"
#include "widgets/clsCommonDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

// The window as the build sees it.
class FormBuildView final : public BuildView
{
public:
    explicit FormBuildView(frmPackage& form) : m_form(form) {}
    void ShowProgress(qint16 step, const QString& caption) override { m_form.ShowProgress(step, caption); }
    void DoEvents() override { m_form.FlushProgress(false, true); }
    bool CancelRequested() const override { return m_form.CancelRequested; }

private:
    frmPackage& m_form;
};

// A caption of the build in the user's language; the log keeps the original.
QString ShownCaption(const QString& caption)
{
    const QString adding = QStringLiteral("Adding File:  ");
    if (caption.startsWith(adding))
        return QCoreApplication::translate("PackBuild", "Adding File:  ") + caption.mid(adding.size());
    return QCoreApplication::translate("PackBuild", caption.toUtf8().constData());
}

} // namespace

void frmPackage::InitProgressBar()
{
    auto bar = std::make_shared<cProgressBar>();
    bar->setDrawObject(picProgress);
    bar->setMin(0);
    bar->setMax(100);
    bar->setTag(QStringLiteral("5"));
    bar->setXpStyle(true);
    ProgressBars.insert(picProgress->objectName(), bar);
}

void frmPackage::LoadScriptsDir()
{
    StartFolder = ScriptsFolderFromRegistry();
}

void frmPackage::cmdBrowse_Click()
{
    const QString initDir = txtPackPath->text().isEmpty() ? SaveFolder : GetFolderPath(txtPackPath->text());
    QString filename;
    QString fileTitle;
    QString filter = tr("Script Files (*.plsc)|*.plsc");
    long filterIndex = 1;
    long flags = 0;
    if (!CommonDialog().VBGetSaveFileName(filename, fileTitle, true, filter, filterIndex, initDir,
                                          tr("Save Script File"), QStringLiteral("plsc"), this, flags))
        return;
    txtPackPath->setText(filename);
    m_browsed = true;
    UpdateButtons();
    // The window manager does not always hand the activation back when the
    // dialog closes; without it Enter would not reach Next.
    activateWindow();
    raise();
    cmdNext->setFocus();
}

void frmPackage::ShowProgress(qint16 step, const QString& caption)
{
    WriteLog(caption);
    m_progressSteps += step;
    m_progressCaption = caption;
    m_progressPending = true;
    // A file's step and caption every few hundred microseconds would repaint
    // the page far more often than a screen shows; the latest one at about
    // sixty a second keeps it live (the archiver's idle turns come every 20 ms).
    if (!m_progressShown.isValid() || m_progressShown.elapsed() >= ProgressPaintIntervalMs)
        FlushProgress(true, true);
}

void frmPackage::FlushProgress(bool force, bool processEvents)
{
    if (m_progressPending &&
        (force || !m_progressShown.isValid() || m_progressShown.elapsed() >= ProgressPaintIntervalMs)) {
        m_progressPending = false;
        m_progressShown.start();
        if (!ProgressBars.isEmpty() && m_progressSteps != 0) {
            cProgressBar& bar = *ProgressBars.first();
            bar.setValue(bar.Value() + m_progressSteps);
        }
        m_progressSteps = 0;
        lblProgress->setText(ShownCaption(m_progressCaption));
        CentreLabel(lblProgress, m_progressCentreX);
    }
    if (processEvents)
        QCoreApplication::processEvents();
}

bool frmPackage::makePack()
{
    WriteLog(QStringLiteral("makePack"));
    ShowPage(CurrentPage + 1);
    if (!cZip)
        return false;
    if (!m_buildView)
        m_buildView = std::make_unique<FormBuildView>(*this);
    if (!m_packBuild)
        m_packBuild = std::make_unique<PackBuild>(*cZip, *m_buildView);

    PackRequest request;
    request.ScriptName = txtScriptName->text();
    request.ScriptDesc = txtScriptDesc->toPlainText();
    request.ScriptURL = txtScriptURL->text();
    request.ScriptVersion = txtScriptVersion->text();
    request.PackPath = txtPackPath->text();
    request.Contents = contents;
    request.Kept = KeptElements;
    request.ReuseFrom = ReuseFrom;

    m_building = true;
    m_progressShown.invalidate();
    const bool ok = m_packBuild->makePack(request);
    FlushProgress(true, false);
    m_building = false;
    if (m_unloaded)
        ReleaseBuildObjects();
    return ok;
}

void frmPackage::ReleaseBuildObjects()
{
    if (m_building)
        return;
    m_packBuild.reset();
    cZip.reset();
    ProgressBars.clear();
}

// One plain line under the error text, where the check box would be, naming
// what went wrong.
void frmPackage::ShowFailureReason(const QString& reason)
{
    if (reason.isEmpty())
        return;
    QWidget* page = lblHooray->parentWidget();
    auto* label = page->findChild<QLabel*>(QStringLiteral("lblReason"));
    if (label == nullptr) {
        label = new QLabel(page);
        label->setObjectName(QStringLiteral("lblReason"));
        label->setFont(lblHooray->font());
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    label->setGeometry(TwipsRect(1440, 1440, 4800, 1200));
    label->setText(reason);
    label->show();
}

void frmPackage::BuildPack()
{
    if (!txtPackPath->text().endsWith(QStringLiteral(".plsc"), Qt::CaseSensitive))
        txtPackPath->setText(txtPackPath->text() + QStringLiteral(".plsc"));
    m_buildFailed = !makePack();
    if (!m_buildFailed) {
        lblHooray->setText(tr("Script Pack has succesfully been created."));
        chkOpen->show();
        if (auto* reason = picPack[7]->findChild<QLabel*>(QStringLiteral("lblReason")))
            reason->hide();
    } else {
        chkOpen->hide();
        lblHooray->setText(tr("There was an error creating the Script Pack."));
        ShowFailureReason(m_packBuild ? m_packBuild->LastError() : QString());
    }
    // The label sizes itself to its caption, as it did for the design text.
    lblHooray->adjustSize();
    ShowPage(CurrentPage + 1);
}
