#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <vector>

class PackContents;
class clsZip;

// What a build packs, decided once from the contents: every entry in packing
// order with the hashes of its name, the runs that store them, and the files
// left out. The runs, the read-ahead, the read-back check and the reasons of
// a failed run all read it; nothing walks the contents a second time.
class PackPlan
{
public:
    struct Entry
    {
        int node = -1;
        int seq = 0;       // place in packing order; the manifest is 0
        quint32 depth = 0; // folders between it and its run's top-level folder
        quint64 exact = 0; // hashes of its name in the pack (see NameHash), once hashNames ran
        quint64 lower = 0;
    };
    // One archiver run: a top-level folder's entries, or (top -1, last) the loose files'.
    struct Run
    {
        int top = -1;
        size_t first = 0;
        size_t end = 0;
    };

    // Walks the contents in packing order: folders before what they hold, in
    // the order the tree shows them, then the loose files. A file that is the
    // pack being replaced (through links too) is left out, and listed in
    // leftOut in packing order. turn is asked once
    // per entry; false from it stops the walk, and make returns false.
    // planned, when given, is called with each run as soon as it is whole.
    bool make(const PackContents& contents, const QString& packPath, const std::function<bool()>& turn,
              const std::function<void(const Run&)>& planned = {});
    // Gives each entry the hashes of its name, masked: apart from make, so
    // the runs' files can be read meanwhile.
    void hashNames(const PackContents& contents, quint64 hashMask, const std::function<void()>& turn);
    void clear();

    const std::vector<Entry>& entries() const { return m_entries; }
    const std::vector<Run>& runs() const { return m_runs; }
    // The nodes left out, in packing order.
    const std::vector<int>& leftOut() const { return m_leftOut; }

    // The first entry in packing order whose name an earlier one (the
    // manifest's too) already takes when case is ignored, as Windows does; null
    // when there is none. manifestLower is the manifest's hash.
    const Entry* firstCaseClash(const PackContents& contents, quint64 manifestLower) const;
    // Adds a run's files to zip's specs, by their paths on disk, until zip
    // holds limit specs.
    void addSpecs(const PackContents& contents, const Run& run, clsZip& zip, qint32 limit,
                  const std::function<void()>& turn) const;
    // The node whose file is at path, or -1.
    int nodeAt(const PackContents& contents, const QString& path) const;

private:
    std::vector<Entry> m_entries;
    std::vector<Run> m_runs;
    std::vector<int> m_leftOut;
};
