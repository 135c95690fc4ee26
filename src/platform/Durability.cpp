#include "platform/Durability.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <QFileDevice>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
// Windows: FlushFileBuffers on the file; a rename (MoveFileEx with
// MOVEFILE_WRITE_THROUGH) needs no folder of its own flushed.
class DiskDurability final : public Durability
{
public:
    bool syncFile(const QString& path) override
    {
        QFile file(path);
        return file.open(QIODevice::ReadWrite) && file.flush();
    }
    bool syncFolder(const QString&) override { return true; }
};
#else
bool Sync(const QString& path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    int result = 0;
    do
        result = ::fsync(fd);
    while (result != 0 && errno == EINTR);
    ::close(fd);
    return result == 0;
}

class DiskDurability final : public Durability
{
public:
    bool syncFile(const QString& path) override { return Sync(path, O_RDONLY); }
    bool syncFolder(const QString& path) override { return Sync(path, O_RDONLY | O_DIRECTORY); }
};
#endif

} // namespace

template <> Durability& Seam<Durability>::platform()
{
    static DiskDurability disk;
    return disk;
}
