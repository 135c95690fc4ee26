#include "pack/build/ManifestEncoding.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace {

struct Unicode
{
    QByteArrayView lead;
    qsizetype skip; // how much of lead is a byte-order mark
    QStringConverter::Encoding encoding;
    const char* name;
};

// By their marks, and UTF-16 without one by its first two characters, "<?",
// as an XML document must begin when it declares itself.
const Unicode Marks[] = {
    {QByteArrayView("\xEF\xBB\xBF", 3), 3, QStringConverter::Utf8, "UTF-8"},
    {QByteArrayView("\xFF\xFE", 2), 2, QStringConverter::Utf16LE, "UTF-16"},
    {QByteArrayView("\xFE\xFF", 2), 2, QStringConverter::Utf16BE, "UTF-16"},
    {QByteArrayView("<\0?\0", 4), 0, QStringConverter::Utf16LE, "UTF-16"},
    {QByteArrayView("\0<\0?", 4), 0, QStringConverter::Utf16BE, "UTF-16"},
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

bool DecodeWindows1252(const QByteArray& bytes, QString& text)
{
    QStringDecoder ansi("windows-1252");
    if (ansi.isValid() && Decode(ansi, bytes, text))
        return true;
    // Bytes the code page leaves undefined: Latin-1 still gives every other
    // character the same code, and any byte some character.
    text = QString::fromLatin1(bytes);
    return true;
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
        const bool utf16 = u.encoding != QStringConverter::Utf8;
        if (Decode(decoder, body, text) && !(utf16 && (body.size() % 2 != 0 || !text.isValidUtf16())))
            return true;
        why = QStringLiteral("is not valid %1").arg(QLatin1String(u.name));
        return false;
    }
    const QString declared = DeclaredEncoding(bytes);
    const bool saysUtf8 = declared.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0 ||
                          declared.compare(QLatin1String("utf8"), Qt::CaseInsensitive) == 0;
    if (!declared.isEmpty() && !saysUtf8) {
        QStringDecoder decoder(declared.toLatin1().constData());
        if (!decoder.isValid()) {
            why = QStringLiteral("declares the encoding '%1', which this program cannot read").arg(declared);
            return false;
        }
        if (Decode(decoder, bytes, text))
            return true;
        why = QStringLiteral("is not valid %1, the encoding it declares").arg(declared);
        return false;
    }
    // Notepad's "ANSI" under a declaration of UTF-8 is the common slip; the
    // Windows code page is what such a file holds.
    QStringDecoder utf8(QStringConverter::Utf8);
    return Decode(utf8, bytes, text) || DecodeWindows1252(bytes, text);
}
