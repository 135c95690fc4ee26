#include "app/PackInputs.h"

#include "app/PackOptions.h"
#include "pack/build/PackPlan.h"
#include "pack/contents/PackContents.h"
#include "pack/contents/PathPatterns.h"
#include "pack/contents/RegistrationMemory.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

// Texts a user reads, in the user's language.
class Text
{
    Q_DECLARE_TR_FUNCTIONS(PackCommand)
};

namespace {

QStringList MatchKeys(const QStringList& entries)
{
    QStringList keys;
    for (const QString& e : entries)
        keys << RegistrationMemory::MatchKey(e);
    return keys;
}

QStringList Without(const QStringList& entries, const QStringList& keys)
{
    QStringList kept;
    for (const QString& e : entries) {
        if (!keys.contains(RegistrationMemory::MatchKey(e)))
            kept << e;
    }
    return kept;
}

// How many letters must change to make a into b, or more than limit.
int Distance(QStringView a, QStringView b, int limit)
{
    if (qAbs(a.size() - b.size()) > limit)
        return limit + 1;
    std::vector<int> row(size_t(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        int best = row[0];
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int up = row[size_t(j)];
            row[size_t(j)] =
                std::min({up + 1, row[size_t(j - 1)] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
            best = std::min(best, row[size_t(j)]);
        }
        if (best > limit)
            return limit + 1;
    }
    return row.back();
}

} // namespace

QString ReadManifests(const PackOptions& o, ScriptPackInfo& info, QString& error)
{
    info.Version = QStringLiteral("1.0");
    if (o.isSet(o.from)) {
        if (!ReadScriptInfo(o.value(o.from), info, error))
            return QString();
        if (info.Version.isNull())
            info.Version = QStringLiteral("1.0");
    }
    QString manifest;
    for (const QString& path : o.paths()) {
        const QFileInfo file(path);
        if (!file.isFile() || !IsManifestName(file.fileName()))
            continue;
        if (!manifest.isEmpty()) {
            error = Text::tr("'%1' and '%2' are both a ScriptInfo.xml; a Script Pack has one.")
                        .arg(manifest, path);
            return QString();
        }
        manifest = path;
        ScriptPackInfo own;
        if (!ReadScriptInfo(path, own, error))
            return QString();
        // The author's own manifest says what it says; an earlier pack still
        // lends the version and the registrations it does not name.
        info.Name = own.Name;
        info.Description = own.Description;
        info.AboutUrl = own.AboutUrl;
        info.Kept = own.Kept;
        if (!own.Version.isNull())
            info.Version = own.Version;
        if (!own.OleFiles.isEmpty() || !own.DotNetFiles.isEmpty()) {
            info.OleFiles = own.OleFiles;
            info.DotNetFiles = own.DotNetFiles;
        }
    }
    return manifest;
}

QString ApplyOptions(const PackOptions& o, ScriptPackInfo& info, QStringList& given)
{
    if (o.isSet(o.name))
        info.Name = o.value(o.name);
    if (o.isSet(o.description))
        info.Description = o.value(o.description);
    if (o.isSet(o.url))
        info.AboutUrl = o.value(o.url);
    if (o.isSet(o.version))
        info.Version = o.value(o.version);
    if (info.Name.isEmpty())
        return Text::tr("no script name (--name NAME).");
    if (info.Name.length() > kMaxScriptNameLength)
        return Text::tr("Script Name can be maximum of 127 characters");

    // Registrations named here replace those of the manifests, list by list;
    // an entry named here for one list is taken out of the other.
    const QStringList comGiven = o.parser.values(o.com);
    const QStringList dotNetGiven = o.parser.values(o.dotNet);
    const QStringList comKeys = MatchKeys(comGiven);
    for (const QString& entry : dotNetGiven) {
        if (comKeys.contains(RegistrationMemory::MatchKey(entry)))
            return Text::tr("'%1' cannot be registered both as COM and as .NET.").arg(entry);
    }
    if (o.isSet(o.com))
        info.OleFiles = comGiven;
    if (o.isSet(o.dotNet))
        info.DotNetFiles = dotNetGiven;
    info.OleFiles = Without(info.OleFiles, MatchKeys(dotNetGiven));
    info.DotNetFiles = Without(info.DotNetFiles, comKeys);
    given = comGiven + dotNetGiven;
    return QString();
}

void AddInputs(const PackOptions& o, const ScriptPackInfo& info, const QString& manifest,
               PackContents& contents, const PackAddHooks& hooks,
               const std::function<void(const QString&)>& warn)
{
    const QStringList paths = o.paths();
    if (paths.isEmpty()) {
        if (contents.AddFolderContents(info.ScriptFolder, info.ManifestFile, hooks) ==
            PackContents::FolderResult::Unreadable)
            hooks.refuse(Text::tr("The folder '%1' cannot be read.").arg(info.ScriptFolder));
        return;
    }
    for (const QString& path : paths) {
        const QFileInfo fi(path);
        if (path == manifest || (hooks.yield && !hooks.yield())) {
            continue;
        } else if (!fi.exists()) {
            // A name that is not UTF-8 reaches here with replacement characters.
            hooks.refuse(path.contains(QChar::ReplacementCharacter)
                             ? Text::tr("The name '%1' is not valid UTF-8.").arg(path)
                             : Text::tr("'%1' does not exist.").arg(path));
        } else if (fi.isDir()) {
            ScriptPackInfo own;
            QString unreadable;
            if (ReadScriptInfo(path, own, unreadable))
                warn(Text::tr("'%1' holds its own ScriptInfo.xml, packed under the folder's name, where "
                              "the host does not read it; 'pack --from %1' makes it the script's manifest.")
                         .arg(path));
            const auto result =
                contents.AddFolderToTree(NormalizeFolderPath(fi.absoluteFilePath()), -1, hooks);
            if (result == PackContents::FolderResult::Unreadable)
                hooks.refuse(Text::tr("The folder '%1' cannot be read.").arg(path));
        } else if (!fi.isFile()) {
            hooks.refuse(Text::tr("'%1' is not a regular file.").arg(path));
        } else if (!hooks.exclude || !hooks.exclude->matches(fi.fileName())) {
            contents.AddFileToTree(fi.absoluteFilePath(), -1, hooks);
        }
    }
}

QStringList Unmatched(const QStringList& entries, const PackContents& contents)
{
    // Looked for among the files, not the other way round: the pack may hold
    // a hundred thousand names and the build needs the memory more.
    const QStringList keys = MatchKeys(entries);
    QSet<QString> unmatched(keys.cbegin(), keys.cend());
    for (int index : contents.liveNodes()) {
        if (unmatched.isEmpty())
            break;
        unmatched.remove(RegistrationMemory::MatchKey(RegistrationMemory::ManifestEntry(contents, index)));
    }
    QStringList out;
    for (const QString& entry : entries) {
        if (unmatched.contains(RegistrationMemory::MatchKey(entry)))
            out << entry;
    }
    return out;
}

QStringList NearestEntries(const QString& entry, const PackContents& contents)
{
    const QString key = RegistrationMemory::MatchKey(entry);
    const qsizetype parts = key.count(QLatin1Char('\\')) + 1;
    QList<std::pair<int, QString>> ranked;
    const int limit = std::max<int>(3, int(key.size()) / 2);
    for (int index : contents.liveNodes()) {
        const QString name = RegistrationMemory::ManifestEntry(contents, index);
        if (name.isEmpty())
            continue;
        // Typed from the wrong folder ("lib\\x.dll" for "MyScript\\lib\\x.dll"),
        // or misspelt: measured against as many of the entry's last parts too.
        const QString other = RegistrationMemory::MatchKey(name);
        const QString tail = other.section(QLatin1Char('\\'), -int(parts));
        const int d = std::min(Distance(key, tail, limit), Distance(key, other, limit));
        if (d <= limit)
            ranked.append({d, name});
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList nearest;
    for (qsizetype i = 0; i < ranked.size() && i < 3; ++i)
        nearest << ranked[i].second;
    return nearest;
}

QList<ListedEntry> PackEntries(const PackContents& contents, qint64 manifestBytes)
{
    // In the order a build stores them, from the same plan.
    QList<ListedEntry> entries{{QStringLiteral("ScriptInfo.xml"), manifestBytes}};
    PackPlan plan;
    plan.make(contents, QString(), [] { return true; });
    for (const PackPlan::Entry& e : plan.entries()) {
        const QString name = contents.NameInPack(e.node, QLatin1Char('/'));
        if (contents.node(e.node).Kind == PackNodeKind::Folder)
            entries.append({name + QLatin1Char('/'), 0});
        else
            entries.append({name, QFileInfo(contents.Tag(e.node)).size()});
    }
    return entries;
}
