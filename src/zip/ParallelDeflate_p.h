#pragma once

#include "zip/ParallelDeflate.h"

#include <zlib.h>

// DeflateFile's knobs, for its tests and benchmark only. The piece size
// shapes the stream, so anything that writes entries keeps the default;
// the thread count never changes a byte of it.
struct DeflateTuning
{
    int threads = 0;            // workers; 0: the machine's cores, at most 4; -1: none, the caller deflates
    qint64 piece = 1024 * 1024; // input bytes per piece: each cut costs a few hundred bytes
};

DeflateResult DeflateFileTuned(const DeflateTuning& tuning, int fd, qint64 expected, const DeflateSink& sink,
                               const std::function<bool()>& idle);

// The bytes ReopenDeflateEnd may add past a stream's end.
constexpr qsizetype kReopenRoom = 8;

// Makes buf[0, len), one whole raw deflate stream, able to go on: its last
// block is no longer marked last, and the stream is padded with empty blocks
// to a byte boundary, so another stream's bytes may follow. zs is a raw
// inflate stream; scratch takes what it inflates. The new length (buf needs
// kReopenRoom bytes of room past len), or -1 when buf is not one whole stream.
qsizetype ReopenDeflateEnd(z_stream& zs, unsigned char* buf, qsizetype len, unsigned char* scratch,
                           size_t scratchSize);
