#pragma once

#include "pack/build/AuthorManifest.h"

#include <QString>
#include <QStringList>

// The text of ScriptInfo.xml, the manifest the host reads when it imports a
// pack: name, version, optional description and about address, and the files
// it must register as COM components and as .NET assemblies. Every line ends
// in CR LF. dotNetFiles holds the relative paths joined by "|". Values are
// escaped so the manifest stays well-formed whatever the user typed; the
// caller writes the text as UTF-8 without a byte-order mark. What the author
// wrote in a manifest of their own beyond the wizard's fields goes in as it
// stands: Information's other children after the generated lines, other
// sections after </Information>, before the registrations.
QString makePackXML(const QString& name, const QString& description, const QString& aboutUrl,
                    bool hasComFiles, const QStringList& comFiles, bool hasDotNetFiles,
                    const QString& dotNetFiles, const QString& version, const AuthorManifest& author = {});

// Whether a parser takes the text as XML.
bool IsWellFormedXml(const QString& xml);
