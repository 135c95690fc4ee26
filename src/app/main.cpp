#include "app/PackCommand.h"
#include "wizard/Module1.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
#ifndef Q_OS_WIN
    // With TZ unset the C library checks /etc/localtime again on every
    // local-time conversion, several per packed file; named, the zone is
    // read once. Qt takes this value to mean the system's zone, as unset does.
    if (std::getenv("TZ") == nullptr)
        setenv("TZ", ":/etc/localtime", 1);
#endif
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
