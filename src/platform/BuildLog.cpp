#include "BuildLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <mutex>

namespace {

QString g_markerFolder;
QString g_logFile;

// The marker is looked up again at most this often: a build logs several
// lines per file, and a failed stat each time cost more than the rest of the
// line's work. Creating or removing the marker still takes effect within this.
constexpr qint64 kMarkerRecheckMs = 500;

struct MarkerCache
{
    std::mutex mutex;
    QElapsedTimer lastCheck; // invalid: look at once
    bool present = false;
};

MarkerCache& markerCache()
{
    static MarkerCache cache;
    return cache;
}

bool markerPresent()
{
    MarkerCache& cache = markerCache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    if (!cache.lastCheck.isValid() || cache.lastCheck.elapsed() >= kMarkerRecheckMs) {
        cache.present = QFileInfo(BuildLog::markerFolder() + QStringLiteral("/makelog")).isFile();
        cache.lastCheck.start();
    }
    return cache.present;
}

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
    MarkerCache& cache = markerCache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    cache.lastCheck.invalidate();
}

void setLogFilePath(const QString& path)
{
    g_logFile = path;
}

} // namespace BuildLog

void WriteLog(const QString& message)
{
    if (!markerPresent())
        return;

    // One open-write-close per line: the file is complete after every message.
    QFile file(BuildLog::logFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return; // a log that cannot be written must not stop the build
    const QString line = timestamp() + QStringLiteral("   -   ") + message + QStringLiteral("\r\n");
    file.write(line.toUtf8());
}
