#pragma once

#include "pack/build/ScriptPackReader.h"

#include <QString>
#include <QStringList>
#include <functional>

class PackContents;
struct PackAddHooks;
struct PackOptions;

// The script's manifest from --from and from a ScriptInfo.xml among the
// paths, in that order, each over the last. Returns the manifest among the
// paths (empty when there is none); error is set when one cannot be read.
QString ReadManifests(const PackOptions& o, ScriptPackInfo& info, QString& error);

// The options that override the manifests; given gets the entries --com and
// --dotnet name. Empty when they fit, else why not.
QString ApplyOptions(const PackOptions& o, ScriptPackInfo& info, QStringList& given);

// The paths in the order given, or the script folder's contents when there
// are none; the author's manifest is not one of the files. warn says what a
// user should know but does not stop the run.
void AddInputs(const PackOptions& o, const ScriptPackInfo& info, const QString& manifest,
               PackContents& contents, const PackAddHooks& hooks,
               const std::function<void(const QString&)>& warn);

// The entries that name no file of the pack, as given.
QStringList Unmatched(const QStringList& entries, const PackContents& contents);

// Up to three of the pack's entries nearest to entry: those that end like
// it first, then by how few letters differ.
QStringList NearestEntries(const QString& entry, const PackContents& contents);

// Every entry the pack will hold, in the order it holds them, with its size
// in bytes ("top/sub/" for a folder, size 0): "ScriptInfo.xml" first.
struct ListedEntry
{
    QString name;
    qint64 size;
};
QList<ListedEntry> PackEntries(const PackContents& contents, qint64 manifestBytes);
