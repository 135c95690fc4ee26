#pragma once

#include "Artwork.h"

#include <QHash>
#include <QIcon>
#include <QObject>

class PackContents;

// The small per-type icons of the pack trees: one image per type key, made
// the first time a node of that type is shown and kept for the window's life.
class PackIcons : public QObject
{
    Q_OBJECT

public:
    explicit PackIcons(QObject* parent = nullptr);
    QIcon icon(const PackContents& contents, int node);
    int cachedCount() const { return int(m_icons.size()); }
    // What a file is, by its suffix for the host's own types, else by its MIME type.
    static Artwork::FileKind KindOf(const QString& path);

private:
    QHash<QString, QIcon> m_icons;
};
