// An author's own ScriptInfo.xml, however it is saved, read and written back:
// what goes in comes out, and what cannot be read says why.
#include "pack/build/ScriptPackReader.h"
#include "pack/build/makePackXML.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {

struct Encoding
{
    const char* tag;
    QByteArray declaration; // inside <?xml ... ?>, or nothing
    QByteArray (*encode)(const QString&);
};

QByteArray Utf16(const QString& text, QStringConverter::Encoding e, bool bom)
{
    QStringEncoder encoder(e, bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return encoder.encode(text);
}

QByteArray Cp1252(const QString& text)
{
    QStringEncoder encoder("windows-1252");
    return encoder.encode(text);
}

const Encoding Encodings[] = {
    {"utf8", {}, [](const QString& t) { return t.toUtf8(); }},
    {"utf8 bom", {}, [](const QString& t) { return "\xEF\xBB\xBF" + t.toUtf8(); }},
    {"utf16le bom", " encoding=\"UTF-16\"",
     [](const QString& t) { return Utf16(t, QStringConverter::Utf16LE, true); }},
    {"utf16be bom", " encoding=\"utf-16\"",
     [](const QString& t) { return Utf16(t, QStringConverter::Utf16BE, true); }},
    {"utf16le no bom", " encoding=\"UTF-16\"",
     [](const QString& t) { return Utf16(t, QStringConverter::Utf16LE, false); }},
    {"cp1252 undeclared", {}, Cp1252},
    {"cp1252 declared", " encoding=\"windows-1252\"", Cp1252},
    {"cp1252 declared utf-8", " encoding=\"UTF-8\"", Cp1252},
};

// The elements of a document, start tags with their namespace and sorted
// attributes, text that is not only white space, comments; what a reader sees.
QStringList Tokens(const QString& xml, bool* wellFormed = nullptr)
{
    QStringList out;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement: {
            QStringList attributes;
            for (const QXmlStreamAttribute& a : r.attributes())
                attributes << u"%1|%2=%3"_s.arg(a.namespaceUri(), a.name(), a.value());
            attributes.sort();
            out << u"<%1|%2 %3"_s.arg(r.namespaceUri(), r.name(), attributes.join(u' '));
            break;
        }
        case QXmlStreamReader::EndElement:
            out << u"</"_s + r.name().toString();
            break;
        case QXmlStreamReader::Characters:
            if (!r.isWhitespace())
                out << u"#"_s + r.text().toString();
            break;
        case QXmlStreamReader::Comment:
            out << u"!"_s + r.text().toString();
            break;
        default:
            break;
        }
    }
    if (wellFormed)
        *wellFormed = !r.hasError();
    return out;
}

// The tokens of the top-level section or Information child named, all of it.
QStringList Section(const QStringList& tokens, const QString& name)
{
    const qsizetype from = tokens.indexOf(QRegularExpression(u"^<[^|]*\\|"_s + name + u" "_s));
    if (from < 0)
        return {};
    int depth = 0;
    for (qsizetype i = from; i < tokens.size(); ++i) {
        depth += tokens[i].startsWith(u"</"_s) ? -1 : tokens[i].startsWith(u'<');
        if (depth == 0)
            return tokens.mid(from, i - from + 1);
    }
    return {};
}

const QString Menu =
    u"\t<ScriptMenu>\r\n\t\t<MenuEntry Id=\"a\">Contar &amp; mais</MenuEntry>\r\n"
    u"\t\t<Separator/><!-- keep -->\r\n\t\t<MenuEntry Id=\"b\"><![CDATA[<b>]]></MenuEntry>\r\n"
    u"\t</ScriptMenu>\n\t<ScriptCommands>\n\t\t<Command><Name>count</Name>\n"
    u"\t\t\t<Description>  spaced  </Description></Command>\n\t</ScriptCommands>\n"_s;
const QString Prefixed = u"\t<x:Extra x:kind=\"k\" xsi:type=\"t\"><x:Item/></x:Extra>\n"_s;

} // namespace

