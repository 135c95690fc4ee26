#include "pack/build/ManifestEncoding.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringDecoder>

// Texts a user reads, in the user's language.
class Text
{
    Q_DECLARE_TR_FUNCTIONS(ScriptPackReader)
};

namespace {

struct Unicode
{
    QByteArrayView lead;
    qsizetype skip; // how much of lead is a byte-order mark
    QStringConverter::Encoding encoding;
    const char* name;
    int unit; // bytes a code unit
};

// By their marks (UTF-32's first: its little-endian mark begins like
// UTF-16's), and UTF-16 without one by its first character, the '<' every
// document without a mark must begin with.
const Unicode Marks[] = {
    {QByteArrayView("\xEF\xBB\xBF", 3), 3, QStringConverter::Utf8, "UTF-8", 1},
    {QByteArrayView("\xFF\xFE\0\0", 4), 4, QStringConverter::Utf32LE, "UTF-32", 4},
    {QByteArrayView("\0\0\xFE\xFF", 4), 4, QStringConverter::Utf32BE, "UTF-32", 4},
    {QByteArrayView("\xFF\xFE", 2), 2, QStringConverter::Utf16LE, "UTF-16", 2},
    {QByteArrayView("\xFE\xFF", 2), 2, QStringConverter::Utf16BE, "UTF-16", 2},
    {QByteArrayView("<\0", 2), 0, QStringConverter::Utf16LE, "UTF-16", 2},
    {QByteArrayView("\0<", 2), 0, QStringConverter::Utf16BE, "UTF-16", 2},
};

// The encoding the XML declaration names, or nothing. The declaration was
// readable as ASCII, so a UTF-16 or UTF-32 it names is not how the file is saved.
QString DeclaredEncoding(const QByteArray& bytes)
{
    static const QRegularExpression declaration(
        QStringLiteral(R"(^<\?xml\s[^>]*?encoding\s*=\s*(["'])([A-Za-z][A-Za-z0-9._-]*)\1)"));
    const QString head = QString::fromLatin1(bytes.left(256));
    const QString name = declaration.match(head).captured(2);
    if (name.startsWith(QLatin1String("utf-16"), Qt::CaseInsensitive) ||
        name.startsWith(QLatin1String("utf-32"), Qt::CaseInsensitive) ||
        name.compare(QLatin1String("unicode"), Qt::CaseInsensitive) == 0)
        return QString();
    return name;
}

bool Decode(QStringDecoder& decoder, QByteArrayView bytes, QString& text)
{
    text = decoder.decode(bytes);
    if (decoder.hasError())
        return false;
    if (text.startsWith(QChar(QChar::ByteOrderMark)))
        text.remove(0, 1);
    return true;
}

// The character each byte stands for in the Windows code page (ICU gives the
// five bytes it leaves undefined their Latin-1 control characters).
const QString& Windows1252()
{
    static const QString table = [] {
        QByteArray bytes(256, Qt::Uninitialized);
        for (int i = 0; i < 256; ++i)
            bytes[i] = char(i);
        QStringDecoder ansi("windows-1252");
        const QString chars = ansi.isValid() ? ansi.decode(bytes) : QString();
        return chars.size() == 256 && !ansi.hasError() ? chars : QString::fromLatin1(bytes);
    }();
    return table;
}

// The length of the UTF-8 sequence at i, or 0 when none starts there.
qsizetype Utf8Sequence(QByteArrayView b, qsizetype i)
{
    const auto at = [&b](qsizetype k) { return uchar(b[k]); };
    const uchar lead = at(i);
    const qsizetype n = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
    if (n == 0 || i + n > b.size())
        return 0;
    for (qsizetype k = 1; k < n; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    const uchar second = at(i + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 0;
    return n;
}

// Text that is not UTF-8 throughout: its UTF-8 sequences as UTF-8 (an
// editor that saved a Windows character into a UTF-8 file leaves the rest
// alone), every other byte in the Windows code page.
QString DecodeMixed(QByteArrayView bytes)
{
    const QString& ansi = Windows1252();
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar c = uchar(bytes[i]);
        const qsizetype n = c < 0x80 ? 0 : Utf8Sequence(bytes, i);
        if (n == 0) {
            text += c < 0x80 ? QChar(c) : ansi[c];
            ++i;
        } else {
            text += QString::fromUtf8(bytes.sliced(i, n));
            i += n;
        }
    }
    return text;
}

} // namespace

bool DecodeManifest(const QByteArray& bytes, QString& text, QString& why)
{
    for (const Unicode& u : Marks) {
        if (!bytes.startsWith(u.lead))
            continue;
        QStringDecoder decoder(u.encoding, QStringDecoder::Flag::Stateless);
        const QByteArrayView body = QByteArrayView(bytes).sliced(u.skip);
        // Qt's UTF-16 decoder reports neither a lone byte at the end nor a
        // lone surrogate: both are looked for here.
        if (Decode(decoder, body, text) && body.size() % u.unit == 0 && text.isValidUtf16())
            return true;
        why = Text::tr("is not valid %1").arg(QLatin1String(u.name));
        return false;
    }
    const QString declared = DeclaredEncoding(bytes);
    const bool saysUtf8 = declared.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0 ||
                          declared.compare(QLatin1String("utf8"), Qt::CaseInsensitive) == 0;
    if (!declared.isEmpty() && !saysUtf8) {
        QStringDecoder decoder(declared.toLatin1().constData());
        if (!decoder.isValid()) {
            why = Text::tr("declares the encoding '%1', which this program cannot read").arg(declared);
            return false;
        }
        if (Decode(decoder, bytes, text))
            return true;
        why = Text::tr("is not valid %1, the encoding it declares").arg(declared);
        return false;
    }
    // Notepad's "ANSI" under a declaration of UTF-8 is the common slip; the
    // Windows code page is what such a file holds.
    QStringDecoder utf8(QStringConverter::Utf8);
    if (!Decode(utf8, bytes, text))
        text = DecodeMixed(bytes);
    return true;
}
