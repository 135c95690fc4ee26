#pragma once

#include <QString>
#include <QtGlobal>
#include <utility>

// The file calls of the zip engine and the contents model, in one place so
// that a Windows build needs one more file here and no change there. Paths
// are in the file system's encoding (QFile::encodeName). Calls interrupted by
// a signal are made again; a failed call leaves its reason in lastError().
namespace FileIO {

// What the file system says of a file: enough to tell whether it is the same
// file, and whether it changed, to the nanosecond.
struct Status
{
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    quint64 device = 0;
    quint64 inode = 0;
    bool regular = false;
    bool folder = false;

    // Whole seconds, rounded down as the file system's own seconds are.
    static qint64 seconds(qint64 ns) { return ns >= 0 ? ns / 1000000000 : -((-ns + 999999999) / 1000000000); }
    qint64 mtimeSeconds() const { return seconds(mtimeNs); }
    bool sameFile(const Status& o) const { return device == o.device && inode == o.inode; }
    // Same size and times: a file written to shows new times even at the same size.
    bool sameStamp(const Status& o) const
    {
        return size == o.size && mtimeNs == o.mtimeNs && ctimeNs == o.ctimeNs;
    }
};

// An open file, closed when dropped.
class Handle
{
public:
    Handle() = default;
    explicit Handle(int fd) : m_fd(fd) {}
    Handle(Handle&& o) noexcept : m_fd(std::exchange(o.m_fd, -1)) {}
    Handle& operator=(Handle&& o) noexcept
    {
        if (this != &o) {
            reset();
            m_fd = std::exchange(o.m_fd, -1);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }
    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset();

private:
    int m_fd = -1;
};

enum class Mode
{
    Read,
    // Reading, without waiting for a writer: a FIFO among the files must not stop the build.
    ReadNoWait,
    // A new file, read and written; fails when the name exists.
    CreateNew,
};

Handle open(const char* path, Mode mode);
// The file a path leads to, links followed.
bool statusOf(const char* path, Status& st);
bool statusOf(int fd, Status& st);
bool isLink(const char* path);

// Bytes read, 0 at the end, -1 on an error.
qint64 read(int fd, char* data, qint64 size);
qint64 readAt(int fd, char* data, qint64 size, quint64 at);
// All of data, or false (lastError() says why; a disk that takes nothing is ENOSPC).
bool writeAllAt(int fd, const char* data, qint64 size, quint64 at);
bool rewind(int fd);
bool truncate(int fd, quint64 size);
// Has the disk start writing that range back, without waiting for it.
void startWriteback(int fd, quint64 from, quint64 size);
// Copies up to size bytes file to file inside the kernel, moving both
// offsets: bytes copied, 0 when the kernel cannot copy between these files
// (the caller copies them itself), -1 on an error.
qint64 copyRange(int from, quint64& fromAt, int to, quint64& toAt, quint64 size);
// Closes, telling whether the last writes reached the file.
bool close(int fd);
bool remove(const char* path);
bool rename(const char* from, const char* to);

int lastError();
// Whether an open failed because nothing is at the path.
bool isMissing(int error);
QString errorText(int error);
// The running out of space error, for a write that wrote nothing.
int noSpaceError();
int ioError();

// The clock files are stamped with, in whole seconds: coarse, and cheap to read.
qint64 clockSeconds();

} // namespace FileIO
