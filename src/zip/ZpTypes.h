#pragma once

#include <QtGlobal>

// The records the archiver's interface passes (see platform/ZipLibrary.h for
// what a run does with them).

// Return codes of ZpArchive (the values follow Info-ZIP's exit codes).
enum ZpResult : qint32
{
    ZpOk = 0,
    ZpErrFormat = 3,   // the existing archive is not a readable zip file
    ZpErrMemory = 4,   // out of memory
    ZpErrLogic = 5,    // called again while a run is in progress
    ZpErrAborted = 9,  // a callback abandoned the run
    ZpErrRead = 11,    // a file could not be read to the end
    ZpErrNothing = 12, // nothing to do: no entry to write and no archive to update
    ZpErrWrite = 14,   // the new archive could not be written or put in place
    ZpErrCreate = 15,  // the archive could not be created or opened for writing
    ZpErrParams = 16,  // bad arguments, or one entry name from two different files
    ZpErrOpen = 18,    // a named file or folder is missing or cannot be opened
};

// Message callback: text and its length in bytes; the return value is ignored.
using ZpPrintFunc = qint32 (*)(const char* text, qint32 length);
// Comment callback: a buffer of 256 bytes; return 0 with the comment in it
// (NUL-terminated, at most 255 bytes), or 1 to give no comment.
using ZpCommentFunc = qint32 (*)(char* buffer);
// Service callback: asked once for each entry the run processes, with the
// entry's name; 1 abandons the run, 0 goes on.
using ZpServiceFunc = qint32 (*)(const char* name, qint32 length);
// Idle callback: called at most about every 20 ms while the specs are looked
// up, file data is read and compressed and the archive is written out, and
// once before an existing archive is opened, so the caller's window can
// repaint; 1 abandons the run.
using ZpIdleFunc = qint32 (*)();

struct ZpCallbacks
{
    ZpPrintFunc Print = nullptr;
    ZpCommentFunc Comment = nullptr;
    void* Reserved = nullptr; // a password callback in other zip libraries; unused
    ZpServiceFunc Service = nullptr;
    ZpIdleFunc Idle = nullptr; // may be null
};

// The option record: three texts, then 29 integer fields, in this order.
struct ZpOptions
{
    const char* szDate = nullptr;    //  1
    const char* szRootDir = nullptr; //  2 base path of relative specs and of entry names
    const char* szTempDir = nullptr; //  3
    qint32 fTemp = 0;                //  4
    qint32 fSuffix = 0;              //  5
    qint32 fEncrypt = 0;             //  6
    qint32 fSystem = 0;              //  7
    qint32 fVolume = 0;              //  8
    qint32 fExtra = 0;               //  9
    qint32 fNoDirEntries = 0;        // 10 1: no directory entries
    qint32 fExcludeDate = 0;         // 11
    qint32 fIncludeDate = 0;         // 12
    qint32 fVerbose = 0;             // 13 1: also report entries kept unchanged
    qint32 fQuiet = 0;               // 14 1: report errors and warnings only
    qint32 fCRLFtoLF = 0;            // 15
    qint32 fLFtoCRLF = 0;            // 16
    qint32 fJunkDirNames = 0;        // 17 1: entries under their bare file names
    qint32 fGrow = 0;                // 18
    qint32 fForce = 0;               // 19
    qint32 fMove = 0;                // 20
    qint32 fDeleteEntries = 0;       // 21 1: delete the entries whose names match the specs
    qint32 fUpdate = 0;              // 22 1: replace an entry only by a newer file; add new ones
    qint32 fFreshen = 0;             // 23 1: replace an entry only by a newer file; add nothing
    qint32 fJunkSFX = 0;             // 24
    qint32 fLatestTime = 0;          // 25
    qint32 fComment = 0;             // 26 1: ask the comment callback for the archive comment
    qint32 fOffsets = 0;             // 27
    qint32 fPrivilege = 0;           // 28
    qint32 fEncryption = 0;          // 29
    qint32 fRecurse = 0;             // 30 2: walk folders recursively (1 is taken alike)
    qint32 fLiteral = 0;             // 31 1: specs are exact paths (no pattern, '\' is part of a name)
    qint32 fHold = 0;                // 32 1: more runs on this archive follow (see ZpArchive)
    // Not one of the 32 fields: an earlier archive whose stored data may be
    // copied for files found unchanged (same name, size, time and CRC). Where
    // the build that wrote it kept a cache of the files' stat (see StatCache),
    // a file showing the same stat is copied without being read.
    const char* szReuse = nullptr;
    // Nor this: the archive the one being written will replace. Found among
    // the files, whatever name or link leads to it, it fails the run
    // ("zip error: the archive being replaced is among the files: PATH").
    const char* szReplace = nullptr;
};
