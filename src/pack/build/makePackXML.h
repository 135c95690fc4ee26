#pragma once

#include <QString>
#include <QStringList>

// The text of ScriptInfo.xml, the manifest the host reads when it imports a
// pack: name, version, optional description and about address, and the files
// it must register as COM components and as .NET assemblies. Every line ends
// in CR LF. dotNetFiles holds the relative paths joined by "|". Values are
// escaped so the manifest stays well-formed whatever the user typed; the
// caller writes the text as UTF-8 without a byte-order mark.
QString makePackXML(const QString& name, const QString& description, const QString& aboutUrl,
                    bool hasComFiles, const QStringList& comFiles, bool hasDotNetFiles,
                    const QString& dotNetFiles, const QString& version);
