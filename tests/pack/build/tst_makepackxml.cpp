#include "pack/build/makePackXML.h"
#include "platform/BuildLog.h"

#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

class tst_MakePackXML : public QObject
{
    Q_OBJECT

    const QString m_head = u"<?xml version=\"1.0\"?>\r\n<ScriptInfo xmlns=\"urn:msgplus:scripts\" "
                           u"xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" Version=\""_s;

private slots:
    void exactText()
    {
        // Nothing optional (lists without their flags): exactly six lines.
        QCOMPARE(makePackXML(u"My Script"_s, {}, {}, false, {u"x.dll"_s}, false, u"y.dll"_s, u"1.0"_s),
                 m_head + u"1.0\">\r\n<Information>\r\n<Name>My Script</Name>\r\n</Information>\r\n"
                          u"</ScriptInfo>\r\n"_s);
        // Blanks are kept; the flags, not the lists, decide about the sections;
        // OLE comes before .NET, and the .NET text splits in order.
        QCOMPARE(makePackXML({}, u" "_s, u"http://x/?a=1&b=2"_s, true, {u"ole.dll"_s, u"lib\\b.ocx"_s}, true,
                             u"a.dll|lib\\b.dll"_s, {}),
                 m_head +
                     u"\">\r\n<Information>\r\n<Name></Name>\r\n<Description> </Description>\r\n"
                     u"<AboutUrl>http://x/?a=1&amp;b=2</AboutUrl>\r\n</Information>\r\n<OleFiles>\r\n"
                     u"<FileName>ole.dll</FileName>\r\n<FileName>lib\\b.ocx</FileName>\r\n</OleFiles>\r\n"
                     u"<DotNetFiles>\r\n<FileName>a.dll</FileName>\r\n<FileName>lib\\b.dll</FileName>\r\n"
                     u"</DotNetFiles>\r\n</ScriptInfo>\r\n"_s);
    }

    // Whatever is typed, the manifest is well-formed (to any conforming reader) and reads back
    // what was typed; only
    // what XML 1.0 cannot carry is lost (control characters and U+FFFE dropped, an
    // unpaired surrogate turned into U+FFFD).
    void wellFormedAndReadBack_data()
    {
        QTest::addColumn<QStringList>("typed"); // version, name, description, URL, COM file, .NET text
        QTest::addColumn<QStringList>("readBack");
        const QChar high(char16_t(0xD800)), low(char16_t(0xDC01)), nonChar(char16_t(0xFFFE));
        QTest::newRow("markup") << QStringList{u"1.0 \"beta\" <&>"_s,
                                               u"Tom & Jerry ]]> <b>"_s,
                                               u"  'single' \"double\" &amp; &#60; \t"_s,
                                               u"http://h/?q=<x>&y=\"z\""_s,
                                               u"a&b\\c<d>.dll"_s,
                                               u"x<y.dll|z>w.dll"_s}
                                << QStringList();
        // A lone CR in the description is a line break like the others.
        const QStringList breaks{u"1\t2\r\n3\r4\n"_s, u"line1\r\nline2"_s,      u"\tcr\rlf\n"_s, u" "_s,
                                 u"\t.dll"_s,         u" lead.dll|trail.dll "_s};
        QTest::newRow("line breaks") << breaks
                                     << QStringList(breaks).replaceInStrings(u"\tcr\rlf"_s, u"\tcr\nlf"_s);
        QTest::newRow("beyond Latin-1")
            << QStringList{u"2.0 é"_s, u"日本 \U0001F600"_s, u"Café"_s, u"ü€"_s, u"Grüße.dll"_s, u"д.dll"_s}
            << QStringList();
        QTest::newRow("not carried by XML")
            << QStringList{u"1\x01.0"_s,
                           u"n\x0b\x0c\x1f!"_s,
                           u"a"_s + high + u"b"_s + low,
                           u"u"_s + nonChar + QChar(u'\0'),
                           u"\x7f.dll"_s,
                           nonChar + u"n.dll"_s}
            << QStringList{u"1.0"_s, u"n!"_s, u"a\uFFFDb\uFFFD"_s, u"u"_s, u"\x7f.dll"_s, u"n.dll"_s};
    }

    void wellFormedAndReadBack()
    {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, readBack);
        const QString xml =
            makePackXML(typed[1], typed[2], typed[3], true, {typed[4]}, true, typed[5], typed[0]);
        QCOMPARE(xml.count(u"\r\n"_s), xml.count(u'\n')); // each value still on a line of its own
        QXmlStreamReader r(xml);
        QStringList got;
        while (!r.atEnd()) {
            if (r.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (r.name() == u"ScriptInfo"_s)
                got << r.attributes().value(u"Version"_s).toString();
            else if (r.name() != u"Information"_s && !r.name().endsWith(u"Files"_s))
                got << r.readElementText();
        }
        QVERIFY2(!r.hasError(), qPrintable(r.errorString()));
        const QStringList want = readBack.isEmpty() ? typed : readBack;
        QCOMPARE(got, want.mid(0, 5) + want[5].split(u'|'));
    }
};

QTEST_GUILESS_MAIN(tst_MakePackXML)
#include "tst_makepackxml.moc"
