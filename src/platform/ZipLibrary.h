#pragma once

#include "zip/ZipFailure.h"
#include "zip/ZpTypes.h"

#include <QStringList>
#include <QtGlobal>
#include <functional>

// The zip library the archiver drives: three calls, an option record, a
// callback record and a table of file specs, bound here onto the zip engine
// (src/zip), whose one session they drive. New archives are written by the
// engine's own writer (ZipWriter); libzip reads archives of other tools and
// updates an existing archive in place (see below). All texts
// are NUL-terminated UTF-8; a null text pointer counts as the empty text.
//
// Specs: with fLiteral set, each spec is an exact path, taken as it stands
// (the base path and archive path too). Otherwise a path to a file or folder,
// or a folder followed by a pattern in its last part ("top\*.*", "lib/*.js"; "\" and "/" both separate; "*.*"
// matches every file, dotted or not). Relative specs and a relative archive path are resolved against the
// base path (option field 2), or against the process's current directory when that is empty; the current
// directory is never changed.
//
// Entry names: with fJunkDirNames set, the bare file name (no directory
// entries). Otherwise the path relative to the base path; a file outside the
// base path is named from the last part of its spec's fixed path on ("top/a.js"
// for "/elsewhere/top/*.*", "a.txt" for "/elsewhere/a.txt"), so no entry ever
// starts with "/" or holds "..". Whatever path led to it, a name that is
// absolute, starts with a drive letter, holds a ".." part or a '\' fails the
// run (ZpErrParams): a Windows tool would read it as another place. The same
// name reached twice from the same file is stored once; from two different
// files the run fails (ZpErrParams).
//
// A file whose size differs, when read, from the size it was listed with
// fails the run (ZpErrRead): it changed meanwhile, and half of it is no copy.
// A spec naming a missing file, or a pattern in a missing folder given by an
// absolute path, fails the run (ZpErrOpen); a relative pattern that matches
// nothing is only a warning, since a caller may keep specs from runs made
// with another base path.
//
// A run on a new archive writes it front to back in one pass. With fHold
// set, the run leaves the archive open in the library without its central
// directory, and the next run on the same path goes on appending; the first
// run without fHold writes the directory (and the comment) and closes it. A
// run on another archive finishes the held one first; a held archive that
// changed on disk meanwhile fails the run (ZpErrWrite) and is dropped; a name
// written again replaces the earlier entry ("updating: NAME"). With literal
// specs and no recursion, each spec is looked at on the worker threads only.
//
// A run on an existing archive that is not held (and every delete, fUpdate
// or fFreshen run) updates it in place through libzip: named entries are
// added or replaced, all others are kept. An entry whose size, time (at zip's
// two-second precision) and CRC match its file is kept as stored.
//
// Entry order: spec order, then each folder walked depth-first sorted by
// name. Files are deflated at level 6, times come from the files, names that
// are not plain ASCII carry the UTF-8 flag; Zip64 records are written when
// sizes, offsets or the entry count need them. Files up to 4 MiB are read
// and deflated a window ahead on two worker threads; larger ones go through
// DeflateFile. With szReuse naming an archive this library wrote with the
// same comment, a file whose name, size, time and CRC match an entry there
// has that entry's stored data copied instead of being deflated again: the
// result is the same byte for byte. Every callback comes on the calling
// thread, from inside the one call to ZpArchive.
//
// The run is all or nothing: on any failure, or when a callback abandons it,
// the archive on disk stays as the earlier runs left it (a new archive is not
// created; an archive held open gets its directory when the failed run was
// to finish it).
//
// Messages (to the print callback, one call per message):
//   "  adding: NAME"           a new entry, sent as its data is compressed
//   "updating: NAME"           a replaced entry, likewise
//   "deleting: NAME"           an entry removed by a delete run
//   "unchanged: NAME"          an entry kept as stored (verbose level only)
//   "zip warning: name not matched: SPEC"
//   "zip warning: could not open folder: PATH"   (the folder is skipped)
//   "zip error: ..."           the reason of a failed run, sent before it returns
// Options without effect here: fEncrypt (no password callback), fSystem (no
// hidden or system attributes on this platform; every file is taken),
// fVolume, fCRLFtoLF, fLFtoCRLF, fGrow, the date
// filters and the remaining Info-ZIP-style fields.

// Registers the callbacks for the following runs (copied). Returns 0.
qint32 ZpInit(const ZpCallbacks* callbacks);
// Sets the options of the following runs (copied, texts included). Returns 0.
qint32 ZpSetOptions(const ZpOptions* options);
// Runs over the first count specs of names (a table of at least count slots)
// on the archive at zipFile. Returns 0 or one of the ZpResult codes above.
qint32 ZpArchive(qint32 count, const char* zipFile, const char* const* names);
// Why the last run failed, as a value: the kind of failure and what it
// concerns, the same the run's "zip error:" message says. Kind None after a
// run that succeeded.
ZipFailure ZpLastFailure();

// Starts reading and deflating, on one worker thread (the caller keeps a
// core), the files a coming run will store, while the caller is still busy
// before it: options and the first count specs of names as that run will have
// them (both copied; only literal specs without recursion are read; with a
// reuse archive, its directory is read beside the caller first, and the files
// are checked against it). Nothing is written and no callback is made. The
// first run whose base path, name options and reuse archive (read the same,
// and kept for its comment) are the same takes the files over, as
// far as its own specs begin with the same ones in the same order; it reads
// and reports everything as if it had read those files itself, and reads the
// rest itself. Another ZpPrefetch (count 0 just drops), a run without fHold,
// and ZpDiscardHeld drop whatever was not taken over.
void ZpPrefetch(const ZpOptions* options, qint32 count, const char* const* names);

// Adds the run after the ones given so far to what ZpPrefetch started: its
// files are read after theirs, and it takes them over once those runs took
// exactly their own (a run that parts from its list drops what was read for
// the later ones). A run that cannot be read ahead, one with another reuse
// archive than the first, or one past the limit of
// files, ends the list: nothing after it is read.
void ZpPrefetchAlso(const ZpOptions* options, qint32 count, const char* const* names);

// Between runs, from the thread that makes them: keeps the reading ahead
// going past the files the workers hold at once, within a fixed memory
// budget. Cheap; call it every few milliseconds while busy elsewhere.
void ZpPrefetchTurn();

// Drops the archive a run left open with fHold, without finishing it: the
// file, which has no directory yet, is deleted, and what ZpPrefetch read is
// dropped. Nothing happens from inside a run.
void ZpDiscardHeld();

// Drops the stat cache the last finished archive left (see szReuse): for a
// caller whose build fails after that, so that no cache outlives an archive
// that was never kept.
void ZpForgetStatCache();

// For tests and benchmarks: how many files the runs have read since the
// program started; and a clock that runs seconds ahead (or behind, when
// negative) when a run judges whether a file had settled before it was read,
// so that files made a moment ago count as long unchanged (or old files as
// just made).
quint64 ZpFilesRead();
void ZpSetSettleClockAhead(qint64 seconds);

// The entry names of the archive at zipFile, in stored order; false when it
// cannot be opened as a zip archive. turn, when given, is called once per entry.
bool ZpListEntries(const QString& zipFile, QStringList& names, const std::function<void()>& turn = {});
