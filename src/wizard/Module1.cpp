#include "Module1.h"

#include "Fonts.h"
#include "frmPackage.h"

#include <QApplication>

bool InitVisualStyles()
{
    // Qt draws with the platform's style by default; all that is missing here are
    // the window fonts, which the wizard's design names.
    Fonts::RegisterWindowFonts();
    return true;
}

int Main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Bundlesmith"));
    InitVisualStyles();
    frmPackage form;
    form.show();
    return QApplication::exec();
}
