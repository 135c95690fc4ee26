#pragma once

#include <QStringList>

class QTextStream;

// Exit status of the command line. Scripts that automate releases tell the
// failures apart by these numbers; --help lists them.
enum CommandExit : int
{
    ExitWritten = 0,      // the pack was written
    ExitBadArguments = 2, // unknown option, missing or invalid value
    ExitRefused = 3,      // an input the wizard would refuse, or an unreadable --from pack
    ExitBuildFailed = 4,  // the build itself failed; the old pack is untouched
    ExitOutputExists = 5  // the output exists and --force was not given
};

// True when the arguments ask for the command line rather than the wizard
// (or are more than the wizard takes, which the command line reports).
bool IsCommandLine(const QStringList& arguments);

// Runs "bundlesmith pack ..." (or --help / --version) without a display.
// arguments[0] is the program. Progress goes to err only when progress is true.
int RunCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err, bool progress);
