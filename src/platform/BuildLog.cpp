#include "BuildLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

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

} // namespace

namespace BuildLog {

QString markerFolder()
{
    if (!g_markerFolder.isEmpty())
        return g_markerFolder;
    return QCoreApplication::applicationDirPath();
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
}

void setLogFilePath(const QString& path)
{
    g_logFile = path;
}

} // namespace BuildLog

void WriteLog(const QString& message)
{
    // Looked up on every call, so creating or deleting the marker takes effect at once.
    const QFileInfo marker(BuildLog::markerFolder() + QStringLiteral("/makelog"));
    if (!marker.isFile())
        return;

    // One open-write-close per line: the file is complete after every message.
    QFile file(BuildLog::logFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return; // a log that cannot be written must not stop the build
    const QString line = timestamp() + QStringLiteral("   -   ") + message + QStringLiteral("\r\n");
    file.write(line.toUtf8());
}
