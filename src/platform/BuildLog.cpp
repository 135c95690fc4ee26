#include "BuildLog.h"

#include "zip/ZipNames.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <atomic>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace {

QString g_markerFolder;
QString g_logFile;
QString timestamp()
{
    // The locale's short date and its long time, as the desktop shows "now";
    // the time-zone name that Qt's long format may carry is not part of it.
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    return locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(now.time(), timeFormat.trimmed());
}

// The marker's path in the file system's encoding, made once: the look-up
// comes for every message, often several per packed file.
QByteArray g_markerPath;

const QByteArray& markerPath()
{
    if (g_markerPath.isEmpty()) {
        const QString folder = BuildLog::markerFolder();
        if (folder.isEmpty())
            return g_markerPath; // no application yet: the marker cannot be told
        g_markerPath = QFile::encodeName(folder + QStringLiteral("/makelog"));
    }
    return g_markerPath;
}

// What a build's session found when it started: -1 outside a build.
std::atomic<int> g_sessionMarker{-1};

// Whether the marker is a normal file: as a running build found it, or now.
bool markerPresent()
{
    const int session = g_sessionMarker.load(std::memory_order_relaxed);
    if (session >= 0)
        return session == 1;
    const QByteArray& path = markerPath();
    if (path.isEmpty())
        return false;
#ifdef Q_OS_WIN
    return QFileInfo(QFile::decodeName(path)).isFile();
#else
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

void append(const QString& message)
{
    // One open-write-close per line: the file is complete after every message.
    QFile file(BuildLog::logFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return; // a log that cannot be written must not stop the build
    const QString line = timestamp() + QStringLiteral("   -   ") + message + QStringLiteral("\r\n");
    file.write(line.toUtf8());
}

} // namespace

namespace BuildLog {

Session::Session()
{
    g_sessionMarker.store(-1);
    g_sessionMarker.store(markerPresent() ? 1 : 0);
}

Session::~Session()
{
    g_sessionMarker.store(-1);
}

QString markerFolder()
{
    if (!g_markerFolder.isEmpty())
        return g_markerFolder;
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
}

QString logFilePath()
{
    if (!g_logFile.isEmpty())
        return g_logFile;
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\bundlesmith_log.txt");
#else
    return QDir::homePath() + QStringLiteral("/bundlesmith_log.txt");
#endif
}

void setMarkerFolder(const QString& folder)
{
    g_markerFolder = folder;
    g_markerPath.clear();
}

void setLogFilePath(const QString& path)
{
    g_logFile = path;
}

} // namespace BuildLog

void WriteLog(const QString& message)
{
    if (markerPresent())
        append(message);
}

void WriteLog(const QString& prefix, QByteArrayView utf8)
{
    if (markerPresent())
        append(prefix + ZipNames::Utf8Text(utf8));
}
