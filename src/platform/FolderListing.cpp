#include "platform/FolderListing.h"

#include "zip/ZipNames.h"

#include <algorithm>
#include <utility>
#include <vector>

#ifdef Q_OS_WIN
#include <QDir>
#include <QDirIterator>
#else
#include <QFile>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

// Names as on disk, each beside its lower-cased form.
using NamesByLowerCase = std::vector<std::pair<QString, QString>>;

// The names in the order of their lower-cased forms; the sort is plain, so
// names alike but for case keep no set order between them.
QStringList SortedByLowerCase(NamesByLowerCase& entries)
{
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    QStringList names;
    names.reserve(qsizetype(entries.size()));
    for (auto& e : entries)
        names.append(std::move(e.second));
    return names;
}

#ifdef Q_OS_WIN
// The names of a folder's entries that pass filters, sorted by name the way
// the desktop lists a folder, letter case aside: what QDir::entryList gives
// with QDir::Name | QDir::IgnoreCase, by the same comparison on the same
// listing, so in the same order, names alike but for case included. Without
// its file information per entry, which at a hundred thousand entries in one
// folder took a hundred megabytes.
QStringList SortedNames(const QString& folder, QDir::Filters filters)
{
    NamesByLowerCase entries;
    QDirIterator it(folder, filters);
    while (it.hasNext()) {
        it.next();
        QString name = it.fileName();
        QString lower = name.toLower();
        entries.emplace_back(std::move(lower), std::move(name));
    }
    return SortedByLowerCase(entries);
}
#endif

} // namespace

FolderListing ListFolder(const QString& folder)
{
    FolderListing listing;
#ifdef Q_OS_WIN
    listing.files = SortedNames(folder, QDir::Files | QDir::Hidden);
    listing.folders =
        SortedNames(folder, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
#else
    // One pass over the folder, each entry typed by the listing itself: only
    // a link, or an entry the file system gives no type, costs a look-up.
    // Special files (pipes, sockets, devices) and links to nothing are left
    // out, as are links to folders: a link back up would never end.
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr)
        return listing;
    NamesByLowerCase files, folders;
    while (const dirent* e = ::readdir(dir)) {
        const char* raw = e->d_name;
        if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0')))
            continue;
        const auto size = qsizetype(std::strlen(raw));
        bool ascii = true;
        for (qsizetype i = 0; i < size && ascii; ++i)
            ascii = uchar(raw[i]) < 0x80;
        QString name = ZipNames::Utf8Text(QByteArrayView(raw, size));
        if (!ascii && !ZipNames::IsExactUtf8(QByteArray::fromRawData(raw, size))) {
            listing.notUtf8 << name;
            continue;
        }
        unsigned char type = e->d_type;
        struct stat st = {};
        if (type == DT_UNKNOWN) {
            if (::fstatat(dirfd(dir), raw, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISLNK(st.st_mode)   ? DT_LNK
                   : S_ISDIR(st.st_mode) ? DT_DIR
                   : S_ISREG(st.st_mode) ? DT_REG
                                         : DT_FIFO;
        }
        // A link to anything there but a folder is listed with the files;
        // what it leads to is for the adding of the file to judge.
        if (type == DT_LNK) {
            const bool there = ::fstatat(dirfd(dir), raw, &st, 0) == 0;
            if (there && S_ISDIR(st.st_mode))
                listing.folderLinks << name;
            type = there && !S_ISDIR(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type != DT_REG && type != DT_DIR)
            continue;
        QString lower = name.toLower();
        (type == DT_REG ? files : folders).emplace_back(std::move(lower), std::move(name));
    }
    ::closedir(dir);
    listing.files = SortedByLowerCase(files);
    listing.folders = SortedByLowerCase(folders);
#endif
    return listing;
}
