#include "platform/ZipLibrary.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// What the library told the callbacks ("print:TEXT", "service:NAME", "comment", "idle"), and the answers.
struct Calls
{
    QStringList events;
    std::function<qint32(const QString&)> onService = [](const QString&) { return 0; };
    QByteArray comment; // empty: answer 1 (no comment)
    QStringList messages() const
    {
        return QStringList(events.filter(u"print:"_s)).replaceInStrings(u"print:"_s, QString());
    }
};
Calls* g_calls = nullptr;

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

    qint32 run(const QStringList& specs, const QString& zip = QString())
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
        const QByteArray path = (zip.isEmpty() ? zipPath() : zip).toUtf8();
        return ZpArchive(qint32(specs.size()), path.constData(), table.data());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
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
    }

    void init()
    {
        m_calls = Calls();
        g_calls = &m_calls;
        m_opt = ZpOptions();
        m_opt.fJunkDirNames = 1;
        m_opt.fNoDirEntries = 1;
        m_root.clear();
        QDir(m_dir.filePath(u"out"_s)).removeRecursively();
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
};

QTEST_GUILESS_MAIN(tst_ZipLibrary)
#include "tst_ziplibrary.moc"
