// Patterns as users write them for --exclude, against paths inside a pack.
#include "pack/contents/PathPatterns.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_PathPatterns : public QObject
{
    Q_OBJECT

private slots:
    void matches_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("matches");
        const struct
        {
            const char* pattern;
            const char* path;
            bool matches;
        } rows[] = {
            {"*.bak", "a.bak", true},
            {"*.bak", "top/deep/a.bak", true},
            {"*.bak", "a.bak.js", false},
            {"*.BAK", "a.bak", false},
            {"a?c", "abc", true},
            {"a?c", "a/c", false},
            {"docs/**", "docs/x/y.txt", true},
            {"docs/**", "top/docs/x", false},
            {"**/tmp", "tmp", true},
            {"**/tmp", "a/b/tmp", true},
            {"lib/*.dll", "lib/x.dll", true},
            {"lib/*.dll", "lib/sub/x.dll", false},
            {"/notes.txt", "notes.txt", true},
            {"/notes.txt", "top/notes.txt", false},
            {"build/", "top/build", true},
            {"[ab].js", "b.js", true},
            {"[!ab].js", "b.js", false},
            {"[!ab].js", "c.js", true},
            {"x+(y).js", "x+(y).js", true},
            {"x+(y).js", "xx(y).js", false},
        };
        for (const auto& r : rows)
            QTest::addRow("%s ~ %s", r.pattern, r.path)
                << QString::fromLatin1(r.pattern) << QString::fromLatin1(r.path) << r.matches;
    }

    void matches()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, path);
        QFETCH(bool, matches);
        QCOMPARE(PathPatterns({pattern}).matches(path), matches);
    }
};

QTEST_GUILESS_MAIN(tst_PathPatterns)
#include "tst_pathpatterns.moc"
