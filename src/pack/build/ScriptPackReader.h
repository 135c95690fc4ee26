#pragma once

#include "pack/build/AuthorManifest.h"

#include <QString>
#include <QStringList>

// The longest script name the host takes, in characters.
constexpr qsizetype kMaxScriptNameLength = 127;

// What a script's ScriptInfo.xml says: the fields the wizard asks for on its
// script-information page, the files the host registers, and whatever else
// the author wrote there, kept for the pack. Read back so the next release
// starts from the last one, or a first pack from the author's own manifest.
struct ScriptPackInfo
{
    QString Name;
    QString Description; // line breaks as "\n", the way the description field holds them
    QString AboutUrl;
    QString Version; // null when the manifest names no version
    QStringList OleFiles;
    QStringList DotNetFiles;
    AuthorManifest Kept;
    // Read from a script folder or its ScriptInfo.xml: the folder whose
    // contents make the pack, and the manifest itself, which is not one of
    // them. Both empty for a pack.
    QString ScriptFolder;
    QString ManifestFile;
};

// Reads the manifest an author has at path: a Script Pack (the manifest at
// its root), a ScriptInfo.xml, or a script folder holding one. Returns false
// when there is none that can be read; error then says why in one plain
// sentence that names path.
bool ReadScriptInfo(const QString& path, ScriptPackInfo& info, QString& error);

// Parses manifest bytes. On failure why is the rest of a sentence whose
// subject is the manifest ("is not well-formed XML (line 3: ...)").
bool ParseScriptInfo(const QByteArray& bytes, ScriptPackInfo& info, QString& why);

// Whether a file of this name is a manifest to the host, which, a Windows
// program, takes names in any letter case.
bool IsManifestName(const QString& fileName);
