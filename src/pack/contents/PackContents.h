#pragma once

#include "zip/Turns.h"

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMultiHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

// What goes into a Script Pack: top-level files, folder nodes and the files
// found below them. The files tree and both registration lists show this one
// model, so they cannot drift apart; only the check states differ per list.

enum class PackNodeKind : quint8
{
    Folder,     // key "fldr-" + full path
    FolderFile, // key "sub-" + full path
    LooseFile   // key = full path, always at the root
};

enum class PackList
{
    Files = 0,
    Reg1 = 1, // COM registration
    Reg2 = 2  // .NET registration
};

// State image of a node in a registration list.
enum PackStateImage : int
{
    NoBox = 0,
    Unchecked = 1,
    Checked = 2
};

// One node, kept small: a pack may hold a hundred thousand of them. Its key,
// full path (Tag) and icon key are derived from its name and the chain of
// folders above it (PackContents::Key, Tag, IconKey); only a top-level node
// stores the path it was added with.
struct PackNode
{
    int Parent = -1; // creation index of the folder node, -1 at the root
    int Row = 0;     // position among the live children of Parent
    PackNodeKind Kind = PackNodeKind::LooseFile;
    quint8 Image1 = 0; // state image in the COM list
    quint8 Image2 = 0; // state image in the .NET list
    bool Removed = false;
    quint16 NameBytes = 0; // the name, UTF-8, in the contents' name store
    quint32 NameAt = 0;
    int Children = -1;     // a folder's list of live children
    int TopPath = -1;      // a top-level node's full path
    int NextSameName = -1; // the next live node whose name matches this one's, letter case aside
};

// Path helpers over the native separator ('/' here).
QString GetFileName(const QString& path);
QString GetFolderPath(const QString& path);
QString TrimNull(const QString& text);
// A folder path without trailing separator, except the root itself.
QString NormalizeFolderPath(const QString& path);

class PathPatterns;

// Callbacks of a long add: refuse shows a refusal to the user; yield lets
// the window repaint and returns false when the add must stop at once.
struct PackAddHooks
{
    std::function<void(const QString& message)> refuse;
    // The one message naming what a walk left out; to refuse when not set.
    std::function<void(const QString& message)> skipped;
    std::function<bool()> yield;
    qint64 yieldIntervalMs = kTurnIntervalMs;
    // Inside an added folder, leave out what no script ships: version-control
    // data and the files desktops make.
    bool defaultExcludes = true;
    // And what the user asked to leave out, by its path in the pack; not named.
    const PathPatterns* exclude = nullptr;
};

class PackContents : public QObject
{
    Q_OBJECT

public:
    using AddHooks = PackAddHooks;

    enum class FolderResult
    {
        Added,
        AlreadyInPack, // the folder overlaps one of the pack
        Unreadable,
        Stopped, // yield asked to stop; what was walked so far stays
        Refused  // a name the pack cannot hold at its root
    };

    explicit PackContents(QObject* parent = nullptr);
    ~PackContents() override;

    // ---- node access in creation order ----
    int nodeCount() const { return int(m_nodes.size()); } // removed nodes included
    const PackNode& node(int creationIndex) const { return m_nodes[size_t(creationIndex)]; }
    bool isLive(int creationIndex) const;
    std::vector<int> liveNodes() const;
    int liveCount() const { return m_live; }
    bool isEmpty() const { return m_live == 0; }
    const std::vector<int>& topLevel() const { return m_top; }
    const std::vector<int>& children(int parent) const;
    // The live node with this key, or -1.
    int findKey(const QString& key) const;
    // The name shown, the key and the full path ('/'-separated) of a node.
    QString Text(int creationIndex) const;
    QString Key(int creationIndex) const;
    QString Tag(int creationIndex) const;
    QString IconKey(int creationIndex) const;
    // The name's UTF-8 bytes, valid while the contents live.
    QByteArrayView NameUtf8(int creationIndex) const;
    // Texts of the ancestors, from the top-level folder down to the parent.
    QStringList ParentChain(int creationIndex) const;
    // The node's name in the pack: its folders from the top-level one down
    // and its own name, joined by separator ('/' as stored, '\\' as the
    // manifest lists it, the host being a Windows program).
    QString NameInPack(int creationIndex, QChar separator) const;
    // Files accepted so far; removals do not lower it.
    int FileCount() const { return m_fileCount; }
    // True while a folder walk runs (it may yield to the event loop).
    bool isWalking() const { return m_walking; }

