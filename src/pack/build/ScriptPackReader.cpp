#include "pack/build/ScriptPackReader.h"

#include "pack/build/ManifestEncoding.h"
#include "pack/build/ManifestMarkup.h"
#include "zip/ZipNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <memory>
#include <zip.h>

// Texts a user reads, in the user's language.
class Text
{
    Q_DECLARE_TR_FUNCTIONS(ScriptPackReader)
};

namespace {

// A manifest is a few pages at most; anything bigger is not one and is not read into memory.
constexpr qint64 MaxManifestBytes = 8 * 1024 * 1024;
const QString ManifestName = QStringLiteral("ScriptInfo.xml");
const QString XsiUri = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

struct ZipCloser
{
    void operator()(zip_t* za) const { zip_discard(za); }
};
struct ZipFileCloser
{
    void operator()(zip_file_t* zf) const { zip_fclose(zf); }
};

// XML turns a typed CR LF into LF; a manifest that kept the CR as a
// character reference gives it back. Either way the field wants LF alone.
QString NormaliseLineBreaks(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString AttributeText(QString value)
{
    value.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    value.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    value.replace(QLatin1Char('"'), QLatin1String("&quot;"));
    return value;
}

using Declarations = QList<std::pair<QString, QString>>; // prefix, namespace

// The prefixes a kept element uses that the author declared on the elements
// around it: the written manifest declares only its default namespace and
// xsi. Inner declarations win; those the element makes itself stay its own.
Declarations NamespacesFor(const QXmlStreamNamespaceDeclarations& outer,
                           const QXmlStreamNamespaceDeclarations& own, const QSet<QString>& used)
{
    QMap<QString, QString> scope;
    for (const QXmlStreamNamespaceDeclaration& d : outer)
        scope.insert(d.prefix().toString(), d.namespaceUri().toString());
    for (const QXmlStreamNamespaceDeclaration& d : own)
        scope.remove(d.prefix().toString());
    Declarations needed;
    for (auto it = scope.cbegin(); it != scope.cend(); ++it) {
        if (it.key().isEmpty() || !used.contains(it.key()) ||
            (it.key() == QLatin1String("xsi") && it.value() == XsiUri))
            continue;
        needed.append({it.key(), it.value()});
    }
    return needed;
}

QString AsAttributes(const Declarations& declarations)
{
    QString attributes;
    for (const auto& [prefix, uri] : declarations)
        attributes += QStringLiteral(" xmlns:%1=\"%2\"").arg(prefix, AttributeText(uri));
    return attributes;
}

void AddPrefix(QSet<QString>& used, QStringView qualifiedName)
{
    const qsizetype colon = qualifiedName.indexOf(QLatin1Char(':'));
    if (colon > 0)
        used.insert(qualifiedName.first(colon).toString());
}

// Writes the token the reader stands on again, names as they were written.
void Rewrite(QXmlStreamWriter& writer, const QXmlStreamReader& xml)
{
    switch (xml.tokenType()) {
    case QXmlStreamReader::StartElement:
        writer.writeStartElement(xml.qualifiedName().toString());
        for (const QXmlStreamNamespaceDeclaration& d : xml.namespaceDeclarations()) {
            if (d.prefix().isEmpty())
                writer.writeDefaultNamespace(d.namespaceUri().toString());
            else
                writer.writeNamespace(d.namespaceUri().toString(), d.prefix().toString());
        }
        for (const QXmlStreamAttribute& a : xml.attributes())
            writer.writeAttribute(a.qualifiedName().toString(), a.value().toString());
        break;
    case QXmlStreamReader::EndElement:
        writer.writeEndElement();
        break;
    case QXmlStreamReader::Characters:
        if (xml.isCDATA())
            writer.writeCDATA(xml.text().toString());
        else
            writer.writeCharacters(xml.text().toString());
        break;
    case QXmlStreamReader::EntityReference:
        writer.writeCharacters(xml.text().toString());
        break;
    case QXmlStreamReader::Comment:
        writer.writeComment(xml.text().toString());
        break;
    case QXmlStreamReader::ProcessingInstruction:
        writer.writeProcessingInstruction(xml.processingInstructionTarget().toString(),
                                          xml.processingInstructionData().toString());
        break;
    default:
        break;
    }
}

// Nothing but white space and at most the XML declaration.
bool IsEmpty(QStringView source)
{
    if (source.startsWith(QLatin1String("<?xml"))) {
        const qsizetype end = source.indexOf(QLatin1String("?>"));
        source = end < 0 ? source : source.sliced(end + 2);
    }
    return source.trimmed().isEmpty();
}

// One pass over the document: the wizard's fields are read, everything else
// the author wrote is kept as markup cut from the decoded source.
class ManifestParser
{
public:
    explicit ManifestParser(const QString& source) : m_source(source), m_xml(source) {}

    bool parse(ScriptPackInfo& info, QString& why)
    {
        if (IsEmpty(m_source)) {
            why = Text::tr("is empty");
            return false;
        }
        // Where a DTD declares entities, the source's characters are not
        // all the document's own: kept elements are then written from what
        // was read, not cut from the source.
        while (!m_xml.atEnd() && m_xml.readNext() != QXmlStreamReader::StartElement)
            m_hasDtd = m_hasDtd || m_xml.tokenType() == QXmlStreamReader::DTD;
        if (m_xml.tokenType() != QXmlStreamReader::StartElement) {
            why = m_xml.hasError() ? xmlError() : Text::tr("is empty");
            return false;
        }
        m_namespace = m_xml.namespaceUri().toString();
        if (m_xml.name() != QLatin1String("ScriptInfo")) {
            why = Text::tr("is not a Script Pack manifest");
            return false;
        }
        if (m_xml.attributes().hasAttribute(QLatin1String("Version")))
            info.Version = m_xml.attributes().value(QLatin1String("Version")).toString();
        const QXmlStreamNamespaceDeclarations root = m_xml.namespaceDeclarations();
        while (m_xml.readNextStartElement()) {
            if (is("Information"))
                readInformation(info, root);
            else if (is("OleFiles"))
                readFileNames(info.OleFiles);
            else if (is("DotNetFiles"))
                readFileNames(info.DotNetFiles);
            else
                info.Kept.Sections << keep(root);
        }
        // Whatever follows the root element must still be well-formed.
        while (!m_xml.atEnd())
            m_xml.readNext();
        if (m_xml.hasError()) {
            why = xmlError();
            return false;
        }
        if (info.Version.isNull() && !m_elementVersion.isNull())
            info.Version = m_elementVersion;
        return true;
    }

private:
    QString xmlError() const
    {
        QString reason = m_xml.errorString();
        if (reason.endsWith(QLatin1Char('.')))
            reason.chop(1);
        return Text::tr("is not well-formed XML (line %1: %2)").arg(m_xml.lineNumber()).arg(reason);
    }

    QString text() { return m_xml.readElementText(QXmlStreamReader::SkipChildElements); }

    // An element the wizard writes itself: its name, in the manifest's namespace.
    bool is(const char* name) const
    {
        return m_xml.name() == QLatin1String(name) && m_xml.namespaceUri() == m_namespace;
    }

    void readInformation(ScriptPackInfo& info, QXmlStreamNamespaceDeclarations outer)
    {
        outer += m_xml.namespaceDeclarations();
        while (m_xml.readNextStartElement()) {
            if (is("Name")) {
                info.Name = text();
            } else if (is("Description")) {
                info.Description = NormaliseLineBreaks(text());
            } else if (is("AboutUrl")) {
                info.AboutUrl = text();
            } else if (is("Version")) {
                info.Kept.VersionElement = true;
                m_elementVersion = text().trimmed();
            } else {
                info.Kept.Information << keep(outer);
            }
        }
    }

    void readFileNames(QStringList& into)
    {
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == QLatin1String("FileName")) {
                const QString entry = text().trimmed();
                if (!entry.isEmpty())
                    into << entry;
            } else {
                m_xml.skipCurrentElement();
            }
        }
    }

