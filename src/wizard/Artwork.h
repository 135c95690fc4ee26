#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

// The program's pictures, painted at run time so that no binary artwork has to
// be carried: the window icon, the header logo and the preview's import prompt.
namespace Artwork {

// The logo at any square size (16, 24 and 32 are the icon's sizes).
QImage Logo(int size);
// 32, 24 and 16 pixel images.
QIcon WindowIcon();
// The 32 x 32 logo at the right of the header band.
QPixmap HeaderLogo();
// The kinds of file the pack trees tell apart at a glance.
enum class FileKind
{
    Folder,
    Other,
    Text,
    Script,
    Image,
    Library,
    Archive
};
// A 16 x 16 icon for a file of that kind, or for a folder.
QIcon FileIcon(FileKind kind);

// 402 x 247: the host's import prompt with empty Name and Description fields,
// a warning with an unticked check box, a disabled import button and a cancel button.
QImage ImportPrompt();

} // namespace Artwork
