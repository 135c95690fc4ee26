#pragma once

#include <QString>
#include <QStringList>

// What a Script Pack's ScriptInfo.xml says about its script: the fields the
// wizard asks for on its script-information page and the files the host
// registers. Read back so the next release starts from the last one.
struct ScriptPackInfo
{
    QString Name;
    QString Description; // line breaks as "\n", the way the description field holds them
    QString AboutUrl;
    QString Version; // null when the manifest names no version
    QStringList OleFiles;
    QStringList DotNetFiles;
};

// Reads the manifest of the pack at path. Returns false when the file is not
// a readable Script Pack (no zip archive, no ScriptInfo.xml at its root, a
// manifest that is not well-formed XML or not a ScriptInfo document); error
// then says why in one plain sentence.
bool ReadScriptPack(const QString& path, ScriptPackInfo& info, QString& error);

// Parses manifest bytes; the same rules and error texts as ReadScriptPack.
bool ParseScriptInfo(const QByteArray& xml, ScriptPackInfo& info, QString& error);
