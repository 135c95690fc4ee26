#include "platform/FileIO.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileIO {

namespace {

qint64 nanoseconds(const timespec& t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void fill(const struct stat& s, Status& st)
{
    st.size = qint64(s.st_size);
    st.mtimeNs = nanoseconds(s.st_mtim);
    st.ctimeNs = nanoseconds(s.st_ctim);
    st.device = quint64(s.st_dev);
    st.inode = quint64(s.st_ino);
    st.regular = S_ISREG(s.st_mode);
    st.folder = S_ISDIR(s.st_mode);
}

} // namespace

void Handle::reset()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

Handle open(const char* path, Mode mode)
{
    switch (mode) {
    case Mode::Read:
        return Handle(::open(path, O_RDONLY | O_CLOEXEC));
    case Mode::ReadNoWait:
        return Handle(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    case Mode::CreateNew:
        return Handle(::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    }
    return Handle();
}

bool statusOf(const char* path, Status& st)
{
    struct stat s = {};
    if (::stat(path, &s) != 0)
        return false;
    fill(s, st);
    return true;
}

bool statusOf(int fd, Status& st)
{
    struct stat s = {};
    if (::fstat(fd, &s) != 0)
        return false;
    fill(s, st);
    return true;
}

bool isLink(const char* path)
{
    struct stat s = {};
    return ::lstat(path, &s) == 0 && S_ISLNK(s.st_mode);
}

qint64 read(int fd, char* data, qint64 size)
{
    for (;;) {
        const ssize_t n = ::read(fd, data, size_t(size));
        if (n >= 0 || errno != EINTR)
            return qint64(n);
    }
}

qint64 readAt(int fd, char* data, qint64 size, quint64 at)
{
    for (;;) {
        const ssize_t n = ::pread(fd, data, size_t(size), off_t(at));
        if (n >= 0 || errno != EINTR)
            return qint64(n);
    }
}

bool writeAllAt(int fd, const char* data, qint64 size, quint64 at)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size_t(size), off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
        at += quint64(n);
    }
    return true;
}

bool rewind(int fd)
{
    return ::lseek(fd, 0, SEEK_SET) == 0;
}

bool truncate(int fd, quint64 size)
{
    return ::ftruncate(fd, off_t(size)) == 0;
}

void startWriteback(int fd, quint64 from, quint64 size)
{
#ifdef Q_OS_LINUX
    ::sync_file_range(fd, off64_t(from), off64_t(size), SYNC_FILE_RANGE_WRITE);
#else
    Q_UNUSED(fd);
    Q_UNUSED(from);
    Q_UNUSED(size);
#endif
}

qint64 copyRange(int from, quint64& fromAt, int to, quint64& toAt, quint64 size)
{
#ifdef Q_OS_LINUX
    for (;;) {
        auto in = loff_t(fromAt), out = loff_t(toAt);
        const ssize_t n = ::copy_file_range(from, &in, to, &out, size_t(size), 0u);
        if (n > 0) {
            fromAt += quint64(n);
            toAt += quint64(n);
            return qint64(n);
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0) {
            errno = EIO;
            return -1;
        }
        // Another file system, or one that cannot: the caller copies.
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EPERM ||
            errno == ETXTBSY)
            return 0;
        return -1;
    }
#else
    Q_UNUSED(from);
    Q_UNUSED(fromAt);
    Q_UNUSED(to);
    Q_UNUSED(toAt);
    Q_UNUSED(size);
    return 0;
#endif
}

bool close(int fd)
{
    return ::close(fd) == 0;
}

bool remove(const char* path)
{
    return ::unlink(path) == 0;
}

bool rename(const char* from, const char* to)
{
    return ::rename(from, to) == 0;
}

int lastError()
{
    return errno;
}

bool isMissing(int error)
{
    return error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG;
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

int noSpaceError()
{
    return ENOSPC;
}

int ioError()
{
    return EIO;
}

qint64 clockSeconds()
{
    timespec t = {};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &t);
    return t.tv_sec;
}

} // namespace FileIO
