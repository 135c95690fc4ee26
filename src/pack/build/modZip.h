#pragma once

#include <QString>
#include <optional>

class clsZip;

// The archiver's run over the zip library and the callbacks the library calls
// during it. Only one run may be in progress at a time: the callbacks reach
// the archiver of the current run through module state.
namespace modZip {

// Runs the library over zip's spec list and options. Returns the library's
// code, or ZpErrLogic when a run is already in progress (a handler that
// starts another run from inside an event). Never changes the current directory.
qint32 ZipRun(clsZip& zip);

// Message callback: raises Progress(1, text) with "/" written as "\"; lengths
// outside 2..1023 are ignored. Returns 0.
qint32 ZipPrintCallback(const char* sText, qint32 lLen);
// Service callback: raises Cancel(name); 1 when the handler cancelled (or the
// archiver is gone), else 0.
qint32 ZipServiceCallback(const char* sName, qint32 lLen);
// Comment callback: raises CommentRequest and copies the trimmed comment into
// the 256-byte buffer; 1 (no comment) when it is empty or cancelled.
qint32 ZipCommentCallback(char* sBuffer);
// Idle callback: raises Idle; 1 when the archiver is gone.
qint32 ZipIdleCallback();

// The text of a callback's bytes as the handlers get it: nothing for lengths
// outside 2..1023, otherwise the UTF-8 text cut at its first NUL.
std::optional<QString> TextFromCallback(const char* sText, qint32 lLen);

} // namespace modZip
