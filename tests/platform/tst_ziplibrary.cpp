#include "zip/StatCache.h"
#include "platform/ZipLibrary.h"
#include "zip/ZipWriter.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace {

// What the library told the callbacks ("print:TEXT", "service:NAME", "comment", "idle"), and the answers.
struct Calls
{
    QStringList events;
    std::function<qint32(const QString&)> onService = [](const QString&) { return 0; };
    std::function<void()> onIdle = [] {};
    QByteArray comment; // empty: answer 1 (no comment)
    QStringList messages() const
    {
        return QStringList(events.filter(u"print:"_s)).replaceInStrings(u"print:"_s, QString());
    }
};
Calls* g_calls = nullptr;

// One test row per line of a table: the cells between '|', trimmed; the first names the row.
void addRows(const QString& table)
{
    for (const QString& line : table.split(u'\n')) {
        QStringList cells = line.split(u'|');
        for (QString& c : cells)
            c = c.trimmed();
        QTest::newRow(qPrintable(cells[0])) << cells;
    }
}

const ZpCallbacks kCallbacks{[](const char* text, qint32 len) {
                                 g_calls->events << u"print:"_s + QString::fromUtf8(text, len);
                                 return 0;
                             },
                             [](char* buf) {
                                 g_calls->events << u"comment"_s;
                                 qstrncpy(buf, g_calls->comment.constData(), 256);
                                 return g_calls->comment.isEmpty() ? 1 : 0;
                             },
                             nullptr,
                             [](const char* name, qint32 len) {
                                 g_calls->events << u"service:"_s + QString::fromUtf8(name, len);
                                 return g_calls->onService(QString::fromUtf8(name, len));
                             },
                             [] {
                                 g_calls->onIdle();
                                 if (g_calls->events.value(g_calls->events.size() - 1) != u"idle"_s)
                                     g_calls->events << u"idle"_s;
                                 return 0;
                             }};

} // namespace

