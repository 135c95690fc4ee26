#include "zip/SpecPlanner.h"

#include "zip/RunLimits.h"
#include "zip/RunState.h"
#include "zip/ZipNames.h"
#include "zip/ZpTypes.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

// Turns one file spec into entries. False (with the run failed) when the run must stop.
bool SpecPlanner::planSpec(const QString& original)
{
    // A literal spec is a real path: a '*', '?' or '\' in it is part of a name.
    const QString spec = m_run.literal() ? original : QString(original).replace(u'\\', u'/');
    const qsizetype slash = spec.lastIndexOf(u'/');
    const QString last = spec.mid(slash + 1);
    const bool wild = !m_run.literal() && (last.contains(u'*') || last.contains(u'?'));
    const QString fixed = wild ? spec.left(slash + 1) : spec;
    const QString fixedAbs =
        QDir::cleanPath(QDir(m_run.base).absoluteFilePath(fixed.isEmpty() ? QStringLiteral(".") : fixed));
    // Names start at the base path when the spec lies inside it; otherwise at
    // the spec's own last part, so nothing outside the base leaks into a name.
    const QString root =
        ZipNames::IsUnder(fixedAbs, m_run.base, kPathCase) ? m_run.base : QFileInfo(fixedAbs).path();
    const QFileInfo fi(fixedAbs);
    if (wild) {
        if (!fi.isDir()) {
            // Relative specs may be left over from runs with another base path;
            // an absolute one names a folder that should be there.
            if (QDir::isAbsolutePath(spec) || (spec.size() > 1 && spec[1] == u':'))
                return m_run.fail(ZipFailure::FolderNotFound, original) == ZpOk;
            m_run.send(QStringLiteral("zip warning: name not matched: ") + original);
            return true;
        }
        bool matched = false;
        if (!walk(fixedAbs, last, root, matched))
            return false;
        if (!matched)
            m_run.send(QStringLiteral("zip warning: name not matched: ") + original);
        return true;
    }
    if (fi.isDir()) {
        if (fi.isSymLink())
            return true;
        if (!addDir(fi, root))
            return false;
        bool matched = false;
        return !m_run.recurse() || walk(fixedAbs, QStringLiteral("*"), root, matched);
    }
    if (!fi.isFile())
        return m_run.fail(ZipFailure::NotFound, original) == ZpOk;
    return addFile(fi, root);
}

bool SpecPlanner::walk(const QString& dir, const QString& pattern, const QString& root, bool& matched)
{
    const QFileInfo dirInfo(dir);
    if (!dirInfo.isReadable() || !dirInfo.isExecutable()) {
        m_run.send(QStringLiteral("zip warning: could not open folder: ") + dir);
        return true;
    }
    QFileInfoList list = QDir(dir).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::NoSort);
    std::sort(list.begin(), list.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return a.fileName() < b.fileName(); });
    for (const QFileInfo& fi : list) {
        if (!m_run.idle())
            return m_run.aborted() == ZpOk;
        if (fi.isDir()) {
            if (fi.isSymLink())
                continue; // a link may lead back up the tree
            if (m_run.recurse()) {
                matched = true;
                if (!addDir(fi, root) || !walk(fi.absoluteFilePath(), pattern, root, matched))
                    return false;
            } else if (ZipNames::WildMatch(pattern, fi.fileName(), kPathCase)) {
                matched = true;
                if (!addDir(fi, root))
                    return false;
            }
        } else if (fi.isFile() && ZipNames::WildMatch(pattern, fi.fileName(), kPathCase)) {
            matched = true;
            if (!addFile(fi, root))
                return false;
        }
    }
    return true;
}

bool SpecPlanner::addDir(const QFileInfo& fi, const QString& root)
{
    if (!m_run.storeDirs())
        return true;
    const QString path = QDir::cleanPath(fi.absoluteFilePath());
    const QString rel = ZipNames::RelativeTo(root, path, kPathCase);
    if (rel.isEmpty())
        return true;
    return addItem(
        Item{rel + u'/', path, true, 0, static_cast<time_t>(fi.lastModified().toSecsSinceEpoch())});
}

bool SpecPlanner::addFile(const QFileInfo& fi, const QString& root)
{
    const QString path = QDir::cleanPath(fi.absoluteFilePath());
    // Never put the archive into itself (it may lie inside a folder being walked).
    if (!m_run.zipCanonical.isEmpty() &&
        fi.fileName().compare(QFileInfo(m_run.zipPath).fileName(), kPathCase) == 0 &&
        fi.canonicalFilePath() == m_run.zipCanonical)
        return true;
    if (path.compare(m_run.zipPath, kPathCase) == 0)
        return true;
    const QString name = m_run.junkNames() ? fi.fileName() : ZipNames::RelativeTo(root, path, kPathCase);
    return addItem(
        Item{name, path, false, fi.size(), static_cast<time_t>(fi.lastModified().toSecsSinceEpoch())});
}

bool SpecPlanner::addItem(Item item)
{
    // Whatever path led here, no entry may climb out of the folder it is
    // extracted into or read differently by a tool that splits on '\'.
    const QString problem = ZipNames::EntryNameProblem(item.name);
    if (!problem.isEmpty())
        return m_run.fail(ZipFailure::named(ZipFailure::NameRefused, item.name, problem)) == ZpOk;
    const auto it = m_index.constFind(item.name);
    if (it != m_index.constEnd()) {
        const Item& prev = m_items[*it];
        if (prev.isDir || prev.path.compare(item.path, kPathCase) == 0)
            return true;
        return m_run.fail(ZipFailure::repeated(item.name, prev.path, item.path)) == ZpOk;
    }
    m_index.insert(item.name, m_items.size());
    m_items.push_back(std::move(item));
    return true;
}
