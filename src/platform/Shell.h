#pragma once

#include <QString>

// The shell's "open" verb: hands a file or an address to the application the
// desktop associates with it. Fire and forget; tests install a recorder.
class Shell
{
public:
    virtual ~Shell() = default;
    virtual bool open(const QString& target) = 0;

    static Shell& current();
    // Replaces the service; nullptr restores the desktop's. Not owned.
    static void install(Shell* service);
};

// Opens a local file or a URL through the current shell; the result is not reported.
void ShellOpen(const QString& target);
