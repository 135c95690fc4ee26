#pragma once

#include "platform/ParallelDeflate.h"

// DeflateFile's knobs, for its tests and benchmark only. The piece size
// shapes the stream, so anything that writes entries keeps the default;
// the thread count never changes a byte of it.
struct DeflateTuning
{
    int threads = 0;            // workers; 0: the machine's cores, at most 4
    qint64 piece = 1024 * 1024; // input bytes per piece: each cut costs a few bytes
    bool freshStreams = false;  // a new stream per piece, as the reference for the reused ones
};

DeflateResult DeflateFileTuned(const DeflateTuning& tuning, int fd, qint64 expected, int level,
                               const DeflateSink& sink, const std::function<bool()>& idle);
