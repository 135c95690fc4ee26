#include "PackIcons.h"

#include "Artwork.h"
#include "pack/contents/PackContents.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace {

// The host's own kinds, which the MIME database does not know by name
// (a .dll is only "octet-stream" to it until its content is read).
Artwork::FileKind KindBySuffix(const QString& suffix)
{
    static const QStringList scripts{"js", "jse", "vbs", "vbe", "wsf", "ps1", "bat", "cmd"};
    static const QStringList libraries{"dll", "ocx", "exe", "tlb", "sys"};
    if (scripts.contains(suffix))
        return Artwork::FileKind::Script;
    if (libraries.contains(suffix))
        return Artwork::FileKind::Library;
    return Artwork::FileKind::Other;
}

} // namespace

Artwork::FileKind PackIcons::KindOf(const QString& path)
{
    const Artwork::FileKind bySuffix = KindBySuffix(QFileInfo(path).suffix().toLower());
    if (bySuffix != Artwork::FileKind::Other)
        return bySuffix;
    static const QMimeDatabase db;
    const QMimeType mime = db.mimeTypeForFile(path);
    const QString generic = mime.genericIconName();
    if (generic == QLatin1String("text-x-script") ||
        mime.inherits(QStringLiteral("application/x-shellscript")))
        return Artwork::FileKind::Script;
    if (mime.name().startsWith(QLatin1String("image/")))
        return Artwork::FileKind::Image;
    if (generic == QLatin1String("package-x-generic"))
        return Artwork::FileKind::Archive;
    if (mime.inherits(QStringLiteral("application/x-sharedlib")) ||
        mime.inherits(QStringLiteral("application/x-executable")) ||
        mime.inherits(QStringLiteral("application/x-ms-dos-executable")))
        return Artwork::FileKind::Library;
    if (mime.inherits(QStringLiteral("text/plain")))
        return Artwork::FileKind::Text;
    return Artwork::FileKind::Other;
}

PackIcons::PackIcons(QObject* parent) : QObject(parent) {}

QIcon PackIcons::icon(const PackContents& contents, int node)
{
    const QString key = contents.IconKey(node);
    const auto it = m_icons.constFind(key);
    if (it != m_icons.cend())
        return *it;
    // The program's own small set, so that every machine tells the types
    // apart, with an icon theme or without.
    const QIcon made =
        Artwork::FileIcon(contents.node(node).Kind == PackNodeKind::Folder ? Artwork::FileKind::Folder
                                                                           : KindOf(contents.Tag(node)));
    m_icons.insert(key, made);
    return made;
}
