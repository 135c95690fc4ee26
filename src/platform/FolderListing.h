#pragma once

#include <QString>
#include <QStringList>

// A folder's entries as the walk takes them: its files (links to files
// too), its folders (never through a link) and the names that are not
// UTF-8, which Qt's own listing drops without a word. Files and folders are
// sorted the way the desktop lists a folder, letter case aside: by the
// lower-cased names, on the listing in the order the folder gives it.
struct FolderListing
{
    QStringList files;
    QStringList folders;
    QStringList notUtf8;
    QStringList folderLinks; // links to folders: never followed, so named to the user
};

// Empty when the folder cannot be read.
FolderListing ListFolder(const QString& folder);
