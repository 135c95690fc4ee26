#pragma once

#include <QString>
#include <QtGlobal>

// Why a run failed, as a value: its kind and what it concerns. The run's
// "zip error:" message and its return code are both made from it, so a
// caller that needs the reason never reads it back out of the text.
struct ZipFailure
{
    enum Kind : quint8
    {
        None,
        BadArguments,
        Cancelled,
        OutOfMemory,
        NothingToDo,        // path: the archive
        NotFound,           // path: the spec as given
        FolderNotFound,     // path: the spec as given
        CannotOpen,         // path: the file
        NotRegular,         // path: the spec as given
        CannotRead,         // path: the file
        ChangedWhileRead,   // path: the file
        NameRefused,        // name, and detail: why
        NamesRepeat,        // name; path and otherPath: the two files
        ReplacedAmongFiles, // path: the file that is the archive being replaced
        CannotAddEntry,     // name, and detail: the zip library's reason
        NotAFile,           // path: the archive
        CannotCreate,       // path: the archive
        CannotWrite,        // path: the archive; detail: the system's reason, when known
        DiskFull,           // as CannotWrite: the disk took no more
        ArchiveChanged,     // path: the archive, written by someone else meanwhile
        NotAZip,            // path: the archive
    };

    Kind kind = None;
    QString path;
    QString name;
    QString otherPath;
    QString detail;

    static ZipFailure at(Kind kind, const QString& path)
    {
        ZipFailure f;
        f.kind = kind;
        f.path = path;
        return f;
    }
    static ZipFailure named(Kind kind, const QString& name, const QString& detail)
    {
        ZipFailure f;
        f.kind = kind;
        f.name = name;
        f.detail = detail;
        return f;
    }

    static ZipFailure repeated(const QString& name, const QString& earlier, const QString& later)
    {
        ZipFailure f = at(NamesRepeat, earlier);
        f.name = name;
        f.otherPath = later;
        return f;
    }

    bool failed() const { return kind != None; }
    // The run's return code (see ZpResult).
    qint32 code() const;
    // The "zip error: ..." line the run reports.
    QString message() const;
};
