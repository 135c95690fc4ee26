#pragma once

#include <QFileIconProvider>
#include <QHash>
#include <QIcon>
#include <QObject>

struct PackNode;

// The small per-type icons of the pack trees: one image per type key, made
// the first time a node of that type is shown and kept for the window's life.
class PackIcons : public QObject
{
    Q_OBJECT

public:
    explicit PackIcons(QObject* parent = nullptr);
    QIcon icon(const PackNode& node);
    int cachedCount() const { return int(m_icons.size()); }

private:
    QFileIconProvider m_provider;
    QHash<QString, QIcon> m_icons;
};
