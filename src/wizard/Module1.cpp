#include "Module1.h"

#include "Fonts.h"
#include "PackReopen.h"
#include "frmPackage.h"
#include "platform/Language.h"

#include <QApplication>
#include <QTextStream>

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
    Language::InstallTranslations();
    InitVisualStyles();
    // Qt has taken its own options out; what is left is at most the pack to start from.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 2) {
        QTextStream(stderr)
            << "Usage: bundlesmith [OLD.plsc | ScriptInfo.xml | FOLDER]\n       bundlesmith pack --help\n";
        return 2;
    }
    frmPackage form;
    form.show();
    if (arguments.size() == 2)
        form.Reopen->StartFrom(arguments.at(1));
    return QApplication::exec();
}
