#include "PackContents.h"

#include "pack/contents/PathPatterns.h"
#include "platform/BuildLog.h"
#include "platform/FolderListing.h"
#include "zip/ZipNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QVarLengthArray>
#include <algorithm>

namespace {

const QString FolderPrefix = QStringLiteral("fldr-");
const QString SubPrefix = QStringLiteral("sub-");
const QString ScriptInfoName = QStringLiteral("scriptinfo.xml");
const std::vector<int> NoChildren;
const QString IsTVItemCheckedLine = QStringLiteral("IsTVItemChecked");

QString ChildPath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// The last component exactly as it is on disk, spaces and all.
QString RawName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Names are indexed by a 64-bit hash of their lower-cased text; a hit is
// always confirmed on the names themselves.
quint64 NameHash(const QString& lowerName)
{
    return quint64(qHash(QStringView(lowerName), size_t(0x5bd1e995)));
}

constexpr quint32 NameBlockSize = 0x10000;

} // namespace

QString PackContents::NameProblem(const QString& path)
{
    const QString problem = ZipNames::WindowsNameProblem(RawName(path));
    if (!problem.isEmpty())
        return problem;
    // A name that was not UTF-8 on disk comes back with replacement characters
    // and no longer names the file.
    if (path.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(path))
        return tr("its name is not valid UTF-8");
    // UTF-8 takes at most three bytes per UTF-16 unit: most paths are short
    // enough without encoding them to find out.
    if (path.size() * 3 > ZipNames::PathLimit() && QFile::encodeName(path).size() > ZipNames::PathLimit())
        return tr("its path is too long");
    return QString();
}

QString PackContents::SkippedMessage(const QStringList& skipped)
{
    constexpr qsizetype kShown = 15;
    QString text = tr("These files and folders were left out of the Script Pack:") + QStringLiteral("\r\n");
    for (qsizetype i = 0; i < skipped.size() && i < kShown; ++i)
        text += QStringLiteral("\r\n") + skipped.at(i);
    if (skipped.size() > kShown)
        text += QStringLiteral("\r\n") + tr("... and %1 more.").arg(skipped.size() - kShown);
    return text;
}

QString PackContents::DefaultExclusion(const QString& name)
{
    // Most names are none of these by their length or first letter, checked
    // first: the walk asks for every file.
    const qsizetype n = name.size();
    if ((n < 3 || n > 4) && n != 8 && n != 9 && n != 11)
        return QString();
    if (!QStringLiteral(".cCtTdD_").contains(name.front()))
        return QString();
    // Letter case aside, as the Windows machines that make most of them compare names.
    static const QStringList versionControl = {QStringLiteral(".git"), QStringLiteral(".svn"),
                                               QStringLiteral(".hg"), QStringLiteral("CVS")};
    static const QStringList desktop = {QStringLiteral("Thumbs.db"), QStringLiteral("desktop.ini"),
                                        QStringLiteral(".DS_Store"), QStringLiteral("__MACOSX")};
    if (versionControl.contains(name, Qt::CaseInsensitive))
        return tr("version-control data is left out");
    if (desktop.contains(name, Qt::CaseInsensitive))
        return tr("files the desktop makes are left out");
    return QString();
}

QString GetFileName(const QString& path)
{
    const qsizetype sep = path.lastIndexOf(QLatin1Char('/'));
    return path.mid(sep + 1).trimmed();
}

QString GetFolderPath(const QString& path)
{
    const qsizetype sep = path.lastIndexOf(QLatin1Char('/'));
    return sep < 0 ? QString() : path.left(sep + 1);
}

