#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// How paths become entry names, and which names a pack may hold. Pure text
// rules: nothing here touches the disk, so a table can drive them all.
// Paths are '/'-separated and clean (no "." or ".." parts, no doubled '/').
namespace ZipNames {

// Whether path is root or lies below it. A sibling that merely starts with
// the same characters ("/t/topaz" beside "/t/top") is not below it.
bool IsUnder(const QString& path, const QString& root, Qt::CaseSensitivity cs = Qt::CaseSensitive);

// path relative to root ("top/a.js"); empty when path is root or not below it.
QString RelativeTo(const QString& root, const QString& path, Qt::CaseSensitivity cs = Qt::CaseSensitive);

// "*" any run of characters, "?" one; "*.*" also matches names without a dot.
bool WildMatch(QStringView pattern, QStringView name, Qt::CaseSensitivity cs = Qt::CaseSensitive);

// Why an entry name must not be written (it could land outside the folder it
// is extracted into, or be read differently by a Windows tool); empty when
// it is fine. A folder entry's one trailing '/' is allowed.
QString EntryNameProblem(const QString& name);

// Why a Windows program cannot hold a file or folder of this name, in plain
// words ("it ends with a dot"); empty when it can.
QString WindowsNameProblem(const QString& name);

// The text of UTF-8 name bytes as they are: Qt's own conversion drops a
// leading U+FEFF, which in a file name is part of the name.
QString Utf8Text(QByteArrayView utf8);

// Whether raw file-name bytes read back exactly from their UTF-8 text: the
// pack names entries in UTF-8, so any other name cannot be named exactly.
bool IsExactUtf8(const QByteArray& raw);

// The longest path, in bytes, the system opens.
qsizetype PathLimit();

} // namespace ZipNames
