#pragma once

#include <QTreeView>

// The tree of the pack's contents as the wizard's lists show it.
class PackTreeView final : public QTreeView
{
public:
    using QTreeView::QTreeView;

    // Opens a folder without laying out every row below it there and then:
    // the view lays out all its rows once, at its next turn of the event loop
    // or, hidden, when it is next shown. Opening a listed folder of tens of
    // thousands of files otherwise costs each of the three lists its own
    // stall in the middle of a folder add.
    void ExpandDeferred(const QModelIndex& index)
    {
        scheduleDelayedItemsLayout();
        expand(index);
    }
};
