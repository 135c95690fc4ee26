#pragma once

#include <QStringList>

// What the command line needs of the terminal and the session it runs in.
namespace Console {

// Whether a window could be shown: a display to draw on, or a platform
// named for Qt (-platform, QT_QPA_PLATFORM).
bool HasDisplay(const QStringList& arguments);

// Columns of the terminal on standard error; 0 when it is no terminal.
int Columns();

// From now on the first SIGINT or SIGTERM is noted instead of ending the
// program, so a build can stop and clean up; a second one ends it at once.
void CatchInterrupts();
// The signal caught, or 0.
int Interrupted();

} // namespace Console
