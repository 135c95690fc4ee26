#include "Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

class DesktopShell final : public Shell
{
public:
    bool open(const QString& target) override
    {
        // A path that exists on disk is a file; anything else is handed over as an address.
        const QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
        return QDesktopServices::openUrl(url);
    }
};

DesktopShell g_desktop;
Shell* g_current = nullptr;

} // namespace

Shell& Shell::current()
{
    return g_current ? *g_current : static_cast<Shell&>(g_desktop);
}

void Shell::install(Shell* service)
{
    g_current = service;
}

void ShellOpen(const QString& target)
{
    Shell::current().open(target);
}
