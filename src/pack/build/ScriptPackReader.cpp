#include "pack/build/ScriptPackReader.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <memory>
#include <zip.h>

namespace {

// A manifest is a few lines; anything bigger is not one we wrote and is not read into memory.
constexpr zip_uint64_t MaxManifestBytes = 4 * 1024 * 1024;

struct ZipCloser
{
    void operator()(zip_t* za) const { zip_discard(za); }
};
struct ZipFileCloser
{
    void operator()(zip_file_t* zf) const { zip_fclose(zf); }
};

// Manifests written on Windows by earlier packers are in the Windows code
// page without an encoding declaration; XML would read them as UTF-8 and
// reject them. Valid UTF-8 (ours, with or without a byte-order mark) is read as such.
QString DecodeManifest(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder ansi("windows-1252");
    if (ansi.isValid()) {
        text = ansi.decode(bytes);
        if (!ansi.hasError())
            return text;
    }
    return QString::fromLatin1(bytes);
}

// XML turns a typed CR LF into LF; a manifest that kept the CR as a
// character reference gives it back. Either way the field wants LF alone.
QString NormaliseLineBreaks(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void ReadFileNames(QXmlStreamReader& xml, QStringList& into)
{
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("FileName")) {
            const QString entry = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            if (!entry.isEmpty())
                into << entry;
        } else {
            xml.skipCurrentElement();
        }
    }
}

void ReadInformation(QXmlStreamReader& xml, ScriptPackInfo& info)
{
    while (xml.readNextStartElement()) {
        const auto text = [&xml] { return xml.readElementText(QXmlStreamReader::SkipChildElements); };
        if (xml.name() == QLatin1String("Name"))
            info.Name = text();
        else if (xml.name() == QLatin1String("Description"))
            info.Description = NormaliseLineBreaks(text());
        else if (xml.name() == QLatin1String("AboutUrl"))
            info.AboutUrl = text();
        else
            xml.skipCurrentElement();
    }
}

} // namespace

bool ParseScriptInfo(const QByteArray& bytes, ScriptPackInfo& info, QString& error)
{
    ScriptPackInfo read;
    QXmlStreamReader xml(DecodeManifest(bytes));
    if (!xml.readNextStartElement()) {
        error = xml.hasError() ? QStringLiteral("its ScriptInfo.xml is not well-formed XML (line %1: %2).")
                                     .arg(xml.lineNumber())
                                     .arg(xml.errorString())
                               : QStringLiteral("its ScriptInfo.xml is empty.");
        return false;
    }
    if (xml.name() != QLatin1String("ScriptInfo")) {
        error = QStringLiteral("its ScriptInfo.xml is not a Script Pack manifest.");
        return false;
    }
    if (xml.attributes().hasAttribute(QLatin1String("Version")))
        read.Version = xml.attributes().value(QLatin1String("Version")).toString();
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("Information"))
            ReadInformation(xml, read);
        else if (xml.name() == QLatin1String("OleFiles"))
            ReadFileNames(xml, read.OleFiles);
        else if (xml.name() == QLatin1String("DotNetFiles"))
            ReadFileNames(xml, read.DotNetFiles);
        else
            xml.skipCurrentElement();
    }
    // Whatever follows the root element must still be well-formed.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError()) {
        error = QStringLiteral("its ScriptInfo.xml is not well-formed XML (line %1: %2).")
                    .arg(xml.lineNumber())
                    .arg(xml.errorString());
        return false;
    }
    info = read;
    return true;
}

bool ReadScriptPack(const QString& path, ScriptPackInfo& info, QString& error)
{
    int code = 0;
    std::unique_ptr<zip_t, ZipCloser> za(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code));
    if (!za) {
        if (code == ZIP_ER_NOENT)
            error = QStringLiteral("the file does not exist.");
        else if (QFileInfo(path).isDir())
            error = QStringLiteral("it is a folder.");
        else if (code == ZIP_ER_OPEN || code == ZIP_ER_READ)
            error = QStringLiteral("the file cannot be read.");
        else
            error = QStringLiteral("it is not a zip archive.");
        return false;
    }
    // The host looks for the manifest at the root only; a copy in a folder is a script file.
    const zip_int64_t index = zip_name_locate(za.get(), "ScriptInfo.xml", ZIP_FL_NOCASE);
    zip_stat_t st;
    zip_stat_init(&st);
    if (index < 0 || zip_stat_index(za.get(), zip_uint64_t(index), 0, &st) != 0 ||
        !(st.valid & ZIP_STAT_SIZE)) {
        error = QStringLiteral("it holds no ScriptInfo.xml at its root.");
        return false;
    }
    if (st.size > MaxManifestBytes) {
        error = QStringLiteral("its ScriptInfo.xml is too large to be a manifest.");
        return false;
    }
    std::unique_ptr<zip_file_t, ZipFileCloser> zf(zip_fopen_index(za.get(), zip_uint64_t(index), 0));
    QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
    if (!zf || zip_fread(zf.get(), bytes.data(), st.size) != zip_int64_t(st.size)) {
        error = QStringLiteral("its ScriptInfo.xml cannot be read.");
        return false;
    }
    return ParseScriptInfo(bytes, info, error);
}
