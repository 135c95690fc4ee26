#pragma once

#include "zip/ZipDirectory.h"

#include <QByteArray>
#include <QByteArrayView>
#include <atomic>
#include <functional>

// Reading archives back: their central directory, and whether an entry's
// local header is the one ZipWriter writes.

// Whether the local header of record i of dir read from fd is, byte for
// byte, the one ZipWriter writes for it: only then may copyEntry take it.
// With checked (a state per record: 0 not known yet, 1 yes, 2 no), the same
// read checks the records behind i whose headers lie close after it, and
// notes each finding there; a state already known is taken as it stands.
bool IsWrittenLocalHeader(int fd, const ZipDirectory& dir, quint32 i, std::atomic<quint8>* checked = nullptr);

// Calls each with every central-directory record of the archive in fd (the
// record's 46 fixed bytes, then its name), in stored order; false when fd
// holds no readable zip archive.
bool ForEachZipEntry(int fd, QByteArray& comment,
                     const std::function<void(const char* record, QByteArrayView name)>& each);
// The same, telling counted the number of records first.
bool ForEachZipEntry(int fd, QByteArray& comment, const std::function<void(quint64 count)>& counted,
                     const std::function<void(const char* record, QByteArrayView name)>& each);

// Reads the central directory of an archive this program wrote, for copying
// stored data out of it: only entries with exactly the headers ZipWriter
// writes for a file are taken. False when fd holds no readable zip archive.
// turn, when given, is called every thousand or so entries.
bool ReadZipDirectory(int fd, ZipDirectory& dir, QByteArray& comment, const std::function<void()>& turn = {});