    // The element the reader stands on, as its author wrote it: cut from
    // the source, from its start tag (the last '<' before the tag's end: no
    // attribute value may hold one) to its end tag; or, where the source is
    // not the element's own text, written again from what was read.
    KeptElement keep(const QXmlStreamNamespaceDeclarations& outer)
    {
        KeptElement kept;
        kept.Name = m_xml.qualifiedName().toString();
        const QXmlStreamNamespaceDeclarations own = m_xml.namespaceDeclarations();
        const qsizetype begin =
            m_source.lastIndexOf(QLatin1Char('<'), qsizetype(m_xml.characterOffset()) - 1);
        const bool cut =
            !m_hasDtd && begin >= 0 && QStringView(m_source).sliced(begin + 1).startsWith(kept.Name);
        QString written;
        QXmlStreamWriter writer(&written);
        QSet<QString> used;
        bool preserve = false;
        for (int depth = 0; !m_xml.hasError(); m_xml.readNext()) {
            const QXmlStreamReader::TokenType token = m_xml.tokenType();
            if (token == QXmlStreamReader::StartElement) {
                ++depth;
                AddPrefix(used, m_xml.qualifiedName());
                for (const QXmlStreamAttribute& a : m_xml.attributes()) {
                    AddPrefix(used, a.qualifiedName());
                    preserve = preserve || (a.qualifiedName() == QLatin1String("xml:space") &&
                                            a.value() == QLatin1String("preserve"));
                }
            }
            if (!cut)
                Rewrite(writer, m_xml);
            if (token == QXmlStreamReader::EndElement && --depth == 0)
                break;
        }
        if (m_xml.hasError())
            return kept;
        const Declarations declarations = NamespacesFor(outer, own, used);
        // Inside xml:space="preserve" white space is the author's text.
        const QStringView indent = preserve || begin < 0 ? QStringView() : IndentBefore(m_source, begin);
        if (cut) {
            const auto end = qsizetype(m_xml.characterOffset());
            kept.Xml = CopyElementMarkup(QStringView(m_source).sliced(begin, end - begin), indent,
                                         AsAttributes(declarations));
        } else {
            kept.Xml = CopyElementMarkup(written, indent, AsAttributes(declarations));
        }
        return kept;
    }

