#include "pack/build/PackPlan.h"

#include "pack/build/EntryNameHash.h"
#include "pack/build/clsZip.h"
#include "pack/contents/PackContents.h"

#include <QFileInfo>
#include <algorithm>

namespace {

bool IsFolder(const PackContents& contents, int index)
{
    return contents.node(index).Kind == PackNodeKind::Folder;
}

QString LowerEntryName(const PackContents& contents, int node)
{
    QString name = contents.NameInPack(node, QLatin1Char('/'));
    if (IsFolder(contents, node))
        name += QLatin1Char('/');
    return name.toLower();
}

// What is never packed into its successor: the old pack lying among the
// files (a folder holding its own pack). Resolving every path would cost a
// look-up per file; only a name that ends like the target's can be it.
class TargetCheck
{
public:
    explicit TargetCheck(const QString& packPath)
        : m_canonical(QFileInfo(packPath).canonicalFilePath()),
          m_name(QFileInfo(m_canonical).fileName().toUtf8())
    {
    }
    bool isTarget(const PackContents& contents, int node) const
    {
        return !m_canonical.isEmpty() && !IsFolder(contents, node) &&
               contents.NameUtf8(node).endsWith(m_name) &&
               QFileInfo(contents.Tag(node)).canonicalFilePath() == m_canonical;
    }

private:
    QString m_canonical;
    QByteArray m_name;
};

} // namespace

void PackPlan::clear()
{
    m_entries.clear();
    m_runs.clear();
    m_leftOut.clear();
}

bool PackPlan::make(const PackContents& contents, const QString& packPath, const std::function<bool()>& turn,
                    const std::function<void(const Run&)>& planned)
{
    clear();
    m_entries.reserve(size_t(contents.liveCount()));
    const TargetCheck target(packPath);
    int seq = 0;
    auto add = [&](int node, quint32 depth) {
        if (!turn())
            return false;
        if (target.isTarget(contents, node)) {
            m_leftOut.push_back(node);
            return true;
        }
        m_entries.push_back(Entry{node, ++seq, depth, 0, 0});
        return true;
    };
    // Below a top-level folder: folders before what they hold.
    struct Level
    {
        const std::vector<int>* children;
        size_t next;
    };
    std::vector<Level> stack;
    for (int top : contents.topLevel()) {
        if (!IsFolder(contents, top))
            continue;
        Run run{top, m_entries.size(), 0};
        stack.push_back(Level{&contents.children(top), 0});
        while (!stack.empty()) {
            Level& level = stack.back();
            if (level.next == level.children->size()) {
                stack.pop_back();
                continue;
            }
            const int child = (*level.children)[level.next++];
            if (!add(child, quint32(stack.size() - 1)))
                return false;
            if (IsFolder(contents, child))
                stack.push_back(Level{&contents.children(child), 0}); // level is stale from here
        }
        run.end = m_entries.size();
        m_runs.push_back(run);
        if (planned)
            planned(run);
    }
    Run loose{-1, m_entries.size(), 0};
    for (int file : contents.topLevel()) {
        if (!IsFolder(contents, file) && !add(file, 0))
            return false;
    }
    loose.end = m_entries.size();
    m_runs.push_back(loose);
    if (planned)
        planned(loose);
    return true;
}

void PackPlan::hashNames(const PackContents& contents, quint64 hashMask, const std::function<void()>& turn)
{
    // Each name's hash goes on from its folder's, kept from the entry before.
    std::vector<NameHash> folder(1);
    for (const Run& run : m_runs) {
        folder.resize(1);
        folder[0] = NameHash();
        if (run.top >= 0) {
            folder[0].addUtf8(contents.NameUtf8(run.top));
            folder[0].addSeparator();
        }
        for (size_t i = run.first; i < run.end; ++i) {
            Entry& e = m_entries[i];
            if (turn)
                turn();
            NameHash h = folder[e.depth];
            h.addUtf8(contents.NameUtf8(e.node));
            if (IsFolder(contents, e.node)) {
                h.addSeparator();
                folder.resize(e.depth + 2);
                folder[e.depth + 1] = h;
            }
            e.exact = h.exact & hashMask;
            e.lower = h.lower & hashMask;
        }
    }
}

const PackPlan::Entry* PackPlan::firstCaseClash(const PackContents& contents, quint64 manifestLower) const
{
    struct Taken
    {
        quint64 lower;
        int seq;
        const Entry* entry; // null: the manifest
    };
    std::vector<Taken> taken;
    taken.reserve(m_entries.size() + 1);
    taken.push_back(Taken{manifestLower, 0, nullptr});
    for (const Entry& e : m_entries)
        taken.push_back(Taken{e.lower, e.seq, &e});
    std::sort(taken.begin(), taken.end(), [](const Taken& a, const Taken& b) {
        return a.lower != b.lower ? a.lower < b.lower : a.seq < b.seq;
    });
    auto lowerName = [&](const Taken& t) {
        return t.entry == nullptr ? QStringLiteral("scriptinfo.xml")
                                  : LowerEntryName(contents, t.entry->node);
    };
    const Taken* clash = nullptr;
    for (size_t i = 1; i < taken.size(); ++i) {
        if (taken[i].lower != taken[i - 1].lower || (clash != nullptr && clash->seq < taken[i].seq))
            continue;
        const QString name = lowerName(taken[i]);
        for (size_t j = i; j-- > 0 && taken[j].lower == taken[i].lower;) {
            if (lowerName(taken[j]) == name) {
                clash = &taken[i];
                break;
            }
        }
    }
    return clash != nullptr ? clash->entry : nullptr;
}

void PackPlan::addSpecs(const PackContents& contents, const Run& run, clsZip& zip, qint32 limit,
                        const std::function<void()>& turn) const
{
    if (run.top < 0) {
        for (size_t i = run.first; i < run.end && zip.FileSpecCount() < limit; ++i)
            zip.AddFileSpec(contents.Tag(m_entries[i].node));
        return;
    }
    // Each path is its parent folder's, kept from the entry before, and its name.
    QByteArray path = contents.Tag(run.top).toUtf8();
    std::vector<qsizetype> folderEnd{path.size()};
    for (size_t i = run.first; i < run.end && zip.FileSpecCount() < limit; ++i) {
        const Entry& e = m_entries[i];
        if (turn)
            turn();
        path.truncate(folderEnd[e.depth]);
        if (!path.endsWith('/'))
            path += '/';
        path += contents.NameUtf8(e.node);
        zip.AddFileSpecUtf8(path);
        if (IsFolder(contents, e.node)) {
            folderEnd.resize(e.depth + 2);
            folderEnd[e.depth + 1] = path.size();
        }
    }
}

int PackPlan::nodeAt(const PackContents& contents, const QString& path) const
{
    for (const Entry& e : m_entries) {
        if (contents.Tag(e.node) == path)
            return e.node;
    }
    return -1;
}
