#include "zip/ZipFailure.h"

#include "zip/ZpTypes.h"

qint32 ZipFailure::code() const
{
    switch (kind) {
    case None:
        return ZpOk;
    case BadArguments:
    case NameRefused:
    case NamesRepeat:
    case ReplacedAmongFiles:
    case CannotAddEntry:
        return ZpErrParams;
    case Cancelled:
        return ZpErrAborted;
    case OutOfMemory:
        return ZpErrMemory;
    case NothingToDo:
        return ZpErrNothing;
    case NotFound:
    case FolderNotFound:
    case CannotOpen:
    case NotRegular:
        return ZpErrOpen;
    case CannotRead:
    case ChangedWhileRead:
        return ZpErrRead;
    case NotAFile:
    case CannotCreate:
        return ZpErrCreate;
    case CannotWrite:
    case DiskFull:
    case ArchiveChanged:
        return ZpErrWrite;
    case NotAZip:
        return ZpErrFormat;
    }
    return ZpErrLogic;
}

QString ZipFailure::message() const
{
    const QString because = detail.isEmpty() ? QString() : QStringLiteral(" (") + detail + u')';
    switch (kind) {
    case None:
        return {};
    case BadArguments:
        return QStringLiteral("zip error: Invalid command arguments");
    case Cancelled:
        return QStringLiteral("zip error: Interrupted (aborting)");
    case OutOfMemory:
        return QStringLiteral("zip error: Out of memory");
    case NothingToDo:
        return QStringLiteral("zip error: Nothing to do! (") + path + u')';
    case NotFound:
        return QStringLiteral("zip error: file not found: ") + path;
    case FolderNotFound:
        return QStringLiteral("zip error: folder not found: ") + path;
    case CannotOpen:
        return QStringLiteral("zip error: could not open for reading: ") + path;
    case NotRegular:
        return QStringLiteral("zip error: not a regular file: ") + path;
    case CannotRead:
        return QStringLiteral("zip error: could not read: ") + path;
    case ChangedWhileRead:
        return QStringLiteral("zip error: changed while being read: ") + path;
    case NameRefused:
        return QStringLiteral("zip error: invalid entry name: ") + name + because;
    case NamesRepeat:
        return QStringLiteral("zip error: names in zip file repeat: ") + name + QStringLiteral(" (") + path +
               QStringLiteral(", ") + otherPath + u')';
    case ReplacedAmongFiles:
        return QStringLiteral("zip error: the archive being replaced is among the files: ") + path;
    case CannotAddEntry:
        return QStringLiteral("zip error: cannot add entry: ") + name + because;
    case NotAFile:
        return QStringLiteral("zip error: not a file: ") + path;
    case CannotCreate:
        return QStringLiteral("zip error: could not open the archive: ") + path;
    case CannotWrite:
    case DiskFull:
        return QStringLiteral("zip error: could not write the archive: ") + path + because;
    case ArchiveChanged:
        return QStringLiteral("zip error: archive changed on disk: ") + path;
    case NotAZip:
        return QStringLiteral("zip error: Zip file structure invalid (") + path + u')';
    }
    return {};
}
