#pragma once

#include <QString>

// What a registry read yields when the value cannot be had.
inline const QString RegNotFound = QStringLiteral("Not Found");

// The host's key under HKEY_LOCAL_MACHINE and the value holding its scripts folder.
inline const QString HostRegistryKey = QStringLiteral("SOFTWARE\\Orrinvale\\Messenger Plus! Live");
inline const QString ScriptsDirValue = QStringLiteral("ScriptsDir");

// The string stored in valueName under subKey of the hive hKey, read through
// RegistryReader::current(); "Not Found" when the key or value is missing or
// unreadable, and for a value longer than 2047 characters. An empty value
// comes back empty.
QString GetRegString(quint32 hKey, const QString& subKey, const QString& valueName);

// The host's scripts folder for the first Add Files dialog: the ScriptsDir
// value when it could be read and is not empty, else "". Under Wine the
// platform reader has already turned it into the local folder.
QString ScriptsFolderFromRegistry();
