#include "support/ZpHarness.h"

#include <QProcess>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

// One run of a sequence on the same archive, or something done between runs.
struct Step
{
    enum Kind
    {
        Hold,      // leaves the archive open for the next run
        Finish,    // writes its directory
        HoldOther, // holds another archive: the held one is finished first
        Alter,     // someone else writes to the held archive meanwhile
    };
    Kind kind;
    QStringList files = {}; // under the tree
    QString abandonAt = {}; // the entry whose service call abandons the run
    qint32 code = ZpOk;
};

struct HeldRow
{
    const char* tag;
    std::vector<Step> steps;
    QString entries;    // ';'-joined, "<no file>" or "<cannot open>"
    QStringList single; // files of one run that must give the same bytes; none: not compared
    QString message;    // must appear among the messages
};

} // namespace
Q_DECLARE_METATYPE(HeldRow)

class tst_AppendRun : public ZpFixture
{
    Q_OBJECT

    QStringList underTree(const QStringList& files) const
    {
        QStringList specs;
        for (const QString& f : files)
            specs << tree() + u'/' + f;
        return specs;
    }

private slots:
    void initTestCase() { makeTree(); }
    void init() { reset(); }

    void heldRuns_data()
    {
        QTest::addColumn<HeldRow>("row");
        using S = Step;
        const QStringList loose{u"loose.txt"_s};
        // clang-format off
        const HeldRow rows[] = {
            {"held runs, then a finishing run without specs",
             {{S::Hold, loose}, {S::Hold, {u"top/b.js"_s, u"top/a.txt"_s}}, {S::Finish, {}}},
             u"loose.txt;b.js;a.txt"_s, {u"loose.txt"_s, u"top/b.js"_s, u"top/a.txt"_s}, {}},
            {"a failed held run leaves nothing of its own",
             {{S::Hold, loose}, {S::Hold, {u"top/b.js"_s, u"big.bin"_s, u"missing"_s}, {}, ZpErrOpen},
              {S::Finish, {}}},
             u"loose.txt"_s, loose, u"zip error: file not found:"_s},
            {"an abandoned finishing run finishes the earlier",
             {{S::Hold, loose}, {S::Finish, {u"top/b.js"_s, u"top/a.txt"_s}, u"a.txt"_s, ZpErrAborted}},
             u"loose.txt"_s, loose, {}},
            {"a failed first run leaves no file", {{S::Hold, {u"loose.txt"_s, u"missing"_s}, {}, ZpErrOpen}},
             u"<no file>"_s, {}, {}},
            {"a name written again replaces the entry",
             {{S::Hold, loose}, {S::Finish, {u"top/b.js"_s, u"other/loose.txt"_s}}}, u"b.js;loose.txt"_s, {},
             u"updating: loose.txt"_s},
            {"a run on another archive finishes the held one",
             {{S::Hold, loose}, {S::HoldOther, {u"top/b.js"_s}}}, u"loose.txt"_s, loose, {}},
            {"a held archive changed meanwhile fails the run",
             {{S::Hold, loose}, {S::Alter, {}}, {S::Finish, {u"top/b.js"_s}, {}, ZpErrWrite}},
             u"<cannot open>"_s, {}, u"zip error: archive changed"_s},
        };
        // clang-format on
        for (const HeldRow& r : rows)
            QTest::newRow(r.tag) << r;
    }

    void heldRuns()
    {
        QFETCH(HeldRow, row);
        m_opt.fLiteral = 1; // the build's way: each spec is one entry, looked at by the workers
        const QString other = m_dir.filePath(u"out/other.plsc"_s);
        for (const Step& step : row.steps) {
            if (step.kind == Step::Alter) {
                QFile f(zipPath());
                QVERIFY(f.open(QIODevice::Append) && f.write("x") == 1);
                continue;
            }
            m_calls.onService = [abandon = step.abandonAt](const QString& n) { return n == abandon ? 1 : 0; };
            m_opt.fHold = step.kind == Step::Finish ? 0 : 1;
            QCOMPARE(run(underTree(step.files), step.kind == Step::HoldOther ? other : QString()), step.code);
        }
        QCOMPARE(entries(), row.entries);
        const QString said = m_calls.messages().join(u'\n');
        QVERIFY2(said.contains(row.message), qPrintable(said));
        if (row.single.isEmpty())
            return;
        // Nothing is left of failed runs: the same bytes as one run making those entries.
        const QString single = m_dir.filePath(u"out/single.plsc"_s);
        m_opt.fHold = 0;
        m_calls.onService = ZpCalls().onService;
        QCOMPARE(run(underTree(row.single), single), ZpOk);
        QCOMPARE(readAll(zipPath()), readAll(single));
        QCOMPARE(QProcess::execute(u"unzip"_s, {u"-tqq"_s, zipPath()}), 0);
    }

