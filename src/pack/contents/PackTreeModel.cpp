#include "PackTreeModel.h"

PackTreeModel::PackTreeModel(PackContents& contents, PackList list, QObject* parent)
    : QAbstractItemModel(parent), m_contents(contents), m_list(list)
{
    connect(&contents, &PackContents::nodeAboutToBeInserted, this,
            [this](int parentNode, int row) { beginInsertRows(indexOf(parentNode), row, row); });
    connect(&contents, &PackContents::nodeInserted, this, [this] { endInsertRows(); });
    connect(&contents, &PackContents::nodeAboutToBeRemoved, this,
            [this](int parentNode, int row) { beginRemoveRows(indexOf(parentNode), row, row); });
    connect(&contents, &PackContents::nodeRemoved, this, [this] { endRemoveRows(); });
    connect(&contents, &PackContents::stateImageChanged, this, [this](PackList changed, int node) {
        if (changed != m_list)
            return;
        const QModelIndex i = indexOf(node);
        if (i.isValid())
            emit dataChanged(i, i, {Qt::CheckStateRole});
    });
}

QModelIndex PackTreeModel::indexOf(int creationIndex) const
{
    if (!m_contents.isLive(creationIndex))
        return {};
    return createIndex(m_contents.node(creationIndex).Row, 0, quintptr(creationIndex));
}

int PackTreeModel::nodeOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return -1;
    const int node = int(index.internalId());
    return m_contents.isLive(node) ? node : -1;
}

QModelIndex PackTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    const int parentNode = parent.isValid() ? nodeOf(parent) : -1;
    if (parent.isValid() && parentNode < 0)
        return {};
    const std::vector<int>& kids = m_contents.children(parentNode);
    if (size_t(row) >= kids.size())
        return {};
    return createIndex(row, 0, quintptr(kids[size_t(row)]));
}

QModelIndex PackTreeModel::parent(const QModelIndex& child) const
{
    const int node = nodeOf(child);
    if (node < 0)
        return {};
    return indexOf(m_contents.node(node).Parent);
}

int PackTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    if (!parent.isValid())
        return int(m_contents.topLevel().size());
    const int node = nodeOf(parent);
    return node < 0 ? 0 : int(m_contents.children(node).size());
}

int PackTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant PackTreeModel::data(const QModelIndex& index, int role) const
{
    const int node = nodeOf(index);
    if (node < 0)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_contents.Text(node);
    case Qt::ToolTipRole:
        return m_contents.Tag(node);
    case Qt::DecorationRole:
        return m_icons ? m_icons(node) : QVariant();
    case Qt::CheckStateRole:
        // State image 0 shows no box at all.
        switch (m_contents.StateImage(m_list, node)) {
        case Unchecked:
            return Qt::Unchecked;
        case Checked:
            return Qt::Checked;
        default:
            return {};
        }
    case KeyRole:
        return m_contents.Key(node);
    case NodeRole:
        return node;
    default:
        return {};
    }
}

bool PackTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const int node = nodeOf(index);
    if (node < 0 || role != Qt::CheckStateRole)
        return false;
    return m_contents.SetChecked(m_list, node, value.toInt() == Qt::Checked);
}

Qt::ItemFlags PackTreeModel::flags(const QModelIndex& index) const
{
    const int node = nodeOf(index);
    if (node < 0)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_contents.StateImage(m_list, node) != NoBox)
        f |= Qt::ItemIsUserCheckable;
    return f;
}
