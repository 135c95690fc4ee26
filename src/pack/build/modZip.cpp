#include "pack/build/modZip.h"

#include "pack/build/clsZip.h"
#include "platform/ZipLibrary.h"

#include <QPointer>
#include <cstring>
#include <vector>

namespace {

// The archiver of the current run. A guarded pointer: the owner may delete it
// from inside a handler, and the library's later callbacks must then stop the run.
QPointer<clsZip> g_zip;
bool g_cancelled = false;
bool g_running = false;

constexpr qsizetype kMaxCommentBytes = 255;

} // namespace

std::optional<QString> modZip::TextFromCallback(const char* sText, qint32 lLen)
{
    if (sText == nullptr || lLen <= 1 || lLen >= 1024)
        return std::nullopt;
    const void* nul = std::memchr(sText, '\0', size_t(lLen));
    const qsizetype size = nul == nullptr ? lLen : static_cast<const char*>(nul) - sText;
    return QString::fromUtf8(sText, size);
}

qint32 modZip::ZipRun(clsZip& zip)
{
    if (g_running)
        return ZpErrLogic;
    g_running = true;
    g_zip = &zip;
    g_cancelled = false;

    const ZpCallbacks callbacks{&ZipPrintCallback, &ZipCommentCallback, nullptr, &ZipServiceCallback,
                                &ZipIdleCallback};
    ZpInit(&callbacks);
    ZpSetOptions(&zip.Options());

    // The table: the specs in list order, one empty slot, then a text of one NUL.
    const std::vector<const char*>& specs = zip.SpecTable();
    const size_t count = specs.size();
    std::vector<const char*> table;
    table.reserve(count + 2);
    table.assign(specs.cbegin(), specs.cend());
    static const char kNulText[1] = {'\0'};
    table.push_back(nullptr);
    table.push_back(kNulText);
    const QByteArray path = zip.ZipFile().toUtf8();

    const qint32 result = ZpArchive(static_cast<qint32>(count), path.constData(), table.data());
    g_zip = nullptr;
    g_running = false;
    return result;
}

// Handlers' exceptions must not unwind through the zip library; each callback
// swallows them and answers as if the handler had changed nothing.

qint32 modZip::ZipPrintCallback(const char* sText, qint32 lLen)
{
    try {
        std::optional<QString> text = TextFromCallback(sText, lLen);
        if (text && g_zip)
            g_zip->RaiseProgress(1, text->replace(u'/', u'\\'));
    } catch (...) {
    }
    return 0;
}

qint32 modZip::ZipServiceCallback(const char* sName, qint32 lLen)
{
    if (!g_zip)
        return 1;
    try {
        const std::optional<QString> text = TextFromCallback(sName, lLen);
        if (!text)
            return 0;
        bool bCancel = false;
        g_zip->RaiseCancel(*text, bCancel);
        if (bCancel || !g_zip) {
            g_cancelled = true;
            return 1;
        }
    } catch (...) {
    }
    return 0;
}

qint32 modZip::ZipCommentCallback(char* sBuffer)
{
    if (sBuffer == nullptr)
        return 1;
    sBuffer[0] = '\0';
    if (g_cancelled)
        return 1;
    try {
        QString comment;
        bool bCancel = false;
        if (g_zip)
            g_zip->RaiseCommentRequest(comment, bCancel);
        comment = comment.trimmed();
        if (comment.isEmpty() || bCancel) {
            g_cancelled = true;
            return 1;
        }
        const QByteArray bytes = comment.toUtf8();
        qsizetype n = qMin(bytes.size(), kMaxCommentBytes);
        // Cut before a character, never inside one: the stored comment stays valid UTF-8.
        if (n < bytes.size())
            while (n > 0 && (static_cast<unsigned char>(bytes.at(n)) & 0xC0u) == 0x80u)
                --n;
        std::memcpy(sBuffer, bytes.constData(), static_cast<size_t>(n));
        sBuffer[n] = '\0';
        return 0;
    } catch (...) {
        return 1;
    }
}

qint32 modZip::ZipIdleCallback()
{
    if (!g_zip)
        return 1;
    try {
        g_zip->RaiseIdle();
    } catch (...) {
    }
    return g_zip ? 0 : 1;
}
