#pragma once

#include <QHash>
#include <QString>
#include <ctime>
#include <vector>

class QFileInfo;
class RunState;

// One entry a file spec resolved to.
struct Item
{
    QString name; // '/'-separated; a directory's ends in '/'
    QString path; // absolute, clean
    bool isDir = false;
    qint64 size = 0;
    time_t mtime = 0;
};

// Turns file specs into entries: an exact path, a folder walked with or without
// recursion, or a folder and a pattern. Looks only at the files, never at
// an archive (save to leave the one being written out of itself).
class SpecPlanner
{
public:
    explicit SpecPlanner(RunState& run) : m_run(run) {}

    // Adds one file spec's entries. False (with the run failed) when the run must stop.
    bool planSpec(const QString& original);
    const std::vector<Item>& items() const { return m_items; }

private:
    RunState& m_run;
    std::vector<Item> m_items;
    QHash<QString, size_t> m_index; // entry name -> m_items

    bool walk(const QString& dir, const QString& pattern, const QString& root, bool& matched);
    bool addDir(const QFileInfo& fi, const QString& root);
    bool addFile(const QFileInfo& fi, const QString& root);
    bool addItem(Item item);
};