QString TrimNull(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QString NormalizeFolderPath(const QString& path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

PackContents::PackContents(QObject* parent) : QObject(parent) {}

PackContents::~PackContents() = default;

bool PackContents::isLive(int creationIndex) const
{
    return creationIndex >= 0 && creationIndex < nodeCount() && !m_nodes[size_t(creationIndex)].Removed;
}

std::vector<int> PackContents::liveNodes() const
{
    std::vector<int> live;
    live.reserve(size_t(liveCount()));
    for (int i = 0; i < nodeCount(); ++i) {
        if (!m_nodes[size_t(i)].Removed)
            live.push_back(i);
    }
    return live;
}

const std::vector<int>& PackContents::children(int parent) const
{
    if (parent < 0)
        return m_top;
    if (!isLive(parent) || node(parent).Children < 0)
        return NoChildren;
    return m_children[size_t(node(parent).Children)];
}

QStringList PackContents::ParentChain(int creationIndex) const
{
    QStringList chain;
    if (!isLive(creationIndex))
        return chain;
    for (int p = node(creationIndex).Parent; p >= 0; p = node(p).Parent)
        chain.prepend(Text(p));
    return chain;
}

QString PackContents::NameInPack(int creationIndex, QChar separator) const
{
    QStringList parts = ParentChain(creationIndex);
    parts << Text(creationIndex);
    return parts.join(separator);
}

QByteArrayView PackContents::NameUtf8(int creationIndex) const
{
    const PackNode& n = node(creationIndex);
    return QByteArrayView(m_nameBlocks[n.NameAt >> 16].get() + (n.NameAt & 0xFFFFu), n.NameBytes);
}

QString PackContents::name(int creationIndex) const
{
    return ZipNames::Utf8Text(NameUtf8(creationIndex));
}

QString PackContents::Text(int creationIndex) const
{
    if (creationIndex < 0 || creationIndex >= nodeCount())
        return QString();
    return name(creationIndex);
}

QString PackContents::Tag(int creationIndex) const
{
    if (creationIndex < 0 || creationIndex >= nodeCount())
        return QString();
    QVarLengthArray<int, 32> below;
    int top = creationIndex;
    for (; node(top).Parent >= 0; top = node(top).Parent)
        below.append(top);
    QString path = m_topPaths[size_t(node(top).TopPath)];
    for (qsizetype i = below.size() - 1; i >= 0; --i) {
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += name(below[i]);
    }
    return path;
}

QString PackContents::Key(int creationIndex) const
{
    if (creationIndex < 0 || creationIndex >= nodeCount())
        return QString();
    switch (node(creationIndex).Kind) {
    case PackNodeKind::Folder:
        return FolderPrefix + Tag(creationIndex);
    case PackNodeKind::FolderFile:
        return SubPrefix + Tag(creationIndex);
    case PackNodeKind::LooseFile:
        break;
    }
    return Tag(creationIndex);
}

QString PackContents::IconKey(int creationIndex) const
{
    if (creationIndex < 0 || creationIndex >= nodeCount())
        return QString();
    return GetIconKey(name(creationIndex), node(creationIndex).Kind == PackNodeKind::Folder);
}

int PackContents::firstWithName(const QString& lowerName) const
{
    const auto it = m_names.constFind(NameHash(lowerName));
    for (int c = it == m_names.cend() ? -1 : it->first; c >= 0; c = node(c).NextSameName) {
        if (name(c).toLower() == lowerName)
            return c;
    }
    return -1;
}

int PackContents::findLoose(const QString& path) const
{
    for (auto it = m_loose.constFind(NameHash(path)); it != m_loose.cend() && it.key() == NameHash(path);
         ++it) {
        if (Tag(*it) == path)
            return *it;
    }
    return -1;
}

bool PackContents::hasChildNamed(int folder, const QString& childName) const
{
    const QByteArray utf8 = childName.toUtf8();
    for (int child : children(folder)) {
        if (NameUtf8(child) == utf8)
            return true;
    }
    return false;
}

int PackContents::findKey(const QString& key) const
{
    PackNodeKind kind = PackNodeKind::LooseFile;
    QString path = key;
    if (key.startsWith(FolderPrefix)) {
        kind = PackNodeKind::Folder;
        path = key.mid(FolderPrefix.size());
    } else if (key.startsWith(SubPrefix)) {
        kind = PackNodeKind::FolderFile;
        path = key.mid(SubPrefix.size());
    }
    const int loose = findLoose(key);
    if (loose >= 0 || kind == PackNodeKind::LooseFile)
        return loose;
    const auto it = m_names.constFind(NameHash(RawName(path).toLower()));
    for (int c = it == m_names.cend() ? -1 : it->first; c >= 0; c = node(c).NextSameName) {
        if (node(c).Kind == kind && Tag(c) == path)
            return c;
    }
    return -1;
}

QString PackContents::GetIconKey(const QString& path, bool isFolder)
{
    if (isFolder)
        return QStringLiteral("Kdir");
    const QString name = GetFileName(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // Files of one type share one image; a name without a suffix is its own type.
    return dot <= 0 ? QStringLiteral("K") : QStringLiteral("K.") + name.mid(dot + 1).toLower();
}

QString PackContents::FolderMessage(const QString& path)
{
    return tr("The folder '%1' is already part of the Script Pack.").arg(path);
}

int PackContents::appendNode(PackNode n, const QString& nodeName, const QString& topPath)
{
    const int index = nodeCount();
    const QByteArray utf8 = nodeName.toUtf8();
    // A file system's names are a few hundred bytes at most.
    const quint32 bytes = quint32(qMin<qsizetype>(utf8.size(), NameBlockSize - 1));
    if (m_nameBlocks.empty() || m_nameUsed + bytes > NameBlockSize) {
        m_nameBlocks.push_back(std::make_unique<char[]>(NameBlockSize));
        m_nameUsed = 0;
    }
    std::memcpy(m_nameBlocks.back().get() + m_nameUsed, utf8.constData(), bytes);
    n.NameAt = (quint32(m_nameBlocks.size() - 1) << 16) | m_nameUsed;
    n.NameBytes = quint16(bytes);
    m_nameUsed += bytes;
    if (n.Parent < 0) {
        n.TopPath = int(m_topPaths.size());
        m_topPaths.push_back(topPath);
    }
    if (n.Kind == PackNodeKind::Folder) {
        n.Children = int(m_children.size());
        m_children.emplace_back();
    }
    std::vector<int>& siblings = n.Parent < 0 ? m_top : m_children[size_t(node(n.Parent).Children)];
    n.Row = int(siblings.size());
    emit nodeAboutToBeInserted(n.Parent, n.Row);
    NameChain& chain = m_names[NameHash(nodeName.toLower())];
    if (chain.last >= 0)
        m_nodes[size_t(chain.last)].NextSameName = index;
    else
        chain.first = index;
    chain.last = index;
    if (n.Kind == PackNodeKind::LooseFile)
        m_loose.insert(NameHash(topPath), index);
    if (n.Kind == PackNodeKind::Folder && n.Parent < 0)
        m_topFolders.append(index);
    m_nodes.push_back(n);
    siblings.push_back(index);
    ++m_live;
    emit nodeInserted(index);
    return index;
}

int PackContents::AddFileToTree(const QString& path, int parent, const AddHooks& hooks)
{
    return addFile(path, parent, hooks, false);
}

int PackContents::addFile(const QString& path, int parent, const AddHooks& hooks, bool nameChecked)
{
    auto refuse = [&hooks](const QString& message) {
        if (hooks.refuse)
            hooks.refuse(message);
        return -1;
    };
    if (parent >= 0 && (!isLive(parent) || node(parent).Kind != PackNodeKind::Folder))
        return -1;

    const QString name = GetFileName(path);
    const bool atRoot = parent < 0;
    // The host is a Windows program: a name it cannot hold, or one the pack
    // cannot name exactly, would give a pack that installs wrong or not at all.
    const QString problem = nameChecked ? QString() : NameProblem(path);
    if (!problem.isEmpty()) {
        if (!atRoot) {
            skip(path, problem);
            return -1;
        }
        return refuse(
            tr("The file name '%1' can't be used in a Script Pack: %2.").arg(RawName(path), problem));
    }
    if (atRoot && name.toLower() == ScriptInfoName)
        return refuse(tr("Can't add a file named ScriptInfo.xml."));

    // The first node in creation order that meets either test decides the message.
    const int keyHit = findLoose(path);
    const int nameHit = atRoot ? firstWithName(name.toLower()) : -1;
    auto alreadyExists = [&] {
        return refuse(path + QStringLiteral("\r\n\r\n") + tr("already exists in the file list."));
    };
    if (keyHit >= 0 && (nameHit < 0 || keyHit <= nameHit))
        return alreadyExists();
    if (nameHit >= 0)
        return refuse(tr("A file called '%1' already exists in the file list.").arg(name));
    // Keys stay unique whatever the caller passes; a walk's own names are
    // distinct already.
    if (!atRoot && !m_walking && hasChildNamed(parent, RawName(path)))
        return alreadyExists();

    PackNode n;
    n.Parent = parent;
    n.Kind = atRoot ? PackNodeKind::LooseFile : PackNodeKind::FolderFile;
    n.Image1 = Unchecked;
    n.Image2 = Unchecked;
    const int index = appendNode(n, RawName(path), path);
    ++m_fileCount;
    return index;
}

int PackContents::OverlappingFolder(const QString& path) const
{
    const QString p = NormalizeFolderPath(path);
    auto contains = [](const QString& outer, const QString& inner) {
        const QString prefix = outer.endsWith(QLatin1Char('/')) ? outer : outer + QLatin1Char('/');
        return inner.startsWith(prefix);
    };
    // Every folder node lies inside a top-level one, so those are all there is to compare.
    for (int folder : m_topFolders) {
        const QString& tag = m_topPaths[size_t(node(folder).TopPath)];
        if (tag == p || contains(tag, p) || contains(p, tag))
            return folder;
    }
    return -1;
}

PackContents::FolderResult PackContents::AddFolderToTree(const QString& path, int parent,
                                                         const AddHooks& hooks)
{
    if (m_walking)
        return FolderResult::Stopped; // no second walk from inside the first one's yield
    startWalk(hooks);
    const FolderResult result = addFolder(path, parent, hooks);
    endWalk(hooks);
    return result;
}

PackContents::FolderResult PackContents::AddFolderContents(const QString& path, const QString& except,
                                                           const AddHooks& hooks)
{
    if (m_walking)
        return FolderResult::Stopped;
    const QString p = NormalizeFolderPath(path);
    const QFileInfo info(p);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return FolderResult::Unreadable;
    startWalk(hooks);
    m_walkBase = ChildPath(p, QString());
    const FolderListing listing = ListFolder(p);
    for (const QString& name : listing.notUtf8)
        skip(ChildPath(p, name), tr("its name is not valid UTF-8"));
    for (const QString& name : listing.folderLinks)
        skip(ChildPath(p, name), tr("it is a link to a folder, which is not followed"));
    FolderResult result = FolderResult::Added;
    const auto leftOut = [&](const QString& name) {
        if (hooks.exclude && hooks.exclude->matches(name))
            return true;
        const QString why = hooks.defaultExcludes ? DefaultExclusion(name) : QString();
        if (!why.isEmpty())
            skip(ChildPath(p, name), why);
        return !why.isEmpty();
    };
    for (const QString& name : listing.files) {
        if (!maybeYield(hooks)) {
            result = FolderResult::Stopped;
            break;
        }
        const QString file = ChildPath(p, name);
        if (file != except && !leftOut(name))
            addFile(file, -1, hooks, false);
    }
    for (qsizetype i = 0; i < listing.folders.size() && result != FolderResult::Stopped; ++i) {
        if (!maybeYield(hooks) ||
            (!leftOut(listing.folders[i]) &&
             addFolder(ChildPath(p, listing.folders[i]), -1, hooks) == FolderResult::Stopped))
            result = FolderResult::Stopped;
    }
    endWalk(hooks);
    return result;
}

void PackContents::startWalk(const AddHooks& hooks)
{
    m_walking = true;
    m_stop = false;
    m_skipped.clear();
    m_walkTimer.start();
    // The first yield comes at once, so the window shows the disabled page before the walk.
    m_lastYield = -hooks.yieldIntervalMs;
}

void PackContents::endWalk(const AddHooks& hooks)
{
    m_walking = false;
    // One message for the whole walk, not one per name.
    const auto& report = hooks.skipped ? hooks.skipped : hooks.refuse;
    if (!m_skipped.isEmpty() && report)
        report(SkippedMessage(m_skipped));
}

PackContents::FolderResult PackContents::addFolder(const QString& path, int parent, const AddHooks& hooks)
{
    const QString p = NormalizeFolderPath(path);
    if (parent >= 0 && (!isLive(parent) || node(parent).Kind != PackNodeKind::Folder))
        return FolderResult::Unreadable;
    if ((parent < 0 && OverlappingFolder(p) >= 0) || (parent >= 0 && findKey(FolderPrefix + p) >= 0)) {
        if (hooks.refuse)
            hooks.refuse(FolderMessage(p));
        return FolderResult::AlreadyInPack;
    }
    if (parent < 0) {
        const QString refusal = TopFolderRefusal(p);
        if (!refusal.isEmpty()) {
            if (hooks.refuse)
                hooks.refuse(refusal);
            return FolderResult::Refused;
        }
    }
    m_walkBase = GetFolderPath(p);
    return walkFolder(p, parent, hooks);
}

QString PackContents::TopFolderRefusal(const QString& path) const
{
    const QString raw = RawName(path);
    const QString problem = NameProblem(path);
    if (!problem.isEmpty())
        return tr("The folder name '%1' can't be used in a Script Pack: %2.").arg(raw, problem);
    if (raw.toLower() == ScriptInfoName)
        return tr("Can't add a folder named ScriptInfo.xml.");
    // Windows holds one of two names that differ only in case, whatever their kinds.
    for (int top : m_top) {
        if (Text(top).compare(raw, Qt::CaseInsensitive) == 0)
            return tr("A file or folder called '%1' already exists in the file list.").arg(raw);
    }
    return QString();
}

void PackContents::skip(const QString& path, const QString& reason)
{
    const QString shown =
        m_walkBase.isEmpty() || !path.startsWith(m_walkBase) ? path : path.mid(m_walkBase.size());
    m_skipped << shown + QStringLiteral(": ") + reason;
}

bool PackContents::maybeYield(const AddHooks& hooks)
{
    if (!m_stop && hooks.yield && m_walkTimer.elapsed() - m_lastYield >= hooks.yieldIntervalMs) {
        if (!hooks.yield())
            m_stop = true;
        m_lastYield = m_walkTimer.elapsed();
        // A regrowth counts towards the time to the next turn. A turn taken
        // straight after it would do the repaint the turn just asked for, and
        // leave the one after with none to do: two turns and more without a
        // paint.
        if (!m_stop)
            GrowIndexAhead();
    }
    return !m_stop;
}

void PackContents::GrowIndexAhead()
{
    // An index that fills up rehashes every key in one go, tens of
    // milliseconds at tens of thousands of nodes. Grown here, just after a
    // turn, while there is still room for what a turn's worth of walking adds.
    const qsizetype room = m_names.capacity();
    if (room >= 4096 && m_names.size() + room / 4 >= room)
        m_names.reserve(room * 2);
}

PackContents::FolderResult PackContents::walkFolder(const QString& path, int parent, const AddHooks& hooks)
{
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return FolderResult::Unreadable;

    // Hidden files belong to the script too. Special files (pipes, sockets,
    // dangling links) cannot be packed and are left out.
    const FolderListing listing = ListFolder(path);
    const QStringList& files = listing.files;
    const QStringList& folders = listing.folders;

    PackNode n;
    n.Parent = parent;
    n.Kind = PackNodeKind::Folder;
    const int folder = appendNode(n, RawName(path), path);
    // Folders carry no check box in either list.
    SetTVItemStateImage(PackList::Reg1, folder, NoBox);
    SetTVItemStateImage(PackList::Reg2, folder, NoBox);

    for (const QString& name : listing.notUtf8)
        skip(ChildPath(path, name), tr("its name is not valid UTF-8"));
    for (const QString& name : listing.folderLinks)
        skip(ChildPath(path, name), tr("it is a link to a folder, which is not followed"));
    // Windows keeps one of two names that differ only in case: the later one
    // is left out. Names taken so far are held as hashes of their lower-cased
    // text; a hit is confirmed against the names themselves.
    QSet<quint64> taken;
    std::vector<const QString*> accepted;
    accepted.reserve(size_t(files.size() + folders.size()));
    auto accept = [&](const QString& child, const QString& childName) {
        if (hooks.exclude && hooks.exclude->matches(child.mid(m_walkBase.size())))
            return false;
        QString problem = hooks.defaultExcludes ? DefaultExclusion(childName) : QString();
        if (problem.isEmpty())
            problem = NameProblem(child);
        const QString lower = childName.toLower();
        const quint64 hash = NameHash(lower);
        if (problem.isEmpty() && taken.contains(hash)) {
            // Names that differ only in case sort side by side: look back from here.
            for (auto e = accepted.crbegin(); e != accepted.crend(); ++e) {
                if ((*e)->toLower() == lower) {
                    problem = tr("another name in its folder differs from it only in case");
                    break;
                }
            }
        }
        if (!problem.isEmpty()) {
            skip(child, problem);
            return false;
        }
        taken.insert(hash);
        accepted.push_back(&childName);
        return true;
    };
    for (const QString& name : files) {
        if (!maybeYield(hooks))
            return FolderResult::Stopped;
        const QString child = ChildPath(path, name);
        if (accept(child, name))
            addFile(child, folder, hooks, true);
    }
    for (const QString& name : folders) {
        if (!maybeYield(hooks))
            return FolderResult::Stopped;
        const QString sub = ChildPath(path, name);
        if (!accept(sub, name))
            continue;
        if (walkFolder(sub, folder, hooks) == FolderResult::Stopped)
            return FolderResult::Stopped;
    }
    emit folderCompleted(folder);
    return FolderResult::Added;
}

void PackContents::unindex(int creationIndex)
{
    const PackNode& n = node(creationIndex);
    auto it = m_names.find(NameHash(name(creationIndex).toLower()));
    if (it != m_names.end()) {
        int before = -1;
        for (int c = it->first; c >= 0 && c != creationIndex; c = node(c).NextSameName)
            before = c;
        const int after = n.NextSameName;
        if (before >= 0)
            m_nodes[size_t(before)].NextSameName = after;
        else
            it->first = after;
        if (it->last == creationIndex)
            it->last = before;
        if (it->first < 0)
            m_names.erase(it);
    }
    m_nodes[size_t(creationIndex)].NextSameName = -1;
    if (n.Kind == PackNodeKind::LooseFile)
        m_loose.remove(NameHash(m_topPaths[size_t(n.TopPath)]), creationIndex);
    if (n.Kind == PackNodeKind::Folder && n.Parent < 0)
        m_topFolders.removeOne(creationIndex);
    --m_live;
}

void PackContents::RemoveNode(int creationIndex)
{
    if (!isLive(creationIndex) || m_walking)
        return;
    const int parent = node(creationIndex).Parent;
    const int row = node(creationIndex).Row;
    emit nodeAboutToBeRemoved(parent, row);

    std::vector<int> pending{creationIndex};
    while (!pending.empty()) {
        const int i = pending.back();
        pending.pop_back();
        unindex(i);
        PackNode& n = m_nodes[size_t(i)];
        n.Removed = true;
        if (n.Children >= 0) {
            std::vector<int>& kids = m_children[size_t(n.Children)];
            pending.insert(pending.end(), kids.begin(), kids.end());
            std::vector<int>().swap(kids);
        }
    }
    std::vector<int>& siblings = parent < 0 ? m_top : m_children[size_t(node(parent).Children)];
    siblings.erase(siblings.begin() + row);
    for (size_t r = size_t(row); r < siblings.size(); ++r)
        m_nodes[size_t(siblings[r])].Row = int(r);
    emit nodeRemoved();
}

int PackContents::StateImage(PackList list, int creationIndex) const
{
    if (!isLive(creationIndex))
        return NoBox;
    switch (list) {
    case PackList::Reg1:
        return node(creationIndex).Image1;
    case PackList::Reg2:
        return node(creationIndex).Image2;
    case PackList::Files:
        break;
    }
    return NoBox;
}

void PackContents::setImage(PackList list, int creationIndex, int state)
{
    PackNode& n = m_nodes[size_t(creationIndex)];
    quint8& image = list == PackList::Reg1 ? n.Image1 : n.Image2;
    if (image == state)
        return;
    image = quint8(state);
    emit stateImageChanged(list, creationIndex);
}

bool PackContents::SetChecked(PackList list, int creationIndex, bool checked)
{
    if (list == PackList::Files || !isLive(creationIndex) || node(creationIndex).Kind == PackNodeKind::Folder)
        return false;
    const int current = StateImage(list, creationIndex);
    if (current == NoBox)
        return false; // ticked in the other list
    const int wanted = checked ? Checked : Unchecked;
    if (current == wanted)
        return true;
    setImage(list, creationIndex, wanted);
    const PackList other = list == PackList::Reg1 ? PackList::Reg2 : PackList::Reg1;
    if (checked)
        SetTVItemStateImage(other, creationIndex, NoBox);
    else if (StateImage(other, creationIndex) == NoBox)
        SetTVItemStateImage(other, creationIndex, Unchecked);
    return true;
}

int PackContents::GetTVItemFromNode(PackList, int creationIndex) const
{
    if (creationIndex < 0 || creationIndex >= nodeCount())
        return 0;
    WriteLog(QStringLiteral("GetTVItemFromNode:   "), NameUtf8(creationIndex));
    return isLive(creationIndex) ? creationIndex + 1 : 0;
}

bool PackContents::IsTVItemChecked(PackList list, int item) const
{
    WriteLog(IsTVItemCheckedLine);
    return StateImage(list, item - 1) == Checked;
}

void PackContents::SetTVItemStateImage(PackList list, int creationIndex, int index)
{
    const int item = GetTVItemFromNode(list, creationIndex);
    if (item == 0 || list == PackList::Files || index < NoBox || index > Checked)
        return;
    setImage(list, item - 1, index);
}
