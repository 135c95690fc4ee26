// The naming rules as one table each: no archive is written.
#include "platform/ZipNames.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_ZipNames : public QObject
{
    Q_OBJECT

private slots:
    void underBase_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("relative"); // "-" when path is not below root
        QTest::newRow("inside") << u"/t/top/a.js"_s << u"/t/top"_s << u"a.js"_s;
        QTest::newRow("sibling sharing the prefix") << u"/t/topaz/a.js"_s << u"/t/top"_s << u"-"_s;
        QTest::newRow("sibling folder itself") << u"/t/topaz"_s << u"/t/top"_s << u"-"_s;
        QTest::newRow("root with separator") << u"/t/top/s/a"_s << u"/t/top/"_s << u"s/a"_s;
        QTest::newRow("the root itself") << u"/t/top"_s << u"/t/top"_s << QString();
        QTest::newRow("other case") << u"/T/top/a"_s << u"/t/top"_s << u"-"_s;
        QTest::newRow("filesystem root") << u"/a"_s << u"/"_s << u"a"_s;
    }

    void underBase()
    {
        QFETCH(QString, path);
        QFETCH(QString, root);
        QFETCH(QString, relative);
        QCOMPARE(ZipNames::IsUnder(path, root), relative != u"-"_s);
        QCOMPARE(ZipNames::RelativeTo(root, path), relative == u"-"_s ? QString() : relative);
    }

    void entryNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");
        QTest::newRow("nested file") << u"top/sub/f.js"_s << false;
        QTest::newRow("folder entry") << u"top/sub/"_s << false;
        QTest::newRow("dots inside a name") << u"a..b/c...js"_s << false;
        QTest::newRow("absolute") << u"/etc/passwd"_s << true;
        QTest::newRow("drive letter") << u"C:/evil.dll"_s << true;
        QTest::newRow("drive-relative") << u"c:evil.dll"_s << true;
        QTest::newRow("climbs out") << u"top/../../evil.js"_s << true;
        QTest::newRow("backslash") << u"top/..\\..\\evil.js"_s << true;
        QTest::newRow("empty part") << u"top//a.js"_s << true;
        QTest::newRow("dot part") << u"top/./a.js"_s << true;
    }

    void entryNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);
        QCOMPARE(!ZipNames::EntryNameProblem(name).isEmpty(), refused);
    }

    void windowsNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");
        QTest::newRow("plain") << u"ok.js"_s << false;
        QTest::newRow("accented") << u"\u00fcn\u00ef.js"_s << false;
        QTest::newRow("device-like but longer") << u"CONSOLE.js"_s << false;
        QTest::newRow("COM10") << u"COM10"_s << false;
        QTest::newRow("leading dot") << u".hidden"_s << false;
        for (const char* bad : {"a*.js", "q?.js", "x\\y.js", "C:", "quo\"te", "lt<js", "gt>js", "pi|pe"})
            QTest::newRow(bad) << QString::fromLatin1(bad) << true;
        QTest::newRow("tab") << u"tab\tname"_s << true;
        QTest::newRow("spaces around") << u" lib "_s << true;
        QTest::newRow("trailing space") << u"lib "_s << true;
        QTest::newRow("leading no-break space") << u"\u00a0lib"_s << true;
        QTest::newRow("trailing dot") << u"trail."_s << true;
        QTest::newRow("dots only") << u"..."_s << true;
        QTest::newRow("CON") << u"CON"_s << true;
        QTest::newRow("con.txt") << u"con.txt"_s << true;
        QTest::newRow("nul with two suffixes") << u"Nul.tar.gz"_s << true;
        QTest::newRow("COM1") << u"COM1.dll"_s << true;
        QTest::newRow("LPT9") << u"lpt9"_s << true;
    }

    void windowsNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);
        QCOMPARE(!ZipNames::WindowsNameProblem(name).isEmpty(), refused);
    }
};

QTEST_GUILESS_MAIN(tst_ZipNames)
#include "tst_zipnames.moc"
