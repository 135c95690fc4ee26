#include "platform/WorkFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>
#endif

namespace {

// Short and fixed, so a target name of any legal length leaves room for it.
const QString Prefix = QStringLiteral(".bundlesmith-");
// Written once the lock is held: a folder with it and no lock is stale.
const QString Marker = QStringLiteral("building");

} // namespace

#ifndef Q_OS_WIN

WorkFolder::WorkFolder(const QString& parentFolder)
{
    QByteArray name = QFile::encodeName(QDir(parentFolder).filePath(Prefix + QStringLiteral("XXXXXX")));
    if (mkdtemp(name.data()) == nullptr) {
        const int err = errno;
        m_error = QString::fromLocal8Bit(std::strerror(err));
        m_failure = err == ENOENT || err == ENOTDIR                 ? Failure::Missing
                    : err == EACCES || err == EROFS || err == EPERM ? Failure::ReadOnly
                                                                    : Failure::Other;
        return;
    }
    m_lock = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // Blocking: a cleaner may hold it for the moment it takes to look.
    if (m_lock < 0 || ::flock(m_lock, LOCK_EX) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        m_failure = Failure::Other;
        if (m_lock >= 0)
            ::close(m_lock);
        m_lock = -1;
        ::rmdir(name.constData());
        return;
    }
    const QString path = QFile::decodeName(name);
    QFile marker(QDir(path).filePath(Marker));
    if (!marker.open(QIODevice::WriteOnly)) {
        m_error = marker.errorString();
        m_failure = Failure::Other;
        QDir(path).removeRecursively();
        ::close(m_lock);
        m_lock = -1;
        return;
    }
    m_path = path;
}

WorkFolder::~WorkFolder()
{
    if (!m_path.isEmpty())
        QDir(m_path).removeRecursively();
    if (m_lock >= 0)
        ::close(m_lock);
}

int WorkFolder::RemoveStale(const QString& parentFolder)
{
    int removed = 0;
    const QDir parent(parentFolder);
    // Read plainly: a pattern for the names would be compiled afresh on every
    // build, costing more than reading a large folder. The open below takes
    // only a folder, and never through a link.
    const QByteArray prefix = QFile::encodeName(Prefix);
    std::vector<QString> names;
    if (DIR* dir = ::opendir(QFile::encodeName(parentFolder).constData())) {
        while (const dirent* e = ::readdir(dir)) {
            if (std::strncmp(e->d_name, prefix.constData(), size_t(prefix.size())) == 0 &&
                (e->d_type == DT_DIR || e->d_type == DT_UNKNOWN))
                names.push_back(QFile::decodeName(e->d_name));
        }
        ::closedir(dir);
    }
    for (const QString& name : names) {
        const QString path = parent.filePath(name);
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // Without the marker its build may be about to take the lock; only
            // one abandoned long ago is surely stale.
            const QFileInfo info(path);
            if (QFile::exists(QDir(path).filePath(Marker)) ||
                info.lastModified().secsTo(QDateTime::currentDateTime()) > 3600) {
                if (QDir(path).removeRecursively())
                    ++removed;
            }
        }
        ::close(fd);
    }
    return removed;
}

#else

WorkFolder::WorkFolder(const QString& parentFolder)
{
    // No advisory locks here: a unique name, removed when the build ends.
    for (int attempt = 0; attempt < 100 && m_path.isEmpty(); ++attempt) {
        const QString name =
            Prefix + QString::number(QDateTime::currentMSecsSinceEpoch() % 1000000 + attempt);
        if (QDir(parentFolder).mkdir(name))
            m_path = QDir(parentFolder).filePath(name);
    }
    if (m_path.isEmpty()) {
        m_error = QStringLiteral("cannot create a folder");
        m_failure = QFileInfo::exists(parentFolder) ? Failure::ReadOnly : Failure::Missing;
    }
}

WorkFolder::~WorkFolder()
{
    if (!m_path.isEmpty())
        QDir(m_path).removeRecursively();
}

int WorkFolder::RemoveStale(const QString&)
{
    return 0;
}

#endif