    void failedRunsLeaveTheArchiveAsItWas()
    {
        const QString a = tree() + u"/top/a.txt"_s, b = tree() + u"/top/b.js"_s,
                      loose = tree() + u"/loose.txt"_s;
        // Abandoned by the service callback half way: the archive stays as it was.
        QCOMPARE(run({a}), ZpOk);
        const QByteArray before = readAll(zipPath());
        m_calls.onService = [](const QString& n) { return n == u"b.js"_s ? 1 : 0; };
        QCOMPARE(run({loose, b}), ZpErrAborted);
        QVERIFY(m_calls.messages().contains(u"  adding: loose.txt"_s) &&
                !m_calls.messages().contains(u"  adding: b.js"_s));
        m_calls.onService = ZpCalls().onService;

        // A named file that is missing; a large one (opened when its turn comes) that vanishes first;
        // a small one (read ahead on a worker) whose reading fails: each named in the message.
        const QString missing = tree() + u"/no-such-file.txt"_s, doomed = m_dir.filePath(u"doomed.bin"_s);
        writeFile(doomed, QByteArray(5 * 1024 * 1024, 'd'));
        m_calls.onService = [doomed](const QString& n) {
            return n == u"doomed.bin"_s && !QFile::remove(doomed);
        };
        const struct
        {
            QString file;
            ZipFailure::Kind kind;
        } cases[] = {{missing, ZipFailure::NotFound},
                     {doomed, ZipFailure::CannotOpen},
                     {u"/proc/self/mem"_s, ZipFailure::CannotRead}};
        for (const auto& [file, kind] : cases) {
            m_calls.events.clear();
            const qint32 rc = run({loose, file});
            QVERIFY2(rc != ZpOk && rc == ZpLastFailure().code(), qPrintable(file));
            QCOMPARE(int(ZpLastFailure().kind), int(kind));
            QCOMPARE(ZpLastFailure().path, file);
            QVERIFY(m_calls.messages().join(u'\n').contains(file));
        }
        m_calls.onService = ZpCalls().onService;

        // Two different files under one name: refused, not silently dropped.
        QCOMPARE(run({tree() + u"/other/x.txt"_s, tree() + u"/other/top/x.txt"_s}), ZpErrParams);
        QCOMPARE(readAll(zipPath()), before);
        QCOMPARE(strayFiles(), QStringList{u"pack.plsc"_s});
        // Nothing to do and no archive: no empty archive appears.
        QFile::remove(zipPath());
        QCOMPARE(run({u"no-match/*.*"_s}), ZpErrNothing);
        QVERIFY(strayFiles().isEmpty());
    }

    // A large file's method is known only at its end. When the guess its first piece gave was wrong,
    // the file is read a second time, which must give the bytes of the first; read once, it must not
    // have been written to meanwhile, even at the same size.
    void largeFileReadTwice_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("method");
        // Large enough that each pass outlasts the library's turn interval.
        QByteArray noise(8 * 1024 * 1024, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QTest::newRow("random, then zeros: deflated once more")
            << noise.left(4 * 1024 * 1024) + QByteArray(12 * 1024 * 1024, '\0') << int(ZIP_CM_DEFLATE);
        QTest::newRow("a few zeros, then random: copied as it is")
            << QByteArray(600, '\0') + noise << int(ZIP_CM_STORE);
        QTest::newRow("zeros: read once") << QByteArray(16 * 1024 * 1024, '\0') << int(ZIP_CM_DEFLATE);
    }
    void largeFileReadTwice()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, method);
        const QString file = m_dir.filePath(u"twice.bin"_s), made = m_dir.filePath(u"out/twice.plsc"_s);
        writeFile(file, data);
        QCOMPARE(run({file}, made), ZpOk);
        zip_t* za = zip_open(QFile::encodeName(made).constData(), ZIP_RDONLY, nullptr);
        zip_stat_t st;
        QVERIFY(za && zip_stat(za, "twice.bin", 0, &st) == 0);
        zip_discard(za);
        QCOMPARE(int(st.comp_method), method);
        QCOMPARE(readArchive(made).data(u"twice.bin"_s), data);
        QFile::remove(made);
        m_calls.events.clear();
        // Rewritten at every turn from the first pass on, both ends, each time to
        // a new value: the passes are turns apart, so they cannot read the same
        // bytes however the scheduler spaces the turns.
        bool changed = false;
        char stamp = 0;
        m_calls.onIdle = [&] {
            QFile f(file);
            if (m_calls.messages().contains(u"  adding: twice.bin"_s) && f.open(QIODevice::ReadWrite)) {
                ++stamp;
                for (const qint64 at : {qint64(0), f.size() - 1})
                    changed = f.seek(at) && f.putChar(stamp);
            }
        };
        QCOMPARE(run({file}, made), ZpErrRead);
        QVERIFY(changed);
        QVERIFY(m_calls.messages().contains(u"zip error: changed while being read: "_s + file));
    }
};

QTEST_GUILESS_MAIN(tst_AppendRun)
#include "tst_appendrun.moc"