    const QString& m_source;
    QXmlStreamReader m_xml;
    QString m_namespace; // the root's
    QString m_elementVersion;
    bool m_hasDtd = false;
};

bool ReadManifestFile(const QString& path, ScriptPackInfo& info, QString& why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = Text::tr("cannot be read");
        return false;
    }
    if (file.size() > MaxManifestBytes) {
        why = Text::tr("is too large to be a manifest");
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        why = Text::tr("cannot be read");
        return false;
    }
    return ParseScriptInfo(bytes, info, why);
}

// The folder's manifest in whatever letter case, the exact name first.
QString ManifestInFolder(const QString& folder)
{
    const QDir dir(folder);
    const QStringList found = dir.entryList({ManifestName}, QDir::Files | QDir::Hidden | QDir::System);
    if (found.isEmpty())
        return QString();
    return dir.filePath(found.contains(ManifestName) ? ManifestName : found.constFirst());
}

// Where an author zipped a folder under its own name, the one manifest below
// the root; empty when there is none, or more than one.
QString ManifestInAFolder(zip_t* za)
{
    QString found;
    const zip_int64_t count = zip_get_num_entries(za, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const QString name = ZipNames::Utf8Text(zip_get_name(za, zip_uint64_t(i), 0));
        const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
        if (slash < 0 || !IsManifestName(name.mid(slash + 1)))
            continue;
        if (!found.isEmpty())
            return QString();
        found = name;
    }
    return found;
}

