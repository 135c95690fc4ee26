#include "makePackXML.h"

#include "platform/BuildLog.h"

#include <QXmlStreamReader>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Whether XML 1.0 can carry the character at all, even as a reference.
bool isXmlChar(char32_t c)
{
    if (c < 0x20)
        return c == 0x09 || c == 0x0A || c == 0x0D;
    if (c >= 0xD800 && c <= 0xDFFF)
        return false;
    return c != 0xFFFE && c != 0xFFFF && c <= 0x10FFFF;
}

enum class Context
{
    Content,
    // Element text the host shows in a multi-line box: line breaks stay breaks.
    MultiLine,
    Attribute
};

// Makes a typed value safe inside the manifest and keeps it intact on the way
// back out of a parser:
// - markup characters become entities;
// - CR and LF become character references, since a parser would otherwise
//   turn them into a bare LF and the value would also break the one element
//   per line layout; inside the attribute the same holds for a tab, which a
//   parser would read back as a space;
// - in multi-line text every line break (CR LF, CR or LF) is written as a
//   plain CR LF instead: the host is a Windows program whose text boxes break
//   lines only at CR LF, and a break is ordinary XML text;
// - an unpaired surrogate (text pasted from a broken source) becomes U+FFFD;
// - control characters and the non-characters U+FFFE/U+FFFF, which no XML 1.0
//   document may contain, are dropped.
QString escapeValue(const QString& value, Context context)
{
    QString out;
    out.reserve(value.size() + value.size() / 8);
    const qsizetype n = value.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = value.at(i);
        const char32_t c = ch.unicode();
        if (ch.isHighSurrogate() && i + 1 < n && value.at(i + 1).isLowSurrogate()) {
            out += ch;
            out += value.at(++i);
            continue;
        }
        if (ch.isSurrogate()) {
            out += QChar(QChar::ReplacementCharacter);
            continue;
        }
        if (!isXmlChar(c))
            continue;
        if (context == Context::MultiLine && (c == U'\r' || c == U'\n')) {
            if (c == U'\r' && i + 1 < n && value.at(i + 1) == QLatin1Char('\n'))
                ++i;
            out += kCrLf;
            continue;
        }
        switch (c) {
        case U'&':
            out += QLatin1String("&amp;");
            break;
        case U'<':
            out += QLatin1String("&lt;");
            break;
        case U'>':
            out += QLatin1String("&gt;");
            break;
        case U'"':
            out += QLatin1String("&quot;");
            break;
        case U'\r':
            out += QLatin1String("&#13;");
            break;
        case U'\n':
            out += QLatin1String("&#10;");
            break;
        case U'\t':
            out += context == Context::Attribute ? QStringLiteral("&#9;") : QStringLiteral("\t");
            break;
        default:
            out += ch;
        }
    }
    return out;
}

void appendLine(QString& text, const QString& line)
{
    text += line;
    text += kCrLf;
}

void appendElement(QString& text, const QString& tag, const QString& value,
                   Context context = Context::Content)
{
    text += QLatin1Char('<') + tag + QLatin1Char('>') + escapeValue(value, context) + QLatin1String("</") +
            tag + QLatin1Char('>') + kCrLf;
}

} // namespace

QString makePackXML(const QString& name, const QString& description, const QString& aboutUrl,
                    bool hasComFiles, const QStringList& comFiles, bool hasDotNetFiles,
                    const QString& dotNetFiles, const QString& version, const AuthorManifest& author)
{
    WriteLog(QStringLiteral("makePackXML"));

    QString xml;
    appendLine(xml, QStringLiteral("<?xml version=\"1.0\"?>"));
    appendLine(xml, QStringLiteral("<ScriptInfo xmlns=\"urn:msgplus:scripts\" "
                                   "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" Version=\"") +
                        escapeValue(version, Context::Attribute) + QStringLiteral("\">"));
    appendLine(xml, QStringLiteral("<Information>"));
    appendElement(xml, QStringLiteral("Name"), name);
    // Only the empty text is left out: a description of blanks is still written.
    if (!description.isEmpty())
        appendElement(xml, QStringLiteral("Description"), description, Context::MultiLine);
    if (!aboutUrl.isEmpty())
        appendElement(xml, QStringLiteral("AboutUrl"), aboutUrl);
    // Where the author kept the version, it stays too, so the two never disagree.
    if (author.VersionElement)
        appendElement(xml, QStringLiteral("Version"), version);
    for (const KeptElement& kept : author.Information)
        appendLine(xml, kept.Xml);
    appendLine(xml, QStringLiteral("</Information>"));
    for (const KeptElement& kept : author.Sections)
        appendLine(xml, kept.Xml);

    if (hasComFiles) {
        appendLine(xml, QStringLiteral("<OleFiles>"));
        for (const QString& file : comFiles)
            appendElement(xml, QStringLiteral("FileName"), file);
        appendLine(xml, QStringLiteral("</OleFiles>"));
    }

    if (hasDotNetFiles) {
        appendLine(xml, QStringLiteral("<DotNetFiles>"));
        // Split before escaping: no escape contains a vertical bar.
        const QStringList files = dotNetFiles.split(QLatin1Char('|'));
        for (const QString& file : files)
            appendElement(xml, QStringLiteral("FileName"), file);
        appendLine(xml, QStringLiteral("</DotNetFiles>"));
    }

    appendLine(xml, QStringLiteral("</ScriptInfo>"));
    return xml;
}

bool IsWellFormedXml(const QString& xml)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}
