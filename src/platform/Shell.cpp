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
        const QUrl url =
            QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
        return QDesktopServices::openUrl(url);
    }
};

} // namespace

template <> Shell& Seam<Shell>::platform()
{
    static DesktopShell desktop;
    return desktop;
}

void ShellOpen(const QString& target)
{
    Shell::current().open(target);
}