bool ReadPack(const QString& path, ScriptPackInfo& info, QString& why)
{
    int code = 0;
    std::unique_ptr<zip_t, ZipCloser> za(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code));
    if (!za) {
        if (code == ZIP_ER_NOENT)
            why = Text::tr("the file does not exist");
        else if (code == ZIP_ER_OPEN || code == ZIP_ER_READ)
            why = Text::tr("the file cannot be read");
        else
            why = Text::tr("it is not a zip archive");
        return false;
    }
    // The host looks for the manifest at the root only; a copy in a folder is a script file.
    const zip_int64_t index = zip_name_locate(za.get(), "ScriptInfo.xml", ZIP_FL_NOCASE);
    zip_stat_t st;
    zip_stat_init(&st);
    if (index < 0 || zip_stat_index(za.get(), zip_uint64_t(index), 0, &st) != 0 ||
        !(st.valid & ZIP_STAT_SIZE)) {
        const QString inFolder = ManifestInAFolder(za.get());
        why = inFolder.isEmpty() ? Text::tr("it holds no ScriptInfo.xml at its root")
                                 : Text::tr("it holds no ScriptInfo.xml at its root, only '%1' in a "
                                            "folder, where the host does not look for it")
                                       .arg(inFolder);
        return false;
    }
    if (st.size > zip_uint64_t(MaxManifestBytes)) {
        why = Text::tr("its ScriptInfo.xml is too large to be a manifest");
        return false;
    }
    std::unique_ptr<zip_file_t, ZipFileCloser> zf(zip_fopen_index(za.get(), zip_uint64_t(index), 0));
    QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
    if (!zf || zip_fread(zf.get(), bytes.data(), st.size) != zip_int64_t(st.size)) {
        why = Text::tr("its ScriptInfo.xml cannot be read");
        return false;
    }
    if (ParseScriptInfo(bytes, info, why))
        return true;
    why = Text::tr("its ScriptInfo.xml ") + why;
    return false;
}

} // namespace

bool ParseScriptInfo(const QByteArray& bytes, ScriptPackInfo& info, QString& why)
{
    QString source;
    if (!DecodeManifest(bytes, source, why))
        return false;
    ScriptPackInfo read;
    if (!ManifestParser(source).parse(read, why))
        return false;
    info = read;
    return true;
}

bool IsManifestName(const QString& fileName)
{
    return fileName.compare(ManifestName, Qt::CaseInsensitive) == 0;
}

bool ReadScriptInfo(const QString& path, ScriptPackInfo& info, QString& error)
{
    const QFileInfo file(path);
    ScriptPackInfo read;
    QString why;
    if (file.isDir()) {
        const QString manifest = ManifestInFolder(path);
        if (manifest.isEmpty())
            why = Text::tr("it holds no ScriptInfo.xml");
        else if (!ReadManifestFile(manifest, read, why))
            why = Text::tr("its ScriptInfo.xml ") + why;
        if (!why.isEmpty()) {
            error = Text::tr("'%1' is not a readable script folder: %2.").arg(path, why);
            return false;
        }
        read.ScriptFolder = QDir::cleanPath(file.absoluteFilePath());
        read.ManifestFile = QDir(read.ScriptFolder).filePath(QFileInfo(manifest).fileName());
    } else if (file.isFile() && IsManifestName(file.fileName())) {
        if (!ReadManifestFile(path, read, why)) {
            error = Text::tr("'%1' is not a readable ScriptInfo.xml: it %2.").arg(path, why);
            return false;
        }
        read.ScriptFolder = QDir::cleanPath(file.absolutePath());
        read.ManifestFile = QDir::cleanPath(file.absoluteFilePath());
    } else if (!ReadPack(path, read, why)) {
        error = Text::tr("'%1' is not a readable Script Pack: %2.").arg(path, why);
        return false;
    }
    info = read;
    return true;
}
