#include "pack/build/ScriptPackReader.h"

#include "pack/build/ManifestEncoding.h"
#include "pack/build/ManifestMarkup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QXmlStreamReader>
#include <memory>
#include <zip.h>

namespace {

// A manifest is a few pages at most; anything bigger is not one and is not read into memory.
constexpr qint64 MaxManifestBytes = 4 * 1024 * 1024;
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

// The prefixes the author declared on the elements around a kept one, as
// attributes for its own start tag: the written manifest declares only its
// default namespace and xsi. Inner declarations win; the element's own stay its own.
QString NamespacesFor(const QXmlStreamNamespaceDeclarations& outer,
                      const QXmlStreamNamespaceDeclarations& own)
{
    QMap<QString, QString> scope;
    for (const QXmlStreamNamespaceDeclaration& d : outer)
        scope.insert(d.prefix().toString(), d.namespaceUri().toString());
    for (const QXmlStreamNamespaceDeclaration& d : own)
        scope.remove(d.prefix().toString());
    QString attributes;
    for (auto it = scope.cbegin(); it != scope.cend(); ++it) {
        if (it.key().isEmpty() || (it.key() == QLatin1String("xsi") && it.value() == XsiUri))
            continue;
        attributes += QStringLiteral(" xmlns:%1=\"%2\"").arg(it.key(), AttributeText(it.value()));
    }
    return attributes;
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
            why = QStringLiteral("is empty");
            return false;
        }
        if (!m_xml.readNextStartElement()) {
            why = m_xml.hasError() ? xmlError() : QStringLiteral("is empty");
            return false;
        }
        if (m_xml.name() != QLatin1String("ScriptInfo")) {
            why = QStringLiteral("is not a Script Pack manifest");
            return false;
        }
        if (m_xml.attributes().hasAttribute(QLatin1String("Version")))
            info.Version = m_xml.attributes().value(QLatin1String("Version")).toString();
        const QXmlStreamNamespaceDeclarations root = m_xml.namespaceDeclarations();
        while (m_xml.readNextStartElement()) {
            const QStringView name = m_xml.qualifiedName();
            if (name == QLatin1String("Information"))
                readInformation(info, root);
            else if (name == QLatin1String("OleFiles"))
                readFileNames(info.OleFiles);
            else if (name == QLatin1String("DotNetFiles"))
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
        return QStringLiteral("is not well-formed XML (line %1: %2)").arg(m_xml.lineNumber()).arg(reason);
    }

    QString text() { return m_xml.readElementText(QXmlStreamReader::SkipChildElements); }

    void readInformation(ScriptPackInfo& info, QXmlStreamNamespaceDeclarations outer)
    {
        outer += m_xml.namespaceDeclarations();
        while (m_xml.readNextStartElement()) {
            const QStringView name = m_xml.qualifiedName();
            if (name == QLatin1String("Name")) {
                info.Name = text();
            } else if (name == QLatin1String("Description")) {
                info.Description = NormaliseLineBreaks(text());
            } else if (name == QLatin1String("AboutUrl")) {
                info.AboutUrl = text();
            } else if (name == QLatin1String("Version")) {
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

    // The element the reader stands on, from its start tag (the last '<'
    // before the tag's end: no attribute value may hold one) to its end tag.
    KeptElement keep(const QXmlStreamNamespaceDeclarations& outer)
    {
        KeptElement kept;
        kept.Name = m_xml.qualifiedName().toString();
        const QString namespaces = NamespacesFor(outer, m_xml.namespaceDeclarations());
        const qsizetype begin =
            m_source.lastIndexOf(QLatin1Char('<'), qsizetype(m_xml.characterOffset()) - 1);
        m_xml.skipCurrentElement();
        const auto end = qsizetype(m_xml.characterOffset());
        if (!m_xml.hasError() && begin >= 0 && begin < end && end <= m_source.size())
            kept.Xml = CopyElementMarkup(m_source, begin, end, namespaces);
        return kept;
    }

    const QString& m_source;
    QXmlStreamReader m_xml;
    QString m_elementVersion;
};

bool ReadManifestFile(const QString& path, ScriptPackInfo& info, QString& why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("cannot be read");
        return false;
    }
    if (file.size() > MaxManifestBytes) {
        why = QStringLiteral("is too large to be a manifest");
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        why = QStringLiteral("cannot be read");
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
        const QString name = QString::fromUtf8(zip_get_name(za, zip_uint64_t(i), 0));
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
            why = QStringLiteral("the file does not exist");
        else if (code == ZIP_ER_OPEN || code == ZIP_ER_READ)
            why = QStringLiteral("the file cannot be read");
        else
            why = QStringLiteral("it is not a zip archive");
        return false;
    }
    // The host looks for the manifest at the root only; a copy in a folder is a script file.
    const zip_int64_t index = zip_name_locate(za.get(), "ScriptInfo.xml", ZIP_FL_NOCASE);
    zip_stat_t st;
    zip_stat_init(&st);
    if (index < 0 || zip_stat_index(za.get(), zip_uint64_t(index), 0, &st) != 0 ||
        !(st.valid & ZIP_STAT_SIZE)) {
        const QString inFolder = ManifestInAFolder(za.get());
        why = inFolder.isEmpty() ? QStringLiteral("it holds no ScriptInfo.xml at its root")
                                 : QStringLiteral("it holds no ScriptInfo.xml at its root, only '%1' in a "
                                                  "folder, where the host does not look for it")
                                       .arg(inFolder);
        return false;
    }
    if (st.size > zip_uint64_t(MaxManifestBytes)) {
        why = QStringLiteral("its ScriptInfo.xml is too large to be a manifest");
        return false;
    }
    std::unique_ptr<zip_file_t, ZipFileCloser> zf(zip_fopen_index(za.get(), zip_uint64_t(index), 0));
    QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
    if (!zf || zip_fread(zf.get(), bytes.data(), st.size) != zip_int64_t(st.size)) {
        why = QStringLiteral("its ScriptInfo.xml cannot be read");
        return false;
    }
    if (ParseScriptInfo(bytes, info, why))
        return true;
    why = QStringLiteral("its ScriptInfo.xml ") + why;
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
            why = QStringLiteral("it holds no ScriptInfo.xml");
        else if (!ReadManifestFile(manifest, read, why))
            why = QStringLiteral("its ScriptInfo.xml ") + why;
        if (!why.isEmpty()) {
            error = QStringLiteral("'%1' is not a readable script folder: %2.").arg(path, why);
            return false;
        }
        read.ScriptFolder = QDir::cleanPath(file.absoluteFilePath());
        read.ManifestFile = QDir(read.ScriptFolder).filePath(QFileInfo(manifest).fileName());
    } else if (file.isFile() && IsManifestName(file.fileName())) {
        if (!ReadManifestFile(path, read, why)) {
            error = QStringLiteral("'%1' is not a readable ScriptInfo.xml: it %2.").arg(path, why);
            return false;
        }
        read.ScriptFolder = QDir::cleanPath(file.absolutePath());
        read.ManifestFile = QDir::cleanPath(file.absoluteFilePath());
    } else if (!ReadPack(path, read, why)) {
        error = QStringLiteral("'%1' is not a readable Script Pack: %2.").arg(path, why);
        return false;
    }
    info = read;
    return true;
}
