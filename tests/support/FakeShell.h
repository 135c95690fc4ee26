#pragma once

#include "platform/Shell.h"

#include <QStringList>

// Records what the program asked the shell to open, and opens nothing.
class FakeShell final : public Shell
{
public:
    FakeShell() { Shell::install(this); }
    ~FakeShell() override { Shell::install(nullptr); }
    FakeShell(const FakeShell&) = delete;
    FakeShell& operator=(const FakeShell&) = delete;

    bool open(const QString& target) override
    {
        opened.append(target);
        return true;
    }

    QStringList opened;
};
