#pragma once

#include <QAbstractItemModel>
#include <QStringList>

using namespace Qt::StringLiterals;

// One line per row, indented two spaces a level: "name", or "name [s]" with the
// state image s (0 no box, 1 empty, 2 ticked) when states are asked for.
inline QStringList dumpTree(const QAbstractItemModel* model, bool states = false,
                            const QModelIndex& parent = {}, const QString& indent = {})
{
    QStringList out;
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex i = model->index(r, 0, parent);
        const QVariant s = i.data(Qt::CheckStateRole);
        const int state = !s.isValid() ? 0 : s.toInt() == Qt::Checked ? 2 : 1;
        out << indent + i.data().toString() + (states ? u" [%1]"_s.arg(state) : QString());
        out << dumpTree(model, states, i, indent + u"  "_s);
    }
    return out;
}
