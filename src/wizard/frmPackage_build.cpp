// Pages 5 to 7: where the pack goes, the build and its outcome.
#include "frmPackage.h"

#include <QLineEdit>
#include <QPushButton>

void frmPackage::InitProgressBar() {}

void frmPackage::LoadScriptsDir() {}

void frmPackage::cmdBrowse_Click() {}

void frmPackage::BuildPack()
{
    if (!txtPackPath->text().endsWith(QStringLiteral(".plsc"), Qt::CaseSensitive))
        txtPackPath->setText(txtPackPath->text() + QStringLiteral(".plsc"));
    ShowPage(CurrentPage + 1);
    ShowPage(CurrentPage + 1);
}