class tst_ScriptPackReader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString at(const QString& rel) const { return m_dir.filePath(rel); }

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QString>("version"); // "attr", "element", "both" or "none"
        QTest::addColumn<QString>("kept");    // "none", "menus", "prefixed"
        for (int e = 0; e < int(std::size(Encodings)); ++e)
            for (const QString& v : {u"attr"_s, u"element"_s, u"both"_s, u"none"_s})
                for (const QString& k : {u"none"_s, u"menus"_s, u"prefixed"_s})
                    QTest::addRow("%s, version %s, kept %s", Encodings[e].tag, qPrintable(v), qPrintable(k))
                        << e << v << k;
    }

    void roundTrip()
    {
        QFETCH(int, encoding);
        QFETCH(QString, version);
        QFETCH(QString, kept);
        const Encoding& enc = Encodings[encoding];
        const bool attr = version == u"attr"_s || version == u"both"_s;
        const bool element = version == u"element"_s || version == u"both"_s;
        QString text = u"<?xml version=\"1.0\""_s + QString::fromLatin1(enc.declaration) + u"?>\r\n"_s +
                       u"<ScriptInfo xmlns=\"urn:msgplus:scripts\" xmlns:x=\"urn:x\" "
                       u"xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""_s +
                       (attr ? u" Version=\"3.1\">\r\n"_s : u">\r\n"_s) +
                       u"\t<Information>\r\n\t\t<Name>Contador – ç €</Name>\r\n"
                       u"\t\t<Description>Conta\r\npalavras</Description>\r\n"_s +
                       (element ? u"\t\t<Version>2.0</Version>\r\n"_s : QString()) +
                       (kept == u"none"_s ? QString() : u"\t\t<Author>Ana &lt;ana&gt;</Author>\r\n"_s) +
                       u"\t\t<AboutUrl>http://x.org/?a=1&amp;b</AboutUrl>\r\n\t</Information>\r\n"_s +
                       (kept == u"menus"_s      ? Menu
                        : kept == u"prefixed"_s ? Prefixed
                                                : QString()) +
                       u"\t<OleFiles><FileName> lib\\a.dll </FileName></OleFiles>\r\n</ScriptInfo>\r\n"_s;
        ScriptPackInfo info;
        QString why;
        QVERIFY2(ParseScriptInfo(enc.encode(text), info, why), qPrintable(why));
        const QString wantVersion = attr ? u"3.1"_s : element ? u"2.0"_s : QString();
        QCOMPARE(
            QStringList({info.Name, info.Description, info.AboutUrl, info.Version}),
            QStringList({u"Contador – ç €"_s, u"Conta\npalavras"_s, u"http://x.org/?a=1&b"_s, wantVersion}));
        QCOMPARE(info.OleFiles, QStringList{u"lib\\a.dll"_s});
        const QStringList names = kept == u"menus"_s
                                      ? QStringList{u"ScriptMenu"_s, u"ScriptCommands"_s, u"Author"_s}
                                  : kept == u"prefixed"_s ? QStringList{u"x:Extra"_s, u"Author"_s}
                                                          : QStringList();
        QCOMPARE(info.Kept.Names(), names);
        QCOMPARE(info.Kept.VersionElement, element);

        // Written back with the field's version: every kept element as it was,
        // in its place, and a version element only where the author had one.
        const QString written = makePackXML(info.Name, info.Description, info.AboutUrl, true, info.OleFiles,
                                            false, {}, u"4.0"_s, info.Kept);
        bool wellFormed = false;
        const QStringList in = Tokens(text), out = Tokens(written, &wellFormed);
        QVERIFY2(wellFormed, qPrintable(written));
        for (const QString& name : names + QStringList{u"x:Item"_s})
            QCOMPARE(Section(out, name.section(u':', -1)), Section(in, name.section(u':', -1)));
        QStringList information = Section(out, u"Information"_s).filter(QRegularExpression(u"^<.*\\|"_s));
        information.replaceInStrings(QRegularExpression(u"^<.*\\|| .*$"_s), QString());
        QCOMPARE(information.join(u' '), u"Information Name Description AboutUrl"_s +
                                             (element ? u" Version"_s : QString()) +
                                             (kept == u"none"_s ? QString() : u" Author"_s));
        if (element)
            QCOMPARE(Section(out, u"Version"_s).value(1), u"#4.0"_s);
        // Each kept element starts and ends at the left, as the lines around it.
        for (const QString& name : names)
            QVERIFY(written.contains(u"\r\n<"_s + name) && !written.contains(u"\t</"_s + name));

        // Read again, it is what was written: a re-pack keeps the same manifest.
        ScriptPackInfo again;
        QVERIFY(ParseScriptInfo(written.toUtf8(), again, why));
        QCOMPARE(makePackXML(again.Name, again.Description, again.AboutUrl, true, again.OleFiles, false, {},
                             again.Version, again.Kept),
                 written);
    }

    // Manifests as they come: what is read (the name, and each kept element
    // as it will be written, "|" between them), or why nothing is.
    void readAs_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("read");
        QTest::newRow("empty") << QByteArray("<?xml version=\"1.0\"?>\n") << u"is empty"_s;
        QTest::newRow("not xml") << QByteArray("Name=Tool")
                                 << u"is not well-formed XML (line 1: Start tag expected)"_s;
        QTest::newRow("mismatch") << QByteArray("<ScriptInfo>\n<Information>\n</ScriptInfo>")
                                  << u"is not well-formed XML (line 3: Opening and ending tag mismatch)"_s;
        QTest::newRow("other root") << QByteArray("<Script><Information/></Script>")
                                    << u"is not a Script Pack manifest"_s;
        QTest::newRow("broken utf-16") << QByteArray("\xFF\xFE<\0\0\xD8<\0", 8) << u"is not valid UTF-16"_s;
        QTest::newRow("unknown encoding")
            << QByteArray("<?xml version='1.0' encoding='x-klingon'?><ScriptInfo/>")
            << u"declares the encoding 'x-klingon', which this program cannot read"_s;
        QTest::newRow("not its encoding")
            << QByteArray("<?xml version='1.0' encoding='us-ascii'?><ScriptInfo>\xE9</ScriptInfo>")
            << u"is not valid us-ascii, the encoding it declares"_s;
        const QString plain = u"<ScriptInfo><Information><Name>Café</Name></Information></ScriptInfo>"_s;
        QTest::newRow("utf-16, no mark, no declaration")
            << Utf16(plain, QStringConverter::Utf16LE, false) << u"Café"_s;
        QTest::newRow("utf-32 with its mark")
            << QStringEncoder(QStringConverter::Utf32LE, QStringConverter::Flag::WriteBom)
                   .encode(plain)
                   .
                   operator QByteArray()
            << u"Café"_s;
        QTest::newRow("utf-8, one Windows byte")
            << QByteArray("<ScriptInfo><Information><Name>Caf\xC3\xA9</Name><Author>Bob\x92s</Author></"
                          "Information></ScriptInfo>")
            << u"Café <Author>Bob’s</Author>"_s;
        QTest::newRow("declared entities")
            << QByteArray("<!DOCTYPE ScriptInfo [<!ENTITY me \"Bo&lt;b\"><!ENTITY m "
                          "\"<ScriptMenu><E/></ScriptMenu>\">]>"
                          "<ScriptInfo><Information><Name>N</Name><Author "
                          "a=\"&me;\">&me;</Author></Information>&m;</ScriptInfo>")
            << u"N <ScriptMenu><E/></ScriptMenu>|<Author a=\"Bo&lt;b\">Bo&lt;b</Author>"_s;
        QTest::newRow("prefixed root")
            << QByteArray("<s:ScriptInfo xmlns:s=\"urn:msgplus:scripts\"><s:Information><s:Name>N</s:Name>"
                          "<s:Author>A</s:Author></s:Information><s:ScriptMenu/></s:ScriptInfo>")
            << u"N <s:ScriptMenu xmlns:s=\"urn:msgplus:scripts\"/>|<s:Author xmlns:s=\"urn:msgplus:scripts\">A</s:Author>"_s;
        QTest::newRow("only the prefixes used")
            << QByteArray("<ScriptInfo xmlns:a=\"urn:a\" xmlns:b=\"urn:b\"><Information "
                          "xmlns:c=\"urn:c\"><Name>N</Name>"
                          "<X c:k=\"1\"/></Information><b:Y/></ScriptInfo>")
            << u"N <b:Y xmlns:b=\"urn:b\"/>|<X xmlns:c=\"urn:c\" c:k=\"1\"/>"_s;
        QTest::newRow("white space as the author's")
            << QByteArray("<ScriptInfo><Information><Name>N</Name>\n\t\t<Author>  </Author></Information>\n"
                          "\t<Menu>\n\t\t<E/>\n\t</Menu>\n\t<Code "
                          "xml:space=\"preserve\">\n\t\t<L/>\n\t</Code>\n</ScriptInfo>")
            << u"N <Menu>\r\n\t<E/>\r\n</Menu>|<Code xml:space=\"preserve\">\r\n\t\t<L/>\r\n\t</Code>|<Author>  </Author>"_s;
    }

    void readAs()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, read);
        ScriptPackInfo info;
        info.Name = u"unchanged"_s;
        QString why;
        const bool ok = ParseScriptInfo(bytes, info, why);
        QStringList kept;
        for (const KeptElement& e : info.Kept.Sections + info.Kept.Information)
            kept << e.Xml;
        QCOMPARE(ok ? QStringList({info.Name, kept.join(u'|')}).join(u' ').trimmed() : why, read);
        QCOMPARE(info.Name == u"unchanged"_s, !ok);
    }

    // A pack, a ScriptInfo.xml or a folder holding one; the manifest found in
    // any letter case, and only where the host looks for it.
    void sources_data()
    {
        QTest::addColumn<QStringList>("files"); // written under the row's folder; *.plsc are zipped from z/
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("result"); // the name read, the folder to pack, or the error
        QTest::newRow("pack, lower case") << QStringList{u"z/scriptinfo.xml"_s} << u"p.plsc"_s << u"N "_s;
        QTest::newRow("pack, in a folder")
            << QStringList{u"z/S/SCRIPTINFO.XML"_s} << u"p.plsc"_s
            << u"'@p.plsc' is not a readable Script Pack: it holds no ScriptInfo.xml at its root, only 'S/SCRIPTINFO.XML' in a folder, where the host does not look for it."_s;
        QTest::newRow("pack, in two folders")
            << QStringList{u"z/S/ScriptInfo.xml"_s, u"z/T/ScriptInfo.xml"_s} << u"p.plsc"_s
            << u"'@p.plsc' is not a readable Script Pack: it holds no ScriptInfo.xml at its root."_s;
        QTest::newRow("folder") << QStringList{u"S/Scriptinfo.xml"_s} << u"S"_s << u"N @S"_s;
        QTest::newRow("folder without")
            << QStringList{u"S/a.js"_s} << u"S"_s
            << u"'@S' is not a readable script folder: it holds no ScriptInfo.xml."_s;
        QTest::newRow("manifest file")
            << QStringList{u"S/ScriptInfo.xml"_s} << u"S/ScriptInfo.xml"_s << u"N @S"_s;
        QTest::newRow("broken in folder")
            << QStringList{u"S/ScriptInfo.xml!"_s} << u"S"_s
            << u"'@S' is not a readable script folder: its ScriptInfo.xml is not a Script Pack manifest."_s;
        QTest::newRow("other xml file")
            << QStringList{u"S/Other.xml"_s} << u"S/Other.xml"_s
            << u"'@S/Other.xml' is not a readable Script Pack: it is not a zip archive."_s;
    }

    void sources()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, path);
        QFETCH(QString, result);
        const QString row = at(QString::fromLatin1(QTest::currentDataTag()) + u'/');
        for (QString file : files) {
            const bool broken = file.endsWith(u'!');
            file.remove(u'!');
            writeFile(row + file, broken
                                      ? "<Manifest/>"
                                      : "<ScriptInfo><Information><Name>N</Name></Information></ScriptInfo>");
        }
        if (path.endsWith(u".plsc"_s))
            QCOMPARE(QProcess::execute(u"sh"_s, {u"-c"_s, u"cd \"$0\"/z && zip -qr ../p.plsc ."_s, row}), 0);
        ScriptPackInfo info;
        QString error;
        const bool ok = ReadScriptInfo(row + path, info, error);
        result.replace(u'@', row);
        QCOMPARE(ok ? info.Name + u' ' + info.ScriptFolder : error, result);
        if (!info.ScriptFolder.isEmpty())
            QVERIFY(IsManifestName(QFileInfo(info.ManifestFile).fileName()) &&
                    QFileInfo(info.ManifestFile).isFile());
    }
};

QTEST_GUILESS_MAIN(tst_ScriptPackReader)
#include "tst_scriptpackreader.moc"
