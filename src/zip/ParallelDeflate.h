#pragma once

#include <QByteArrayView>
#include <QtGlobal>
#include <functional>

// One file deflated into a single raw deflate stream, as a zip entry holds it.
struct DeflateResult
{
    enum Failure
    {
        None,
        ReadFailed, // the file could not be read
        Changed,    // it did not hold exactly the expected number of bytes
        Abandoned,  // the sink or the idle callback asked to stop
    };
    Failure failure = None;
    quint32 crc = 0;    // CRC-32 of the bytes read
    qint64 inSize = 0;  // bytes read
    qint64 outSize = 0; // deflated bytes handed to the sink
    quint32 outCrc = 0; // CRC-32 of those, taken on the workers
    bool ok() const { return failure == None; }
};

// Takes a piece's deflated bytes, with the bytes read that they stand for;
// false stops.
using DeflateSink = std::function<bool(QByteArrayView deflated, QByteArrayView read)>;

// Reads fd from its current position to its end; it must hold exactly
// expected bytes. The deflated stream goes to sink in order, in pieces, on
// the calling thread; idle is called on the calling thread at least every
// 20 ms while it waits. Either returning false abandons the file. The same
// bytes always give the same stream, whatever the machine's core count, so
// an entry written once can be reused as it stands.
DeflateResult DeflateFile(int fd, qint64 expected, const DeflateSink& sink,
                          const std::function<bool()>& idle);
