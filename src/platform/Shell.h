#pragma once

#include "platform/Seam.h"

#include <QString>

// The shell's "open" verb: hands a file or an address to the application the
// desktop associates with it. Fire and forget; tests install a recorder.
class Shell : public Seam<Shell>
{
public:
    virtual ~Shell() = default;
    virtual bool open(const QString& target) = 0;
};

template <> Shell& Seam<Shell>::platform();

// Opens a local file or a URL through the current shell; the result is not reported.
void ShellOpen(const QString& target);