class tst_ZipLibrary : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    Calls m_calls;
    ZpOptions m_opt;
    QByteArray m_root;

    QString tree() const { return m_dir.filePath(u"tree"_s); }
    QString zipPath() const { return m_dir.filePath(u"out/pack.plsc"_s); }
    QStringList names(const QString& zip = {}) const
    {
        return readArchive(zip.isEmpty() ? zipPath() : zip).names;
    }
    QStringList strayFiles() const
    {
        return QDir(m_dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden);
    }

    qint32 run(const QStringList& specs, const QString& zip = QString(), bool prefetch = false)
    {
        ZpInit(&kCallbacks);
        m_opt.szRootDir = m_root.isEmpty() ? nullptr : m_root.constData();
        ZpSetOptions(&m_opt);
        std::vector<QByteArray> texts;
        for (const QString& s : specs)
            texts.push_back(s.toUtf8());
        std::vector<const char*> table(specs.size() + 2, nullptr);
        for (size_t i = 0; i < texts.size(); ++i)
            table[i] = texts[i].constData();
        if (prefetch) {
            ZpPrefetch(&m_opt, qint32(specs.size()), table.data());
            return 0;
        }
        const QByteArray path = (zip.isEmpty() ? zipPath() : zip).toUtf8();
        return ZpArchive(qint32(specs.size()), path.constData(), table.data());
    }
    // More files than the workers hold at once, listed out of name order.
    static QStringList many()
    {
        QStringList files;
        for (int i = 0; i < 300; ++i)
            files << u"many/%1"_s.arg(i * 7 % 300);
        return files;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The stat caches of the archives made here go to a folder of this test's own:
        // tests running side by side must not see each other's.
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.filePath(u"cache"_s)));
        writeFile(tree() + u"/top/b.js"_s, "var b;\n");
        writeFile(tree() + u"/top/a.txt"_s, QByteArray(5000, 'a'));
        writeFile(tree() + u"/top/noext"_s, "x");
        writeFile(tree() + u"/top/sub/c.bin"_s, QByteArray("\x00\x01\x02", 3));
        writeFile(tree() + u"/top/sub/deeper/d"_s, "d");
        writeFile(tree() + u"/top/.hidden"_s, "h");
        writeFile(tree() + u"/loose.txt"_s, "loose");
        writeFile(tree() + u"/other/x.txt"_s, "other x");
        writeFile(tree() + u"/other/top/x.txt"_s, "same name, other file");
        writeFile(tree() + u"/Ünïcode/é.txt"_s, "u");
        writeFile(tree() + u"/other/loose.txt"_s, "other loose");
        writeFile(m_dir.filePath(u"outside.txt"_s), "outside");
        for (const QString& f : many())
            writeFile(tree() + u'/' + f, QByteArray(f.size() * 40, 'm'));
        QByteArray big;
        for (int i = 0; big.size() < 5 * 1024 * 1024; ++i)
            big += QByteArray::number(qint64(i) * 7919 % 100003) + ' ';
        writeFile(tree() + u"/big.bin"_s, big);
        QByteArray noise(5 * 1024 * 1024, '\0');
        QRandomGenerator(31).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        writeFile(tree() + u"/noise.bin"_s, noise);
        writeFile(tree() + u"/noise.dat"_s, noise.left(3000));
    }

    void cleanup() { ZpDiscardHeld(); }

    void init()
    {
        m_calls = Calls();
        g_calls = &m_calls;
        m_opt = ZpOptions();
        m_opt.fJunkDirNames = 1;
        m_opt.fNoDirEntries = 1;
        m_root.clear();
        QDir(m_dir.filePath(u"out"_s)).removeRecursively();
        QDir(StatCache::folder()).removeRecursively();
        QDir().mkpath(m_dir.filePath(u"out"_s));
    }

    // Columns: mode (junk, folders, folders-nodirs, flat) | base | specs | entries | zip's arguments
    // for the same entries, run in the tree. %T is the tree; lists are split at ";".
    void entryNames_data()
    {
        QTest::addColumn<QStringList>("row");
        const QString table =
            uR"(bare names, spec order | junk | | %T/top/b.js;%T/loose.txt | b.js;loose.txt | -j;top/b.js;loose.txt
backslash folder spec, recursive | folders | %T/ | top\*.* | %A | -r;top
no directory entries | folders-nodirs | %T | top/*.* | %F | -r;-D;top
pattern without recursion | flat | %T | top/*.js;top/* | top/b.js;top/.hidden;top/a.txt;top/noext;top/sub/ |
absolute inside base, stored once | folders | %T | top\*.*;%T\top\*.* | %A | -r;top
absolute outside base: from the spec's own folder | folders-nodirs | %T/other | %T/top/sub/*.*;%T/loose.txt;x.txt | sub/c.bin;sub/deeper/d;loose.txt;x.txt |
dot-dot never reaches a name | folders-nodirs | %T/other | ../top/sub/deeper/*.* | deeper/d |
explicit folder, with its own entry | folders | %T | top/sub | top/sub/;top/sub/c.bin;top/sub/deeper/;top/sub/deeper/d | -r;top/sub
stale relative spec is only a warning | folders-nodirs | %T/top | top\*.*;sub\deeper\*.* | sub/deeper/d |)"_s;
        const QString all =
            u"top/.hidden;top/a.txt;top/b.js;top/noext;top/sub/;top/sub/c.bin;top/sub/deeper/;top/sub/deeper/d"_s;
        for (QString row : table.split(u'\n')) {
            row.replace(u"%A"_s, all)
                .replace(u"%F"_s, QString(all).remove(u"top/sub/;"_s).remove(u"top/sub/deeper/;"_s));
            QStringList cols = row.replace(u"%T"_s, QDir::cleanPath(tree())).split(u'|');
            for (QString& c : cols)
                c = c.trimmed();
            QTest::newRow(qPrintable(cols[0])) << cols;
        }
    }

    void entryNames()
    {
        QFETCH(QStringList, row);
        const QString mode = row[1];
        const QStringList specs = row[3].split(u';'), expected = row[4].split(u';');
        const QStringList infoZip = row[5].split(u';', Qt::SkipEmptyParts);
        const QString base = row[2];
        m_root = base.toUtf8();
        m_opt.fJunkDirNames = mode == u"junk"_s ? 1 : 0;
        m_opt.fNoDirEntries = mode == u"folders"_s || mode == u"flat"_s ? 0 : 1;
        m_opt.fRecurse = mode.startsWith(u"folders"_s) ? 2 : 0;
        QCOMPARE(run(specs), ZpOk);
        QCOMPARE(names(), expected);
        const bool stale = QTest::currentDataTag() == QByteArray("stale relative spec is only a warning");
        QCOMPARE(m_calls.messages().contains(u"zip warning: name not matched: top\\*.*"_s), stale);

        // Info-ZIP names the same files alike (its "top/" for a pattern spec aside), and accepts ours.
        if (infoZip.isEmpty() || QStandardPaths::findExecutable(u"zip"_s).isEmpty())
            return;
        QCOMPARE(QProcess::execute(u"unzip"_s, {u"-tqq"_s, zipPath()}), 0);
        const QString peer = m_dir.filePath(u"out/peer.zip"_s);
        QProcess zip;
        zip.setWorkingDirectory(tree());
        zip.start(u"zip"_s, QStringList{u"-q"_s, peer} + infoZip);
        QVERIFY(zip.waitForFinished() && zip.exitCode() == 0);
        QStringList theirs = names(peer);
        if (specs.first().endsWith(u"*.*"_s))
            theirs.removeAll(u"top/"_s);
        QStringList ours = expected;
        ours.sort();
        theirs.sort();
        QCOMPARE(theirs, ours);
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
        m_calls.onService = Calls().onService;

        // A named file that is missing; a large one (opened when its turn comes) that vanishes first;
        // a small one (read ahead on a worker) whose reading fails: each named in the message.
        const QString missing = tree() + u"/no-such-file.txt"_s, doomed = m_dir.filePath(u"doomed.bin"_s);
        writeFile(doomed, QByteArray(5 * 1024 * 1024, 'd'));
        m_calls.onService = [doomed](const QString& n) {
            return n == u"doomed.bin"_s && !QFile::remove(doomed);
        };
        for (const auto& [file, code] :
             {std::pair{missing, -1}, {doomed, int(ZpErrOpen)}, {u"/proc/self/mem"_s, int(ZpErrRead)}}) {
            m_calls.events.clear();
            const qint32 rc = run({loose, file});
            QVERIFY2(code == -1 ? rc != ZpOk : rc == code, qPrintable(file));
            QVERIFY(m_calls.messages().join(u'\n').contains(file));
        }
        m_calls.onService = Calls().onService;

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

    void callbacksFollowTheWork()
    {
        // Each file is announced after its own service call, the comment is asked for first.
        m_calls.comment = "made here";
        m_opt.fComment = 1;
        QCOMPARE(run({tree() + u"/top/a.txt"_s, tree() + u"/loose.txt"_s}), ZpOk);
        const QStringList expected{u"comment"_s, u"service:a.txt"_s, u"print:  adding: a.txt"_s,
                                   u"service:loose.txt"_s, u"print:  adding: loose.txt"_s};
        QCOMPARE(QStringList(m_calls.events).filter(QRegularExpression(u"^(comment|service|print)"_s)),
                 expected);
        QCOMPARE(readArchive(zipPath()).comment, QByteArray("made here"));

        // The library refuses a second run from inside a callback.
        qint32 inner = -1;
        m_calls.onService = [&](const QString&) {
            if (inner == -1)
                inner = ZpArchive(0, "x.zip", nullptr);
            return 0;
        };
        QCOMPARE(run({tree() + u"/loose.txt"_s}), ZpOk);
        QCOMPARE(inner, qint32(ZpErrLogic));
    }

    void outputIsDeterministicAndMarksUtf8()
    {
        m_root = tree().toUtf8();
        m_opt.fJunkDirNames = 0;
        m_opt.fRecurse = 2;
        m_opt.fNoDirEntries = 0;
        const QStringList specs{u"Ünïcode/*.*"_s, u"top/*.*"_s};
        QCOMPARE(run(specs), ZpOk);
        const QStringList flagged = readArchive(zipPath(), true).names;
        QCOMPARE(flagged.mid(0, 3), (QStringList{u"Ünïcode/é.txt*"_s, u"top/.hidden"_s, u"top/a.txt"_s}));

        // The archive never goes into itself, even inside a folder being walked.
        const QString inside = tree() + u"/top/sub/self.zip"_s;
        QCOMPARE(run({u"top/*.*"_s}, inside), ZpOk);
        QCOMPARE(run({u"top/*.*"_s}, inside), ZpOk);
        QVERIFY(!names(inside).contains(u"top/sub/self.zip"_s));
        QFile::remove(inside);
    }

    // Columns: runs in order, ";"-separated, each "H|F[@]:specs:code" (H holds the archive open, F
    // finishes it, @ runs on another archive, specs under the tree, "missing" names no file, "!x"
    // abandons at x); "~" alters the held file meanwhile | names of the archive | specs of one run
    // that must give the same bytes | a message that must appear.
    void heldRuns_data()
    {
        QTest::addColumn<QStringList>("row");
        const QString table =
            uR"(held runs, then a finishing run without specs | H:loose.txt:0;H:top/b.js top/a.txt:0;F::0 | loose.txt;b.js;a.txt | loose.txt top/b.js top/a.txt |
a failed held run leaves nothing of its own | H:loose.txt:0;H:top/b.js big.bin missing:18;F::0 | loose.txt | loose.txt | zip error: file not found:
an abandoned finishing run finishes the earlier | H:loose.txt:0;F:top/b.js !top/a.txt:9 | loose.txt | loose.txt |
a failed first run leaves no file | H:loose.txt missing:18 | <no file> | |
a name written again replaces the entry | H:loose.txt:0;F:top/b.js other/loose.txt:0 | b.js;loose.txt | | updating: loose.txt
a run on another archive finishes the held one | H:loose.txt:0;H@:top/b.js:0 | loose.txt | loose.txt |
a held archive changed meanwhile fails the run | H:loose.txt:0;~;F:top/b.js:14 | <cannot open> | | zip error: archive changed)"_s;
        addRows(table);
    }

    void heldRuns()
    {
        QFETCH(QStringList, row);
        m_opt.fLiteral = 1; // the build's way: each spec is one entry, looked at by the workers
        const QString other = m_dir.filePath(u"out/other.plsc"_s);
        auto specsOf = [this](const QString& list) {
            QStringList specs;
            for (const QString& s : list.split(u' ', Qt::SkipEmptyParts))
                specs << tree() + u'/' + (s.startsWith(u'!') ? s.mid(1) : s);
            return specs;
        };
        for (const QString& step : row[1].split(u';')) {
            if (step == u"~"_s) {
                QFile f(zipPath());
                QVERIFY(f.open(QIODevice::Append) && f.write("x") == 1);
                continue;
            }
            const QStringList parts = step.split(u':');
            const QString abandon = parts[1].section(u'!', 1).section(u' ', 0, 0).section(u'/', -1);
            m_calls.onService = [abandon](const QString& n) { return n == abandon ? 1 : 0; };
            m_opt.fHold = parts[0].startsWith(u'H') ? 1 : 0;
            QCOMPARE(run(specsOf(parts[1]), parts[0].endsWith(u'@') ? other : QString()), parts[2].toInt());
        }
        QCOMPARE(QFile::exists(zipPath()) ? names().join(u';') : u"<no file>"_s, row[2]);
        if (!row[4].isEmpty())
            QVERIFY2(m_calls.messages().join(u'\n').contains(row[4]),
                     qPrintable(m_calls.messages().join(u'\n')));
        if (row[3].isEmpty())
            return;
        // Nothing is left of failed runs: the same bytes as one run making those entries.
        const QString single = m_dir.filePath(u"out/single.plsc"_s);
        m_opt.fHold = 0;
        m_calls.onService = Calls().onService;
        QCOMPARE(run(specsOf(row[3]), single), ZpOk);
        QCOMPARE(readAll(zipPath()), readAll(single));
        QCOMPARE(QProcess::execute(u"unzip"_s, {u"-tqq"_s, zipPath()}), 0);
    }

    // Literal specs without recursion, as the build passes them: each is one entry, looked at by
    // the workers. Columns: names (bare or from the base) | specs under the tree ("=x" is given
    // whole, "@" is the archive, "^" a file outside the tree, MANY the many() files, a last "!x"
    // abandons at entry x) |
    // code | entries ("<no file>": none written) | a message that must appear.
    void literalSpecs_data()
    {
        QTest::addColumn<QStringList>("row");
        const QString table =
            uR"(a folder and files, named from the base | base | top/sub top/sub/c.bin loose.txt | 0 | top/sub/;top/sub/c.bin;loose.txt |
outside the base: named from its own folder | base | top/b.js ^ | 0 | top/b.js;outside.txt |
the archive itself is left out | base | loose.txt @ | 0 | loose.txt |
the same file twice is stored once | bare | loose.txt loose.txt | 0 | loose.txt |
two files under one name | bare | loose.txt other/x.txt other/top/x.txt | 16 | <no file> | zip error: names in zip file repeat: x.txt
a missing file | bare | loose.txt nothing.txt | 18 | <no file> | zip error: file not found:
a pipe is no file | bare | loose.txt pipe | 18 | <no file> | zip error: not a regular file:
many files keep their order | base | MANY loose.txt | 0 | MANY;loose.txt |
a missing file after many | base | MANY nothing.txt | 18 | <no file> | zip error: file not found:
abandoned among many | base | MANY !many/7 | 9 | <no file> |
whole paths are cleaned | base | =top/sub =top/./a.txt =top/sub/../b.js =other/ | 0 | top/sub/;top/a.txt;top/b.js;other/ |
a whole path with a backslash | base | =loose.txt =back\slash | 16 | <no file> | it holds a backslash
a whole path that reads as a drive | base | =C:drive | 16 | <no file> | it starts with a drive letter)"_s;
        addRows(table);
    }

    void literalSpecs()
    {
        QFETCH(QStringList, row);
        ::mkfifo(QFile::encodeName(tree() + u"/pipe"_s).constData(), 0600);
        writeFile(tree() + u"/back\\slash"_s, "b");
        writeFile(tree() + u"/C:drive"_s, "c");
        m_opt.fLiteral = 1;
        m_opt.fJunkDirNames = row[1] == u"bare"_s ? 1 : 0;
        m_opt.fNoDirEntries = 0;
        m_root = tree().toUtf8();
        QStringList specs = row[2].replace(u"MANY"_s, many().join(u' ')).split(u' ');
        const QString abandon = specs.last().startsWith(u'!') ? specs.takeLast().mid(1) : QString();
        m_calls.onService = [abandon](const QString& n) { return n == abandon ? 1 : 0; };
        specs.replaceInStrings(u"@"_s, zipPath()).replaceInStrings(u"^"_s, m_dir.filePath(u"outside.txt"_s));
        specs.replaceInStrings(QRegularExpression(u"^="_s), tree() + u'/');
        QCOMPARE(run(specs), row[3].toInt());
        QCOMPARE(QFile::exists(zipPath()) ? names().join(u';') : u"<no file>"_s,
                 row[4].replace(u"MANY"_s, many().join(u';')));
        QVERIFY2(m_calls.messages().join(u'\n').contains(row[5]), qPrintable(m_calls.messages().join(u'\n')));
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
            QCOMPARE(run(specs), row[3].toInt());
            QCOMPARE(readAll(zipPath()), bytes);
            QCOMPARE(m_calls.messages(), messages);
        }
    }

    // Two held runs as the build makes them (names from the base, then bare names), their files read
    // ahead as listed: the same bytes and messages as without. Columns: the runs' specs | read ahead.
    void readAheadAcrossRuns_data()
    {
        QTest::addColumn<QStringList>("runs");
        QTest::addColumn<QStringList>("ahead");
        const QStringList runs{u"MANY top/a.txt"_s, u"loose.txt top/b.js other/x.txt"_s};
        QTest::newRow("each run takes its own") << runs << runs;
        QTest::newRow("the first run parts from its list")
            << runs << QStringList{u"MANY loose.txt"_s, runs[1]};
        QTest::newRow("the first run's list is longer") << runs << QStringList{u"MANY"_s, runs[1]};
        QTest::newRow("the second run parts from its list")
            << runs << QStringList{runs[0], u"loose.txt other/x.txt top/b.js"_s};
    }
    void readAheadAcrossRuns()
    {
        QFETCH(QStringList, runs);
        QFETCH(QStringList, ahead);
        m_root = tree().toUtf8();
        ZpInit(&kCallbacks);
        auto each = [this](const QStringList& lists, const auto& call) {
            for (int run = 0; run < 2; ++run) {
                std::vector<QByteArray> specs;
                for (const QString& s : QString(lists[run]).replace(u"MANY"_s, many().join(u' ')).split(u' '))
                    specs.push_back((tree() + u'/' + s).toUtf8());
                std::vector<const char*> names;
                for (const QByteArray& s : specs)
                    names.push_back(s.constData());
                ZpOptions o;
                o.szRootDir = m_root.constData();
                o.fLiteral = 1;
                o.fJunkDirNames = o.fNoDirEntries = run;
                o.fHold = 1 - run;
                call(run, o, qint32(names.size()), names.data());
            }
        };
        QStringList made;
        for (bool readAhead : {false, true}) {
            QFile::remove(zipPath());
            m_calls.events.clear();
            if (readAhead)
                each(ahead, [](int run, const ZpOptions& o, qint32 count, const char* const* names) {
                    (run == 0 ? ZpPrefetch : ZpPrefetchAlso)(&o, count, names);
                    QTest::qWait(30);
                    ZpPrefetchTurn();
                });
            QList<qint32> codes;
            each(runs, [&](int, const ZpOptions& o, qint32 count, const char* const* names) {
                ZpSetOptions(&o);
                codes << ZpArchive(count, zipPath().toUtf8().constData(), names);
            });
            QCOMPARE(codes, (QList<qint32>{ZpOk, ZpOk}));
            made << QString::fromLatin1(readAll(zipPath()).toBase64()) + m_calls.messages().join(u'\n');
        }
        QCOMPARE(made[1], made[0]);
        QVERIFY(made[0].contains(u"  adding: x.txt"_s));
    }

    // An archive this library wrote (here a copy of it) lends its stored data for files found
    // unchanged, and the result is what a fresh run makes. Columns: the byte of each file's entry
    // damaged (data: its stored data, which a copy carries along; header: its local header, which
    // stops the copy) | a file rewritten with the same size and time | the new run's comment |
    // the files had settled when the old archive was made, so its stat cache vouches for them |
    // the old archive copied | files the new run read (the cache spares the others).
    void reuse_data()
    {
        QTest::addColumn<int>("damage");
        QTest::addColumn<bool>("rewrite");
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<bool>("settled");
        QTest::addColumn<bool>("copied");
        QTest::addColumn<int>("read");
        const int data = 12, header = -20, none = 0, older = 1000 + data; // older: made by 6.3 too
        const QByteArray here("made here");
        QTest::newRow("unchanged, settled: copied unread") << none << false << here << true << true << 0;
        QTest::newRow("unchanged, made a moment ago: read") << none << false << here << false << true << 5;
        QTest::newRow("unchanged files, damaged data: packed afresh")
            << data << false << here << true << false << 4;
        QTest::newRow("same size and time, other bytes: deflated")
            << none << true << here << true << false << 1;
        QTest::newRow("another comment: not used")
            << data << false << QByteArray("made there") << true << false << 5;
        QTest::newRow("an earlier build's: not used") << older << false << here << true << false << 5;
        QTest::newRow("a damaged local header: deflated") << header << false << here << true << false << 4;
    }

    void reuse()
    {
        QFETCH(int, damage);
        QFETCH(bool, rewrite);
        QFETCH(QByteArray, comment);
        QFETCH(bool, settled);
        QFETCH(bool, copied);
        QFETCH(int, read);
        const QString small = m_dir.filePath(u"out/in/small.txt"_s),
                      big = m_dir.filePath(u"out/in/big.bin"_s);
        writeFile(small, QByteArray(3000, 's') + "tail");
        QVERIFY(QFile::copy(tree() + u"/big.bin"_s, big));
        const QStringList specs{small, tree() + u"/loose.txt"_s, big, tree() + u"/noise.bin"_s,
                                tree() + u"/noise.dat"_s};
        m_opt.fComment = 1;
        m_calls.comment = "made here";
        const QString old = m_dir.filePath(u"out/old.plsc"_s), fresh = m_dir.filePath(u"out/fresh.plsc"_s);
        // An hour ahead the files count as long settled; an hour behind, as just made, however slow the
        // run. The fresh archive below is made on the same clock: where it holds what the old one holds,
        // its cache is found by the same key.
        ZpSetSettleClockAhead(settled ? 3600 : -3600);
        QCOMPARE(run(specs, old), ZpOk);
        QByteArray oldBytes = readAll(old);
        if (damage != 0) { // one byte of each file's entry, counted from its name in the local header
            for (const char* name : {"small.txt", "big.bin", "noise.bin", "noise.dat"})
                oldBytes[oldBytes.indexOf(name) + damage % 1000] ^= 0x20;
            if (damage > 1000)
                oldBytes.replace("PK\x01\x02\x1e\x03", "PK\x01\x02\x3f\x03");
            writeFile(old, oldBytes);
        }
        if (rewrite) { // in place, its time put back to the nanosecond: only the change time tells
            struct stat st = {};
            QVERIFY(::stat(QFile::encodeName(small).constData(), &st) == 0);
            writeFile(small, QByteArray(3000, 'S') + "tail");
            const timespec times[2] = {st.st_atim, st.st_mtim};
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(small).constData(), times, 0) == 0);
        }
        m_calls.comment = comment;
        QCOMPARE(run(specs, fresh), ZpOk);
        ZpSetSettleClockAhead(0);
        // Random bytes are stored as they are, small or large: deflate would only add to them.
        const Archive made = readArchive(fresh);
        zip_t* za = zip_open(QFile::encodeName(fresh).constData(), ZIP_RDONLY, nullptr);
        for (const QString& name : {u"noise.bin"_s, u"noise.dat"_s}) {
            zip_stat_t st;
            QVERIFY(zip_stat(za, qPrintable(name), 0, &st) == 0);
            QCOMPARE(st.comp_method, ZIP_CM_STORE);
            QCOMPARE(made.data(name), readAll(tree() + u'/' + name));
        }
        zip_discard(za);
        const QByteArray reuseFrom = (old + u".copy"_s).toUtf8();
        QVERIFY(QFile::copy(old, QString::fromUtf8(reuseFrom)));
        m_opt.szReuse = reuseFrom.constData();
        m_opt.fLiteral = 1;
        const qsizetype openFiles = QDir(u"/proc/self/fd"_s).count();
        for (const bool ahead : {false, true}) { // the files read ahead, checked against the old archive
            QFile::remove(zipPath());
            if (ahead)
                run(specs, {}, true);
            const quint64 readBefore = ZpFilesRead();
            QCOMPARE(run(specs), ZpOk);
            if (!ahead)
                QCOMPARE(int(ZpFilesRead() - readBefore), read);
            QCOMPARE(QDir(u"/proc/self/fd"_s).count(), openFiles); // the old archive is let go with the run
            QCOMPARE(readAll(zipPath()), copied ? oldBytes : readAll(fresh));
        }
        m_opt.szReuse = nullptr;
        if (!copied)
            QCOMPARE(readArchive(zipPath()).data(u"small.txt"_s), readAll(small));
    }

    // A pipe where an archive's stat cache should be is no cache: the run reads
    // the files instead of waiting for a writer that never comes.
    void aCacheThatIsNoFileIsNone()
    {
        const QStringList specs{tree() + u"/loose.txt"_s, tree() + u"/noise.bin"_s};
        const QString old = m_dir.filePath(u"out/old.plsc"_s);
        ZpSetSettleClockAhead(3600);
        QCOMPARE(run(specs, old), ZpOk);
        ZpSetSettleClockAhead(0);
        const QStringList caches = QDir(StatCache::folder()).entryList(QDir::Files);
        QCOMPARE(caches.size(), 1);
        const QByteArray cache = QFile::encodeName(StatCache::folder() + u'/' + caches[0]);
        QVERIFY(QFile::remove(QString::fromLocal8Bit(cache)) && ::mkfifo(cache.constData(), 0600) == 0);
        const QByteArray reuseFrom = old.toUtf8();
        m_opt.szReuse = reuseFrom.constData();
        m_opt.fLiteral = 1;
        const quint64 readBefore = ZpFilesRead();
        QCOMPARE(run(specs), ZpOk);
        QCOMPARE(ZpFilesRead() - readBefore, quint64(2));
        m_opt.szReuse = nullptr;
    }

    // An unchanged file's entry is copied as the old archive holds it (here a
    // stream zlib made, so a copy shows), unless its data no longer inflates
    // to the file: then it is packed afresh, and the log says so.
    void reuseCopiesSoundData()
    {
        const QString file = m_dir.filePath(u"out/reuse/a.txt"_s),
                      old = m_dir.filePath(u"out/reuse/old.zip"_s);
        QByteArray data;
        for (int i = 0; data.size() < 6000; ++i)
            data += QByteArray::number(qint64(i) * 7919 % 1009) + (i % 7 ? " " : "\n");
        writeFile(file, data);
        const QByteArray zlibStream = qCompress(data).mid(6).chopped(4);
        for (const bool damaged : {false, true}) {
            ZipWriter w;
            QFile::remove(old);
            QVERIFY(w.create(old));
            const auto crc =
                quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
            QByteArray stream = zlibStream;
            if (damaged)
                stream[stream.size() / 2] = char(stream[stream.size() / 2] ^ 0x01);
            QVERIFY(w.writeEntry("a.txt", ZipDosTime(QFileInfo(file).lastModified().toSecsSinceEpoch()),
                                 false, crc, quint64(data.size()), stream, -1));
            QVERIFY(w.finish("made here"));
            w.close();
            m_opt = {};
            m_opt.fComment = 1;
            m_opt.fLiteral = 1;
            m_calls = {};
            m_calls.comment = "made here";
            m_root = QFileInfo(file).path().toUtf8();
            const QByteArray reuseFrom = old.toUtf8();
            m_opt.szReuse = reuseFrom.constData();
            QFile::remove(zipPath());
            QCOMPARE(run({file}), ZpOk);
            m_opt = {};
            m_root.clear();
            const QByteArray made = readAll(zipPath());
            QCOMPARE(made.contains(zlibStream), !damaged);
            QCOMPARE(readArchive(zipPath()).data(u"a.txt"_s), data);
            QCOMPARE(m_calls.messages().contains(
                         u"zip warning: damaged in the old archive, packed afresh: a.txt"_s),
                     damaged);
        }
    }

    // Entries copied from an archive this writer made come out as they were written there, side by
    // side ones as one copy; a run taken back takes its copies not yet made back too.
    void copyEntries()
    {
        const QString oldPath = m_dir.filePath(u"out/copy-old.zip"_s),
                      path = m_dir.filePath(u"out/copy.zip"_s);
        const quint32 time = ZipDosTime(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 10)).toSecsSinceEpoch());
        const QByteArray data = QByteArray("copied ").repeated(20),
                         packed = qCompress(data).mid(6).chopped(4);
        const auto crc =
            quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
        ZipWriter old;
        QVERIFY(old.create(oldPath));
        for (const char* name : {"a", "b", "c"})
            QVERIFY(old.writeEntry(name, time, false, crc, quint64(data.size()), packed, -1));
        QVERIFY(old.finish("c"));
        const int fd = ::open(QFile::encodeName(oldPath).constData(), O_RDONLY);
        ZipDirectory dir;
        QByteArray comment;
        QVERIFY(ReadZipDirectory(fd, dir, comment));
        ZipWriter w;
        QVERIFY(w.create(path) && w.copyEntry("b", dir.at(dir.find("b")), fd, -1) && w.rollbackRun());
        for (const char* name : {"a", "b", "c"})
            QVERIFY(IsWrittenLocalHeader(fd, dir, dir.find(name)) &&
                    w.copyEntry(name, dir.at(dir.find(name)), fd, -1));
        QVERIFY(w.finish("c"));
        ::close(fd);
        QCOMPARE(readAll(path), readAll(oldPath));
    }

    // Past 65,535 entries, and with sizes near 4 GiB, the archive needs its Zip64 records.
    void zip64Records()
    {
        const QString path = m_dir.filePath(u"out/many.zip"_s);
        ZipWriter w;
        QVERIFY(w.create(path));
        const quint32 time = ZipDosTime(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 10)).toSecsSinceEpoch());
        const int count = 70000;
        for (int i = 0; i < count; ++i)
            QVERIFY(w.writeEntry(QByteArray::number(i), time, false, 0, 0, {}, -1, true));
        // Listed at 4 GiB, it gets 64-bit sizes in its local header before any data is known.
        const QByteArray data = "near 4 GiB", packed = qCompress(data).mid(6).chopped(4);
        QVERIFY(w.beginStream("big", time, 0xFFFFFFF0u, -1) && w.append(packed.constData(), packed.size()));
        QVERIFY(w.endStream(
            quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()))),
            quint64(packed.size()), quint64(data.size())));
        QVERIFY(w.finish("many"));
        const QByteArray raw = readAll(path);
        const qsizetype local = raw.indexOf("big") - 30;
        QCOMPARE(raw.mid(local + 18, 8), QByteArray(8, '\xff')); // sizes: see the Zip64 field behind the name
        QCOMPARE(raw.mid(local + 28, 2) + raw.mid(local + 33, 4), QByteArray("\x14\x00\x01\x00\x10\x00", 6));
        QStringList listed;
        QVERIFY(ZpListEntries(path, listed));
        QCOMPARE(listed.size(), count + 1);
        QCOMPARE(listed.at(count - 1), QString::number(count - 1));
        int err = 0;
        zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
        QVERIFY(za != nullptr);
        QCOMPARE(zip_get_num_entries(za, 0), zip_int64_t(count + 1));
        zip_discard(za);
        QCOMPARE(QProcess::execute(u"unzip"_s, {u"-tqq"_s, path}), 0);
        QCOMPARE(QProcess::execute(u"python3"_s, {u"-c"_s,
                                                  u"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                                                  "sys.exit(z.read('big') != b'near 4 GiB' or z.testzip())"_s,
                                                  path}),
                 0);
        // The stored data of such an archive is found again for copying.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        ZipDirectory dir;
        QByteArray comment;
        QVERIFY(ReadZipDirectory(fd, dir, comment));
        QCOMPARE(comment, QByteArray("many"));
        const quint32 last = dir.find(QByteArray::number(count - 1));
        QVERIFY(last != ZipDirectory::kNone && IsWrittenLocalHeader(fd, dir, last));
        ::close(fd);
    }
};

QTEST_GUILESS_MAIN(tst_ZipLibrary)
#include "tst_ziplibrary.moc"
