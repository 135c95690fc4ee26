#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class PackContents;

// The registrations of an earlier pack, kept while the new one is put
// together: a file whose manifest entry one of them names arrives ticked in
// that list (and so without a box in the other). Entries are matched the way
// Windows would: letter case aside, with "\" and "/" alike.
class RegistrationMemory : public QObject
{
    Q_OBJECT

public:
    explicit RegistrationMemory(PackContents& contents, QObject* parent = nullptr);

    // Replaces what is remembered and ticks the files already in the pack
    // that are ticked in neither list. An entry in both lists counts as COM.
    void Remember(const QStringList& comEntries, const QStringList& dotNetEntries);

    // The name a file gets in the manifest: its folders from the top-level one
    // down and its own name, joined by backslashes. Empty for a folder node.
    static QString ManifestEntry(const PackContents& contents, int creationIndex);
    static QString MatchKey(const QString& entry);

private:
    void apply(int creationIndex);

    PackContents& m_contents;
    QSet<QString> m_com;
    QSet<QString> m_dotNet;
};
