#pragma once

#include "PackContents.h"

#include <QAbstractItemModel>
#include <QVariant>
#include <functional>

// One of the three views of the pack contents: the files tree (no boxes) or a
// registration list (boxes on files; a box is set through the contents, which
// mirror it into the other list).
class PackTreeModel final : public QAbstractItemModel
{
    Q_OBJECT

public:
    static constexpr int KeyRole = Qt::UserRole + 1;
    static constexpr int NodeRole = Qt::UserRole + 2;

    // The decoration of a node (an icon): the window supplies it, so the
    // model needs nothing from the GUI.
    using IconSource = std::function<QVariant(int creationIndex)>;

    PackTreeModel(PackContents& contents, PackList list, QObject* parent = nullptr);

    PackList list() const { return m_list; }
    PackContents& contents() const { return m_contents; }
    void setIconSource(IconSource source) { m_icons = std::move(source); }

    QModelIndex indexOf(int creationIndex) const;
    // The creation index of the node at index, or -1.
    int nodeOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    PackContents& m_contents;
    PackList m_list;
    IconSource m_icons;
};
