#pragma once

#include <QByteArrayView>
#include <QString>

// The diagnostic trace of a build. Off unless a file named "makelog" sits
// beside the executable; then each message is appended, time-stamped, to the
// log file. Never throws and never stops the caller when the file cannot be written.
void WriteLog(const QString& message);
// The same for prefix followed by UTF-8 text: the two are joined only when
// the log is on, so a caller logging for every file pays one look-up when it is off.
void WriteLog(const QString& prefix, QByteArrayView utf8);

namespace BuildLog {

// Folder searched for the marker (default: the executable's folder).
QString markerFolder();
// The log file (c:\bundlesmith_log.txt on Windows, ~/bundlesmith_log.txt elsewhere).
QString logFilePath();

// For the life of a build the marker is looked up once, when it starts:
// creating or deleting it takes effect from the next build. A look-up for
// every message cost more than packing a tiny file. Outside a build each
// message looks.
class Session
{
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

// Test hooks: point the marker folder and the log file elsewhere; empty restores the default.
void setMarkerFolder(const QString& folder);
void setLogFilePath(const QString& path);

} // namespace BuildLog
