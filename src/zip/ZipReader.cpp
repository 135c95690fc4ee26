#include "zip/ZipReader.h"

#include "platform/FileIO.h"
#include "zip/ZipFormat.h"

#include <cstring>

using namespace ZipFormat;

bool ForEachZipEntry(int fd, QByteArray& comment,
                     const std::function<void(const char* record, QByteArrayView name)>& each)
{
    return ForEachZipEntry(fd, comment, {}, each);
}

bool ForEachZipEntry(int fd, QByteArray& comment, const std::function<void(quint64 count)>& counted,
                     const std::function<void(const char* record, QByteArrayView name)>& each)
{
    comment.clear();
    FileIO::Status st;
    if (!FileIO::statusOf(fd, st) || st.size < 22)
        return false;
    const auto size = quint64(st.size);
    const quint64 tailSize = qMin<quint64>(size, 22 + 0xFFFF);
    QByteArray tail(qsizetype(tailSize), '\0');
    if (!PreadAll(fd, tail.data(), tail.size(), size - tailSize))
        return false;
    qsizetype at = -1;
    for (qsizetype i = tail.size() - 22; i >= 0; --i) {
        if (get32(tail.constData() + i) == kEndSig &&
            i + 22 + get16(tail.constData() + i + 20) == tail.size()) {
            at = i;
            break;
        }
    }
    if (at < 0)
        return false;
    const char* e = tail.constData() + at;
    comment = QByteArray(e + 22, get16(e + 20));
    quint64 count = get16(e + 10);
    quint64 cdSize = get32(e + 12);
    quint64 cdStart = get32(e + 16);
    if (count == 0xFFFF || cdSize == kMax32 || cdStart == kMax32) {
        const quint64 locatorAt = size - tailSize + quint64(at);
        char loc[20];
        char end64[56];
        if (locatorAt < 20 || !PreadAll(fd, loc, 20, locatorAt - 20) || get32(loc) != kLocator64Sig ||
            !PreadAll(fd, end64, 56, get64(loc + 8)) || get32(end64) != kEnd64Sig)
            return false;
        count = get64(end64 + 32);
        cdSize = get64(end64 + 40);
        cdStart = get64(end64 + 48);
    }
    // Every record takes 46 bytes at least: a count beyond that is damage, not a size to make room for.
    if (cdStart + cdSize > size || count > cdSize / 46)
        return false;
    if (counted)
        counted(count);
    // Read a window at a time: a large directory need not be in memory whole.
    constexpr qsizetype kWindow = 1 << 20;
    QByteArray cd;
    qsizetype p = 0;
    quint64 readTo = cdStart; // file offset just behind cd's bytes
    auto have = [&](qsizetype bytes) {
        if (p + bytes <= cd.size())
            return true;
        cd.remove(0, p);
        p = 0;
        const auto more = qsizetype(qMin<quint64>(quint64(qMax(kWindow, bytes)), cdStart + cdSize - readTo));
        if (cd.size() + more < bytes)
            return false;
        const qsizetype old = cd.size();
        cd.resize(old + more);
        readTo += quint64(more);
        return PreadAll(fd, cd.data() + old, more, readTo - quint64(more));
    };
    for (quint64 k = 0; k < count; ++k) {
        if (!have(46) || get32(cd.constData() + p) != kCentralSig)
            return false;
        const char* c = cd.constData() + p;
        const qsizetype recSize = 46 + get16(c + 28) + get16(c + 30) + get16(c + 32);
        if (!have(recSize))
            return false;
        c = cd.constData() + p;
        each(c, QByteArrayView(c + 46, get16(c + 28)));
        p += recSize;
    }
    return true;
}

bool ReadZipDirectory(int fd, ZipDirectory& dir, QByteArray& comment, const std::function<void()>& turn)
{
    dir.clear();
    quint32 seen = 0;
    const auto counted = [&](quint64 count) { dir.reserve(quint32(count)); };
    return ForEachZipEntry(fd, comment, counted, [&](const char* c, QByteArrayView name) {
        if ((++seen & 1023) == 0 && turn)
            turn();
        // Only what this writer would write for a file is worth copying:
        // anything else would make the new archive differ from a fresh one.
        // It deflates a file only when that makes it smaller, and stores it
        // only when it does not.
        const quint16 method = get16(c + 10);
        const bool smaller = get32(c + 20) < get32(c + 24);
        if (get16(c + 4) == kMadeBy && get16(c + 6) == kNeeds && get16(c + 8) == flagsFor(name) &&
            ((method == 8 && smaller) || (method == 0 && get32(c + 20) == get32(c + 24))) &&
            get16(c + 30) == 0 && get16(c + 32) == 0 && get16(c + 34) == 0 && get16(c + 36) == 0 &&
            get32(c + 38) == kFileAttributes && !name.endsWith('/')) {
            ZipDirectory::Record r;
            r.flags = method == 0 ? ZipDirectory::Stored : 0;
            r.dosTime = (quint32(get16(c + 14)) << 16) | get16(c + 12);
            r.crc = get32(c + 16);
            r.csize = get32(c + 20);
            r.usize = get32(c + 24);
            r.offset = get32(c + 42);
            dir.add(name, r);
        }
    });
}

bool IsWrittenLocalHeader(int fd, const ZipDirectory& dir, quint32 i, std::atomic<quint8>* checked)
{
    if (checked != nullptr && checked[i].load(std::memory_order_relaxed) != 0)
        return checked[i].load(std::memory_order_relaxed) == 1;
    // The headers of small files' entries lie a few hundred to 64 KiB: one
    // read for all of them costs less than a read each.
    constexpr quint64 kReach = 64 * 1024;
    const quint64 from = dir.at(i).offset;
    quint64 to = from + 30 + dir.at(i).nameLen;
    quint32 last = i;
    while (checked != nullptr && last + 1 < dir.size()) {
        const ZipDirectory::Record& next = dir.at(last + 1);
        const quint64 end = next.offset + 30 + next.nameLen;
        if (next.offset < to || end - from > kReach)
            break;
        to = end;
        ++last;
    }
    thread_local QByteArray found;
    thread_local QByteArray expected;
    found.resize(qsizetype(to - from));
    const bool read = PreadAll(fd, found.data(), found.size(), from);
    bool ok = false;
    for (quint32 k = i; k <= last; ++k) {
        const ZipDirectory::Record& r = dir.at(k);
        expected.resize(0);
        AppendLocalHeader(expected, r, dir.name(r));
        const bool same = read && expected.size() == 30 + qsizetype(r.nameLen) &&
                          std::memcmp(found.constData() + (r.offset - from), expected.constData(),
                                      size_t(expected.size())) == 0;
        if (k == i)
            ok = same;
        if (checked != nullptr)
            checked[k].store(same ? 1 : 2, std::memory_order_relaxed);
    }
    return ok;
}
