// The naming rules as one table each: no archive is written.
#include "zip/ZipNames.h"

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
        for (const char* ok : {"top/sub/f.js", "top/sub/", "a..b/c...js"})
            QTest::newRow(ok) << QString::fromUtf8(ok) << false;
        for (const char* bad : {"/etc/passwd", "C:/evil.dll", "c:evil.dll", "top/../../evil.js",
                                "top/..\\..\\evil.js", "top//a.js", "top/./a.js"})
            QTest::newRow(bad) << QString::fromUtf8(bad) << true;
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
        for (const char* ok : {"ok.js", "\u00fcn\u00ef.js", "CONSOLE.js", "COM10", ".hidden"})
            QTest::newRow(ok) << QString::fromUtf8(ok) << false;
        for (const char* bad :
             {"a*.js", "q?.js", "x\\y.js", "C:", "quo\"te", "lt<js", "gt>js", "pi|pe", "tab\tname", " lib ",
              "lib ", "\u00a0lib", "trail.", "...", "CON", "con.txt", "Nul.tar.gz", "COM1.dll", "lpt9"})
            QTest::newRow(bad) << QString::fromUtf8(bad) << true;
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
