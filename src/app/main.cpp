#include "app/PackCommand.h"
#include "wizard/Module1.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!IsCommandLine(arguments))
        return Main(argc, argv);

    // The command line needs no display: a build server has none.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Bundlesmith"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunCommandLine(QCoreApplication::arguments(), out, err, isatty(fileno(stderr)) != 0);
}
