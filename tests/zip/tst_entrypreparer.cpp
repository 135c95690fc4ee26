#include "support/ZpHarness.h"

#include <QRegularExpression>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// Stand-ins in a row's specs: the archive being written, a file outside the tree, the many() files.
const QString kArchive = u"<archive>"_s, kOutside = u"<outside>"_s, kMany = u"<many>"_s;

// Literal specs without recursion, as the build passes them: each is one entry, looked at by the workers.
struct LiteralRow
{
    const char* tag;
    bool bare;  // bare names; otherwise named from the base (the tree)
    bool whole; // specs given as whole paths under the tree, uncleaned; otherwise relative to it
    QStringList specs;
    QString abandonAt; // the entry whose service call abandons the run
    qint32 code;
    QString entries; // ';'-joined, or "<no file>"
    ZipFailure::Kind failure;
    QString message; // must appear among the messages
};

} // namespace
Q_DECLARE_METATYPE(LiteralRow)

class tst_EntryPreparer : public ZpFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        makeTree();
        ::mkfifo(QFile::encodeName(tree() + u"/pipe"_s).constData(), 0600);
        writeFile(tree() + u"/back\\slash"_s, "b");
        writeFile(tree() + u"/C:drive"_s, "c");
    }
    void init() { reset(); }

    void literalSpecs_data()
    {
        QTest::addColumn<LiteralRow>("row");
        using F = ZipFailure;
        // clang-format off
        const LiteralRow rows[] = {
            {"a folder and files, named from the base", false, false,
             {u"top/sub"_s, u"top/sub/c.bin"_s, u"loose.txt"_s}, {}, ZpOk,
             u"top/sub/;top/sub/c.bin;loose.txt"_s, F::None, {}},
            {"outside the base: named from its own folder", false, false, {u"top/b.js"_s, kOutside}, {}, ZpOk,
             u"top/b.js;outside.txt"_s, F::None, {}},
            {"the archive itself is left out", false, false, {u"loose.txt"_s, kArchive}, {}, ZpOk,
             u"loose.txt"_s, F::None, {}},
            {"the same file twice is stored once", true, false, {u"loose.txt"_s, u"loose.txt"_s}, {}, ZpOk,
             u"loose.txt"_s, F::None, {}},
            {"two files under one name", true, false,
             {u"loose.txt"_s, u"other/x.txt"_s, u"other/top/x.txt"_s}, {}, ZpErrParams, u"<no file>"_s,
             F::NamesRepeat, u"zip error: names in zip file repeat: x.txt"_s},
            {"a missing file", true, false, {u"loose.txt"_s, u"nothing.txt"_s}, {}, ZpErrOpen, u"<no file>"_s,
             F::NotFound, u"zip error: file not found:"_s},
            {"a pipe is no file", true, false, {u"loose.txt"_s, u"pipe"_s}, {}, ZpErrOpen, u"<no file>"_s,
             F::NotRegular, u"zip error: not a regular file:"_s},
            {"many files keep their order", false, false, {kMany, u"loose.txt"_s}, {}, ZpOk,
             kMany + u";loose.txt"_s, F::None, {}},
            {"a missing file after many", false, false, {kMany, u"nothing.txt"_s}, {}, ZpErrOpen,
             u"<no file>"_s, F::NotFound, u"zip error: file not found:"_s},
            {"abandoned among many", false, false, {kMany}, u"many/7"_s, ZpErrAborted, u"<no file>"_s,
             F::Cancelled, {}},
            {"whole paths are cleaned", false, true,
             {u"top/sub"_s, u"top/./a.txt"_s, u"top/sub/../b.js"_s, u"other/"_s}, {}, ZpOk,
             u"top/sub/;top/a.txt;top/b.js;other/"_s, F::None, {}},
            {"a whole path with a backslash", false, true, {u"loose.txt"_s, u"back\\slash"_s}, {},
             ZpErrParams, u"<no file>"_s, F::NameRefused, u"it holds a backslash"_s},
            {"a whole path that reads as a drive", false, true, {u"C:drive"_s}, {}, ZpErrParams,
             u"<no file>"_s, F::NameRefused, u"it starts with a drive letter"_s},
        };
        // clang-format on
        for (const LiteralRow& r : rows)
            QTest::newRow(r.tag) << r;
    }

    void literalSpecs()
    {
        QFETCH(LiteralRow, row);
        m_opt.fLiteral = 1;
        m_opt.fJunkDirNames = row.bare ? 1 : 0;
        m_opt.fNoDirEntries = 0;
        m_root = tree().toUtf8();
        QStringList specs;
        for (const QString& s : row.specs) {
            if (s == kMany)
                specs << many();
            else if (s == kArchive)
                specs << zipPath();
            else if (s == kOutside)
                specs << m_dir.filePath(u"outside.txt"_s);
            else
                specs << (row.whole ? tree() + u'/' + s : s);
        }
        m_calls.onService = [abandon = row.abandonAt](const QString& n) { return n == abandon ? 1 : 0; };
        QCOMPARE(run(specs), row.code);
        QCOMPARE(entries(), QString(row.entries).replace(kMany, many().join(u';')));
        const QString said = m_calls.messages().join(u'\n');
        QVERIFY2(said.contains(row.message), qPrintable(said));
        // The reason as a value: its kind, and the very message the run printed.
        const ZipFailure why = ZpLastFailure();
        QCOMPARE(int(why.kind), int(row.failure));
        if (why.failed())
            QVERIFY2(m_calls.messages().contains(why.message()), qPrintable(why.message()));
        // Read ahead before the run, all of it or a list that parts from the run's after its
        // first file: the same outcome to the byte and message.
        const QByteArray bytes = readAll(zipPath());
        const QStringList messages = m_calls.messages();
        for (const QStringList& ahead : {specs, QStringList{specs[0], u"top/a.txt"_s} + specs}) {
            QFile::remove(zipPath());
            m_calls.events.clear();
            run(ahead, {}, true);
            QTest::qWait(30);
            ZpPrefetchTurn(); // what is done leaves the ring for the lean queue
            QCOMPARE(run(specs), row.code);
            QCOMPARE(readAll(zipPath()), bytes);
            QCOMPARE(m_calls.messages(), messages);
        }
    }
};

QTEST_GUILESS_MAIN(tst_EntryPreparer)
#include "tst_entrypreparer.moc"