    // ---- adding and removing ----
    // Offers one file; parent -1 is the root. Returns the new node or -1 when
    // refused (the reason goes to hooks.refuse).
    int AddFileToTree(const QString& path, int parent, const AddHooks& hooks = {});
    // Adds a folder with everything below it; parent -1 is the root.
    FolderResult AddFolderToTree(const QString& path, int parent, const AddHooks& hooks = {});
    // Adds what a script folder holds at the root, as its author lays it out
    // for the host: each file as Add Files would, each folder as Add
    // SubFolder would; except (a path in the folder: its manifest) stays out.
    FolderResult AddFolderContents(const QString& path, const QString& except, const AddHooks& hooks = {});
    // The folder of the pack that path lies in, equals or contains, or -1.
    int OverlappingFolder(const QString& path) const;
    // Removes the node and everything below it.
    void RemoveNode(int creationIndex);

    // Why a file or folder at path cannot go into a pack (its name, as the
    // Windows host sees it, its encoding or its length); empty when it can.
    static QString NameProblem(const QString& path);
    // The one message listing the names a folder walk left out.
    static QString SkippedMessage(const QStringList& skipped);
    // Why a file or folder inside an added folder is left out unless asked
    // for (version-control data, desktop files); empty when it is not.
    static QString DefaultExclusion(const QString& name);
    // What the last folder walk left out, each as "top/name: reason".
    const QStringList& SkippedNames() const { return m_skipped; }

    static QString GetIconKey(const QString& path, bool isFolder);
    static QString FolderMessage(const QString& path);

    // ---- registration lists ----
    int StateImage(PackList list, int creationIndex) const;
    // Changes a file's state and mirrors it into the other list: a tick there
    // takes the box away here, and unticking gives an empty box back.
    // Returns false when the node cannot take that state (folder, no box).
    bool SetChecked(PackList list, int creationIndex, bool checked);

    // ---- tree access as the pack build reads it ----
    // The item of a node in a list: creation index + 1, 0 when the node is not there.
    int GetTVItemFromNode(PackList list, int creationIndex) const;
    bool IsTVItemChecked(PackList list, int item) const;
    void SetTVItemStateImage(PackList list, int creationIndex, int index);
    static int StateImageMask(int index) { return index * 4096; }

signals:
    void nodeAboutToBeInserted(int parent, int row);
    void nodeInserted(int creationIndex);
    void nodeAboutToBeRemoved(int parent, int row);
    void nodeRemoved();
    void stateImageChanged(PackList list, int creationIndex);
    // A folder walk has finished this folder: the views open it.
    void folderCompleted(int creationIndex);

private:
    struct NameChain
    {
        int first = -1;
        int last = -1;
    };

    int appendNode(PackNode node, const QString& name, const QString& topPath);
    QString name(int creationIndex) const;
    // The first live node whose name matches, letter case aside, in creation order.
    int firstWithName(const QString& lowerName) const;
    int findLoose(const QString& path) const;
    bool hasChildNamed(int folder, const QString& name) const;
    void setImage(PackList list, int creationIndex, int state);
    int addFile(const QString& path, int parent, const AddHooks& hooks, bool nameChecked);
    FolderResult addFolder(const QString& path, int parent, const AddHooks& hooks);
    FolderResult walkFolder(const QString& path, int parent, const AddHooks& hooks);
    void startWalk(const AddHooks& hooks);
    void endWalk(const AddHooks& hooks);
    bool maybeYield(const AddHooks& hooks);
    void GrowIndexAhead();
    void unindex(int creationIndex);
    QString TopFolderRefusal(const QString& path) const;
    void skip(const QString& path, const QString& reason);

    // A deque: a vector's regrowth at a hundred thousand nodes moves them all
    // at once, a stall the window would show.
    std::deque<PackNode> m_nodes;
    std::vector<int> m_top;
    int m_live = 0;
    // Names in 64 KiB blocks that never move: one copy of each name, in UTF-8.
    std::vector<std::unique_ptr<char[]>> m_nameBlocks;
    quint32 m_nameUsed = 0;                  // in the last block
    std::deque<std::vector<int>> m_children; // of each folder node
    std::vector<QString> m_topPaths;         // of each top-level node, as added
    // The live nodes of each lower-cased name (by a 64-bit hash of it; the
    // names themselves are compared on a hit), linked in creation order.
    QHash<quint64, NameChain> m_names;
    QMultiHash<quint64, int> m_loose; // live loose files by a hash of their path
    QList<int> m_topFolders;          // live top-level folder nodes
    int m_fileCount = 0;
    QElapsedTimer m_walkTimer;
    qint64 m_lastYield = 0;
    bool m_stop = false;
    bool m_walking = false;
    QString m_walkBase; // the folder holding the walk's top folder
    QStringList m_skipped;
};
