#include "platform/ZipLibrary.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <vector>
#include <zip.h>

using namespace Qt::StringLiterals;

namespace {

// What the library told the callbacks, and how they answer.
struct Calls
{
    QStringList events; // "print:TEXT", "service:NAME", "comment", "idle"
    std::function<qint32(const QString&)> onService;
    std::function<void(const QString&)> onPrint;
    QByteArray comment; // empty: answer 1 (no comment)
    QStringList messages() const
    {
        QStringList out;
        for (const QString& e : events)
            if (e.startsWith(u"print:"_s))
                out << e.mid(6);
        return out;
    }
};
Calls* g_calls = nullptr;

qint32 printCb(const char* text, qint32 len)
{
    const QString s = QString::fromUtf8(text, len);
    g_calls->events << u"print:"_s + s;
    if (g_calls->onPrint)
        g_calls->onPrint(s);
    return 0;
}
qint32 serviceCb(const char* name, qint32 len)
{
    const QString s = QString::fromUtf8(name, len);
    g_calls->events << u"service:"_s + s;
    return g_calls->onService ? g_calls->onService(s) : 0;
}
qint32 commentCb(char* buf)
{
    g_calls->events << u"comment"_s;
    if (g_calls->comment.isEmpty())
        return 1;
    qstrncpy(buf, g_calls->comment.constData(), 256);
    return 0;
}
qint32 idleCb()
{
    if (g_calls->events.isEmpty() || g_calls->events.last() != u"idle"_s)
        g_calls->events << u"idle"_s;
    return 0;
}

// Entry names in archive order, with the UTF-8 flag (general purpose bit 11)
// read from the central directory as "*" behind names that carry it.
QStringList entries(const QString& path, bool markUtf8 = false)
{
    QStringList out;
    int err = 0;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
    if (za == nullptr)
        return {u"<cannot open>"_s};
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i)
        out << QString::fromUtf8(zip_get_name(za, static_cast<zip_uint64_t>(i), 0));
    zip_discard(za);
    if (markUtf8) {
        const QByteArray raw = readAll(path);
        int k = 0;
        for (qsizetype pos = raw.indexOf("PK\x01\x02"); pos >= 0 && k < out.size();
             pos = raw.indexOf("PK\x01\x02", pos + 4), ++k)
            if (static_cast<unsigned char>(raw.at(pos + 9)) & 0x08)
                out[k] += u'*';
    }
    return out;
}

QByteArray entryData(const QString& path, const QString& name)
{
    int err = 0;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
    if (za == nullptr)
        return {};
    QByteArray out;
    zip_stat_t st;
    if (zip_stat(za, name.toUtf8().constData(), 0, &st) == 0) {
        zip_file_t* f = zip_fopen(za, name.toUtf8().constData(), 0);
        out.resize(static_cast<qsizetype>(st.size));
        if (f) {
            zip_fread(f, out.data(), st.size);
            zip_fclose(f);
        }
    }
    zip_discard(za);
    return out;
}

} // namespace

