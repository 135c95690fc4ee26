#include "PackIcons.h"

#include "pack/contents/PackContents.h"

#include <QFileInfo>

PackIcons::PackIcons(QObject* parent) : QObject(parent) {}

QIcon PackIcons::icon(const PackNode& node)
{
    const auto it = m_icons.constFind(node.IconKey);
    if (it != m_icons.cend())
        return *it;
    const QIcon made = node.Kind == PackNodeKind::Folder ? m_provider.icon(QAbstractFileIconProvider::Folder)
                                                         : m_provider.icon(QFileInfo(node.Tag));
    m_icons.insert(node.IconKey, made);
    return made;
}
