// Pages 5 to 7: where the pack goes, the build and its outcome.
#include "frmPackage.h"
#include "platform/modRegistry.h"
#include "widgets/cProgressBar.h"

#include <QLineEdit>
#include <QPushButton>

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

void frmPackage::cmdBrowse_Click() {}

void frmPackage::BuildPack()
{
    if (!txtPackPath->text().endsWith(QStringLiteral(".plsc"), Qt::CaseSensitive))
        txtPackPath->setText(txtPackPath->text() + QStringLiteral(".plsc"));
    ShowPage(CurrentPage + 1);
    ShowPage(CurrentPage + 1);
}
