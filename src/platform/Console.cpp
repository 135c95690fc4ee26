#include "platform/Console.h"

#include <QtGlobal>
#include <atomic>
#include <csignal>
#include <cstdlib>

#ifndef Q_OS_WIN
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

std::atomic<int> caught{0};

extern "C" void OnInterrupt(int signal)
{
    caught.store(signal);
    // The next one is not caught: a build that does not stop can still be ended.
    std::signal(signal, SIG_DFL);
}

} // namespace

namespace Console {

bool HasDisplay(const QStringList& arguments)
{
    if (arguments.contains(QStringLiteral("-platform")) || qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return true;
#else
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
#endif
}

int Columns()
{
#ifndef Q_OS_WIN
    winsize size = {};
    if (isatty(STDERR_FILENO) && ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    if (isatty(STDERR_FILENO))
        return qEnvironmentVariableIntValue("COLUMNS") > 0 ? qEnvironmentVariableIntValue("COLUMNS") : 80;
#endif
    return 0;
}

void CatchInterrupts()
{
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

int Interrupted()
{
    return caught.load();
}

} // namespace Console