class tst_ZipLibrary : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Calls m_calls;
    ZpOptions m_opt;
    QByteArray m_root;

    QString tree() const { return m_dir.filePath(u"tree"_s); }
    QString zipPath() const { return m_dir.filePath(u"out/pack.plsc"_s); }

    qint32 run(const QStringList& specs, const QString& zip = QString())
    {
        ZpCallbacks cb{&printCb, &commentCb, nullptr, &serviceCb, &idleCb};
        ZpInit(&cb);
        m_opt.szRootDir = m_root.isEmpty() ? nullptr : m_root.constData();
        ZpSetOptions(&m_opt);
        std::vector<QByteArray> texts;
        std::vector<const char*> table(specs.size() + 2, nullptr);
        for (const QString& s : specs)
            texts.push_back(s.toUtf8());
        for (size_t i = 0; i < texts.size(); ++i)
            table[i] = texts[i].constData();
        const QByteArray path = (zip.isEmpty() ? zipPath() : zip).toUtf8();
        return ZpArchive(static_cast<qint32>(specs.size()), path.constData(), table.data());
    }
    void folderRun(const QString& base)
    {
        m_root = base.toUtf8();
        m_opt.fJunkDirNames = 0;
        m_opt.fRecurse = 2;
        m_opt.fNoDirEntries = 0;
    }
    QStringList strayFiles() const
    {
        return QDir(m_dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
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

    void entryNames_data()
    {
        QTest::addColumn<QString>("mode"); // junk | folders | folders-nodirs | flat
        QTest::addColumn<QString>("base");
        QTest::addColumn<QStringList>("specs");
        QTest::addColumn<QStringList>("expected");
        const QString t = QDir::cleanPath(m_dir.filePath(u"tree"_s));
        const QStringList topAll{u"top/.hidden"_s,     u"top/a.txt"_s,       u"top/b.js"_s,
                                 u"top/noext"_s,       u"top/sub/"_s,        u"top/sub/c.bin"_s,
                                 u"top/sub/deeper/"_s, u"top/sub/deeper/d"_s};
        QTest::newRow("bare names, spec order")
            << u"junk"_s << QString() << QStringList{t + u"/top/b.js"_s, t + u"/loose.txt"_s}
            << QStringList{u"b.js"_s, u"loose.txt"_s};
        QTest::newRow("backslash folder spec, recursive, sorted walk")
            << u"folders"_s << t + u"/"_s << QStringList{u"top\\*.*"_s} << topAll;
        QStringList noDirs = topAll;
        noDirs.removeIf([](const QString& s) { return s.endsWith(u'/'); });
        QTest::newRow("no directory entries")
            << u"folders-nodirs"_s << t << QStringList{u"top/*.*"_s} << noDirs;
        QTest::newRow("pattern without recursion")
            << u"flat"_s << t << QStringList{u"top/*.js"_s, u"top/*"_s}
            << QStringList{u"top/b.js"_s, u"top/.hidden"_s, u"top/a.txt"_s, u"top/noext"_s, u"top/sub/"_s};
        // The build passes each folder twice, relative and absolute: stored once.
        QTest::newRow("absolute inside base, named relative, stored once")
            << u"folders"_s << t << QStringList{u"top\\*.*"_s, t + u"\\top\\*.*"_s} << topAll;
        QTest::newRow("absolute outside base: from the spec's own folder")
            << u"folders-nodirs"_s << t + u"/other"_s
            << QStringList{t + u"/top/sub/*.*"_s, t + u"/loose.txt"_s, u"x.txt"_s}
            << QStringList{u"sub/c.bin"_s, u"sub/deeper/d"_s, u"loose.txt"_s, u"x.txt"_s};
        QTest::newRow("dot-dot never reaches a name")
            << u"folders-nodirs"_s << t + u"/other"_s << QStringList{u"../top/sub/deeper/*.*"_s}
            << QStringList{u"deeper/d"_s};
        QTest::newRow("explicit folder, recursive, with its own entry")
            << u"folders"_s << t << QStringList{u"top/sub"_s}
            << QStringList{u"top/sub/"_s, u"top/sub/c.bin"_s, u"top/sub/deeper/"_s, u"top/sub/deeper/d"_s};
        QTest::newRow("stale relative spec is only a warning")
            << u"folders-nodirs"_s << t + u"/top"_s << QStringList{u"top\\*.*"_s, u"sub\\deeper\\*.*"_s}
            << QStringList{u"sub/deeper/d"_s};
    }

    void entryNames()
    {
        QFETCH(QString, mode);
        QFETCH(QString, base);
        QFETCH(QStringList, specs);
        QFETCH(QStringList, expected);
        m_root = base.toUtf8();
        m_opt.fJunkDirNames = mode == u"junk"_s ? 1 : 0;
        m_opt.fNoDirEntries = mode == u"folders"_s || mode == u"flat"_s ? 0 : 1;
        m_opt.fRecurse = mode.startsWith(u"folders"_s) ? 2 : 0;
        const QString cwd = QDir::currentPath();
        QCOMPARE(run(specs), ZpOk);
        QCOMPARE(entries(zipPath()), expected);
        QCOMPARE(QDir::currentPath(), cwd);
        for (const QString& e : entries(zipPath()))
            QVERIFY2(!e.startsWith(u'/') && !e.contains(u"../"_s), qPrintable(e));
        const bool stale = QTest::currentDataTag() == QByteArray("stale relative spec is only a warning");
        QCOMPARE(m_calls.messages().contains(u"zip warning: name not matched: top\\*.*"_s), stale);
    }

    void relativeSpecsUseTheBasePathNotTheCurrentDirectory()
    {
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.filePath(u"out"_s)));
        m_root = tree().toUtf8();
        // The archive path is relative too: it lands beside the specs' base.
        const qint32 rc = run({u"loose.txt"_s, u"top/b.js"_s}, u"rel.zip"_s);
        QDir::setCurrent(cwd);
        QCOMPARE(rc, ZpOk);
        QCOMPARE(entries(tree() + u"/rel.zip"_s), (QStringList{u"loose.txt"_s, u"b.js"_s}));
        QFile::remove(tree() + u"/rel.zip"_s);
    }

    void updateInPlace()
    {
        const QString a = m_dir.filePath(u"upd/a.txt"_s), b = m_dir.filePath(u"upd/b.txt"_s);
        writeFile(a, "first a");
        writeFile(b, "first b");
        QCOMPARE(run({a}), ZpOk);
        QCOMPARE(m_calls.messages(), QStringList{u"  adding: a.txt"_s});

        m_calls.events.clear();
        QCOMPARE(run({b, a}), ZpOk);
        QCOMPARE(entries(zipPath()), (QStringList{u"a.txt"_s, u"b.txt"_s}));
        QCOMPARE(m_calls.messages(), QStringList{u"  adding: b.txt"_s}); // a.txt is unchanged, kept as stored
        QVERIFY(m_calls.events.contains(u"service:a.txt"_s));

        // Nothing new: the archive is not rewritten at all.
        const QByteArray before = readAll(zipPath());
        const QDateTime stamp = QFileInfo(zipPath()).lastModified();
        m_calls.events.clear();
        QCOMPARE(run({a, b}), ZpOk);
        QCOMPARE(readAll(zipPath()), before);
        QCOMPARE(QFileInfo(zipPath()).lastModified(), stamp);
        QVERIFY(m_calls.messages().isEmpty());

        // Same size and time but other bytes: still replaced.
        const QDateTime mtime = QFileInfo(a).lastModified();
        writeFile(a, "other a");
        QFile fa(a);
        QVERIFY(fa.open(QIODevice::ReadWrite));
        QVERIFY(fa.setFileTime(mtime, QFileDevice::FileModificationTime));
        fa.close();
        m_calls.events.clear();
        QCOMPARE(run({a}), ZpOk);
        QCOMPARE(m_calls.messages(), QStringList{u"updating: a.txt"_s});
        QCOMPARE(entryData(zipPath(), u"a.txt"_s), QByteArray("other a"));
        QCOMPARE(entryData(zipPath(), u"b.txt"_s), QByteArray("first b"));

        // An empty run on an existing archive succeeds and changes nothing.
        const QByteArray now = readAll(zipPath());
        QCOMPARE(run({}), ZpOk);
        QCOMPARE(readAll(zipPath()), now);
        QCOMPARE(strayFiles(), QStringList{u"pack.plsc"_s});

        // Delete run: matching entries go, the rest stays.
        m_opt.fDeleteEntries = 1;
        m_calls.events.clear();
        QCOMPARE(run({u"a.*"_s}), ZpOk);
        QCOMPARE(m_calls.messages(), QStringList{u"deleting: a.txt"_s});
        QCOMPARE(entries(zipPath()), QStringList{u"b.txt"_s});
        QCOMPARE(run({u"nothing"_s}), ZpErrNothing);
    }

    void failedRunsLeaveTheArchiveAsItWas()
    {
        const QString a = tree() + u"/top/a.txt"_s, b = tree() + u"/top/b.js"_s;
        // A new archive that fails is not left behind.
        m_calls.onService = [](const QString& n) { return n == u"b.js"_s ? 1 : 0; };
        QCOMPARE(run({a, b}), ZpErrAborted);
        QVERIFY(strayFiles().isEmpty());

        m_calls.onService = nullptr;
        QCOMPARE(run({a}), ZpOk);
        const QByteArray before = readAll(zipPath());

        // Abandoned by the service callback half way.
        m_calls.onService = [](const QString& n) { return n == u"b.js"_s ? 1 : 0; };
        m_calls.events.clear();
        QCOMPARE(run({tree() + u"/loose.txt"_s, b}), ZpErrAborted);
        QCOMPARE(readAll(zipPath()), before);
        QVERIFY(m_calls.messages().contains(u"  adding: loose.txt"_s));
        QVERIFY(!m_calls.messages().contains(u"  adding: b.js"_s));
        m_calls.onService = nullptr;

        // A named file that is missing, and one that vanishes before it is read.
        const QString missing = tree() + u"/no-such-file.txt"_s;
        m_calls.events.clear();
        QVERIFY(run({tree() + u"/loose.txt"_s, missing}) != ZpOk);
        QVERIFY(m_calls.messages().join(u'\n').contains(missing));
        // A large file (streamed, opened when its turn comes) that vanishes first.
        const QString doomed = m_dir.filePath(u"doomed.bin"_s);
        writeFile(doomed, QByteArray(5 * 1024 * 1024, 'd'));
        m_calls.onService = [doomed](const QString& n) {
            if (n == u"doomed.bin"_s)
                QFile::remove(doomed);
            return 0;
        };
        m_calls.events.clear();
        QCOMPARE(run({tree() + u"/loose.txt"_s, doomed}), ZpErrOpen);
        QVERIFY(m_calls.messages().join(u'\n').contains(doomed));
        m_calls.onService = nullptr;
        // A small file (read ahead on a worker) whose reading fails.
        const QString ioError = u"/proc/self/mem"_s;
        if (QFileInfo(ioError).isFile()) {
            m_calls.events.clear();
            QCOMPARE(run({tree() + u"/loose.txt"_s, ioError}), ZpErrRead);
            QVERIFY(m_calls.messages().join(u'\n').contains(ioError));
        }

        // An absolute folder spec whose folder is gone fails the run.
        QVERIFY(run({tree() + u"/gone\\*.*"_s}) != ZpOk);
        // Two different files under one name: refused, not silently dropped.
        QCOMPARE(run({tree() + u"/other/x.txt"_s, tree() + u"/other/top/x.txt"_s}), ZpErrParams);
        // A file that is not a zip archive is not overwritten.
        const QString notZip = m_dir.filePath(u"out/not-a-zip.plsc"_s);
        writeFile(notZip, "plain text");
        QCOMPARE(run({a}, notZip), ZpErrFormat);
        QCOMPARE(readAll(notZip), QByteArray("plain text"));
        QFile::remove(notZip);

        QCOMPARE(readAll(zipPath()), before);
        QCOMPARE(strayFiles(), QStringList{u"pack.plsc"_s});
        // Nothing to do and no archive: no empty archive appears.
        QFile::remove(zipPath());
        QCOMPARE(run({}), ZpErrNothing);
        QCOMPARE(run({u"no-match/*.*"_s}), ZpErrNothing);
        QVERIFY(strayFiles().isEmpty());
    }

    void callbacksFollowTheWork()
    {
        // Two files large enough that compressing each takes several idle periods.
        auto* rng = QRandomGenerator::global();
        QByteArray big(6 * 1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i + 4 <= big.size(); i += 4) {
            const quint32 v = rng->generate();
            std::memcpy(big.data() + i, &v, 4);
        }
        const QString f1 = m_dir.filePath(u"big/one.bin"_s), f2 = m_dir.filePath(u"big/two.bin"_s);
        writeFile(f1, big);
        writeFile(f2, big);
        bool tempWhileAdding = false;
        m_calls.onPrint = [&](const QString& msg) {
            if (msg == u"  adding: two.bin"_s)
                tempWhileAdding = strayFiles().size() == 1 && strayFiles().first() != u"pack.plsc"_s;
        };
        m_calls.comment = "made here";
        m_opt.fComment = 1;
        QCOMPARE(run({f1, f2}), ZpOk);
        m_calls.onPrint = nullptr;
        // The announcement of the second file comes while the archive is being written,
        // after the first file's compression made the idle callback fire.
        QVERIFY(tempWhileAdding);
        const qsizetype one = m_calls.events.indexOf(u"print:  adding: one.bin"_s);
        const qsizetype two = m_calls.events.indexOf(u"print:  adding: two.bin"_s);
        QVERIFY(one >= 0 && two > one);
        QVERIFY(m_calls.events.mid(one, two - one).contains(u"idle"_s));
        QCOMPARE(m_calls.events.at(one - 1), u"service:one.bin"_s);
        QVERIFY(m_calls.events.indexOf(u"comment"_s) < one);

        int err = 0;
        zip_t* za = zip_open(QFile::encodeName(zipPath()).constData(), ZIP_RDONLY, &err);
        QVERIFY(za);
        int len = 0;
        QCOMPARE(QByteArray(zip_get_archive_comment(za, &len, 0)), QByteArray("made here"));
        zip_stat_t st;
        QCOMPARE(zip_stat_index(za, 0, 0, &st), 0);
        QCOMPARE(st.comp_method, zip_uint16_t(ZIP_CM_DEFLATE));
        QCOMPARE(st.mtime, QFileInfo(f1).lastModified().toSecsSinceEpoch() & ~qint64(1));
        zip_discard(za);
        QCOMPARE(entryData(zipPath(), u"two.bin"_s), big);

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
        folderRun(tree());
        const QStringList specs{u"Ünïcode/*.*"_s, u"top/*.*"_s};
        const QString second = m_dir.filePath(u"out/second.zip"_s);
        QCOMPARE(run(specs), ZpOk);
        QCOMPARE(run(specs, second), ZpOk);
        QCOMPARE(readAll(second), readAll(zipPath()));
        const QStringList names = entries(zipPath(), true);
        // A pattern spec stores what is inside its folder, not the folder's own entry.
        QCOMPARE(names.mid(0, 2), (QStringList{u"Ünïcode/é.txt*"_s, u"top/.hidden"_s}));
        QVERIFY(!names.join(QString()).contains(u"top/a.txt*"_s));

        // The archive never goes into itself, even inside a folder being walked.
        const QString inside = tree() + u"/top/sub/self.zip"_s;
        QCOMPARE(run({u"top/*.*"_s}, inside), ZpOk);
        QCOMPARE(run({u"top/*.*"_s}, inside), ZpOk);
        QVERIFY(!entries(inside).contains(u"top/sub/self.zip"_s));
        QFile::remove(inside);
    }
};

QTEST_GUILESS_MAIN(tst_ZipLibrary)
#include "tst_ziplibrary.moc"
