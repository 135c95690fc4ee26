#include "pack/build/makePackXML.h"
#include "platform/BuildLog.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_MakePackXML : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_head = u"<?xml version=\"1.0\"?>\r\n<ScriptInfo xmlns=\"urn:msgplus:scripts\" "
                           u"xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" Version=\""_s;

private slots:
    void exactText()
    {
        QVERIFY(m_dir.isValid());
        BuildLog::setMarkerFolder(m_dir.path());
        BuildLog::setLogFilePath(m_dir.filePath(u"log.txt"_s));
        QFile marker(m_dir.filePath(u"makelog"_s));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();

        // Nothing optional: exactly six lines.
        QCOMPARE(makePackXML(u"My Script"_s, {}, {}, false, {}, false, {}, u"1.0"_s),
                 m_head + u"1.0\">\r\n<Information>\r\n<Name>My Script</Name>\r\n</Information>\r\n"
                          u"</ScriptInfo>\r\n"_s);
        QFile log(BuildLog::logFilePath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().endsWith("   -   makePackXML\r\n"));
        QFile::remove(marker.fileName());

        // Blanks are kept; the flags, not the lists, decide about the sections;
        // OLE comes before .NET, and the .NET text splits in order.
        QCOMPARE(makePackXML({}, u" "_s, u"http://x/?a=1&b=2"_s, true, {u"ole.dll"_s, u"lib\\b.ocx"_s}, true,
                             u"a.dll|lib\\b.dll|c.dll"_s, {}),
                 m_head +
                     u"\">\r\n<Information>\r\n<Name></Name>\r\n<Description> </Description>\r\n"
                     u"<AboutUrl>http://x/?a=1&amp;b=2</AboutUrl>\r\n</Information>\r\n<OleFiles>\r\n"
                     u"<FileName>ole.dll</FileName>\r\n<FileName>lib\\b.ocx</FileName>\r\n</OleFiles>\r\n"
                     u"<DotNetFiles>\r\n<FileName>a.dll</FileName>\r\n<FileName>lib\\b.dll</FileName>\r\n"
                     u"<FileName>c.dll</FileName>\r\n</DotNetFiles>\r\n</ScriptInfo>\r\n"_s);
        QCOMPARE(
            makePackXML(u"Tom & Jerry <\"2\">"_s, {}, {}, false, {u"x.dll"_s}, true, u"one.dll"_s, u"2"_s),
            m_head + u"2\">\r\n<Information>\r\n<Name>Tom &amp; Jerry &lt;&quot;2&quot;&gt;</Name>\r\n"
                     u"</Information>\r\n<DotNetFiles>\r\n<FileName>one.dll</FileName>\r\n"
                     u"</DotNetFiles>\r\n</ScriptInfo>\r\n"_s);
    }

    // Whatever is typed, xmllint accepts the manifest and reads back what was
    // typed; only what XML 1.0 cannot carry at all is lost (control characters
    // and U+FFFE/U+FFFF dropped, an unpaired surrogate turned into U+FFFD).
    void wellFormedAndReadBack()
    {
        const QString xmllint = QStandardPaths::findExecutable(u"xmllint"_s);
        if (xmllint.isEmpty())
            QSKIP("xmllint is not installed");
        QVERIFY(m_dir.isValid());
        const QString file = m_dir.filePath(u"ScriptInfo.xml"_s);
        const auto xpath = [&](const QString& expr) {
            QProcess p;
            p.start(xmllint, {u"--xpath"_s, u"string(%1)"_s.arg(expr), file});
            if (!p.waitForFinished() || p.exitCode() != 0)
                return u"<xmllint failed>"_s;
            return QString::fromUtf8(p.readAllStandardOutput()).chopped(1); // xmllint adds a newline
        };

        // version, name, description, URL, COM file, .NET text, then what reads back if it differs
        const QChar high(char16_t(0xD800)), low(char16_t(0xDC01)), nonChar(char16_t(0xFFFE));
        const QList<QStringList> cases{
            {u"1.0 \"beta\" <&>"_s, u"Tom & Jerry ]]> <b>"_s, u"  'single' \"double\" &amp; &#60; \t"_s,
             u"http://h/?q=<x>&y=\"z\""_s, u"a&b\\c<d>.dll"_s, u"x<y.dll|z>w.dll|q\"r.dll"_s},
            {u"1\t2\r\n3\r4\n"_s, u"line1\r\nline2"_s, u"\ttabbed\rcr\nlf"_s, u" "_s, u"\t.dll"_s,
             u" lead.dll|trail.dll "_s, u"1\t2\r\n3\r4\n"_s, u"line1\r\nline2"_s, u"\ttabbed\ncr\nlf"_s,
             u" "_s, u"\t.dll"_s, u" lead.dll|trail.dll "_s},
            {u"2.0 \u00e9"_s,
             u"\u65e5\u672c \U0001F600 Caf\u00e9"_s,
             {},
             u"\u00fc\u20ac"_s,
             u"Gr\u00fc\u00dfe.dll"_s,
             u"\u0434.dll"_s},
            {u"1\x01.0"_s, u"n\x0b\x0c\x1f!"_s, u"a"_s + high + u"b"_s + low, u"u"_s + nonChar + QChar(u'\0'),
             u"\x7f.dll"_s, nonChar + u"n.dll"_s, u"1.0"_s, u"n!"_s, u"a\uFFFDb\uFFFD"_s, u"u"_s,
             u"\x7f.dll"_s, u"n.dll"_s},
        };
        for (const QStringList& typed : cases) {
            const QString xml =
                makePackXML(typed[1], typed[2], typed[3], true, {typed[4]}, true, typed[5], typed[0]);
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(xml.toUtf8());
            out.close();
            QProcess lint;
            lint.start(xmllint, {u"--noout"_s, file});
            QVERIFY(lint.waitForFinished());
            QVERIFY2(lint.exitCode() == 0, lint.readAllStandardError().constData());
            // Each value still sits on one line of its own.
            QCOMPARE(xml.count(u"\r\n"_s), xml.count(QLatin1Char('\n')));

            const QStringList want = typed.size() > 6 ? typed.mid(6) : typed;
            const QString info = u"/*[local-name()='ScriptInfo']/*[local-name()='Information']/*"_s;
            QCOMPARE(xpath(u"/*/@Version"_s), want[0]);
            QCOMPARE(xpath(info + u"[local-name()='Name']"_s), want[1]);
            QCOMPARE(xpath(info + u"[local-name()='Description']"_s), want[2]);
            QCOMPARE(xpath(info + u"[local-name()='AboutUrl']"_s), want[3]);
            QCOMPARE(xpath(u"//*[local-name()='OleFiles']/*"_s), want[4]);
            const QStringList dotNet = want[5].split(QLatin1Char('|'));
            QCOMPARE(xpath(u"count(//*[local-name()='DotNetFiles']/*)"_s), QString::number(dotNet.size()));
            for (qsizetype i = 0; i < dotNet.size(); ++i)
                QCOMPARE(xpath(u"(//*[local-name()='DotNetFiles']/*)[%1]"_s.arg(i + 1)), dotNet[i]);
        }
    }
};

QTEST_GUILESS_MAIN(tst_MakePackXML)
#include "tst_makepackxml.moc"
