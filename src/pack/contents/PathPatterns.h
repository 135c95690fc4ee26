#pragma once

#include <QList>
#include <QRegularExpression>
#include <QStringList>

// Patterns of paths inside a pack ('/'-separated, as "lib/x.dll"), the way
// users write them for their tools: '*' and '?' within a name, "**" across
// folders, [abc] sets. A pattern without '/' matches a name at any depth
// ("*.bak"); one with '/' matches the whole path from the pack's root
// ("docs/**", "/notes.txt"). Letter case counts, as it does on the disk.
class PathPatterns
{
public:
    PathPatterns() = default;
    explicit PathPatterns(const QStringList& globs);

    bool isEmpty() const { return m_names.isEmpty() && m_paths.isEmpty(); }
    bool matches(const QString& packPath) const;

private:
    QList<QRegularExpression> m_names;
    QList<QRegularExpression> m_paths;
};
