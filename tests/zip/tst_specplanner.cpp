#include "support/ZpHarness.h"

#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

enum class Mode
{
    Junk,          // bare names
    Folders,       // recursive, with folder entries
    FoldersNoDirs, // recursive, no folder entries
    Flat,          // no recursion, folder entries
};

// %T stands for the tree, %A for all of top/, %F for its files alone.
struct NameRow
{
    const char* tag;
    Mode mode;
    QString base;
    QStringList specs;
    QString entries;  // ';'-joined
    QStringList peer; // Info-ZIP's arguments for the same entries, run in the tree; none: not compared
};

} // namespace
Q_DECLARE_METATYPE(NameRow)

class tst_SpecPlanner : public ZpFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { makeTree(); }
    void init() { reset(); }

    void entryNames_data()
    {
        QTest::addColumn<NameRow>("row");
        // clang-format off
        const NameRow rows[] = {
            {"bare names, spec order", Mode::Junk, u""_s, {u"%T/top/b.js"_s, u"%T/loose.txt"_s},
             u"b.js;loose.txt"_s, {u"-j"_s, u"top/b.js"_s, u"loose.txt"_s}},
            {"backslash folder spec, recursive", Mode::Folders, u"%T/"_s, {u"top\\*.*"_s}, u"%A"_s,
             {u"-r"_s, u"top"_s}},
            {"no directory entries", Mode::FoldersNoDirs, u"%T"_s, {u"top/*.*"_s}, u"%F"_s,
             {u"-r"_s, u"-D"_s, u"top"_s}},
            {"pattern without recursion", Mode::Flat, u"%T"_s, {u"top/*.js"_s, u"top/*"_s},
             u"top/b.js;top/.hidden;top/a.txt;top/noext;top/sub/"_s, {}},
            {"absolute inside base, stored once", Mode::Folders, u"%T"_s, {u"top\\*.*"_s, u"%T\\top\\*.*"_s},
             u"%A"_s, {u"-r"_s, u"top"_s}},
            {"absolute outside base: from the spec's own folder", Mode::FoldersNoDirs, u"%T/other"_s,
             {u"%T/top/sub/*.*"_s, u"%T/loose.txt"_s, u"x.txt"_s},
             u"sub/c.bin;sub/deeper/d;loose.txt;x.txt"_s, {}},
            {"dot-dot never reaches a name", Mode::FoldersNoDirs, u"%T/other"_s, {u"../top/sub/deeper/*.*"_s},
             u"deeper/d"_s, {}},
            {"explicit folder, with its own entry", Mode::Folders, u"%T"_s, {u"top/sub"_s},
             u"top/sub/;top/sub/c.bin;top/sub/deeper/;top/sub/deeper/d"_s, {u"-r"_s, u"top/sub"_s}},
            {"stale relative spec is only a warning", Mode::FoldersNoDirs, u"%T/top"_s,
             {u"top\\*.*"_s, u"sub\\deeper\\*.*"_s}, u"sub/deeper/d"_s, {}},
        };
        // clang-format on
        for (const NameRow& r : rows)
            QTest::newRow(r.tag) << r;
    }

    void entryNames()
    {
        QFETCH(NameRow, row);
        const QString all =
            u"top/.hidden;top/a.txt;top/b.js;top/noext;top/sub/;top/sub/c.bin;top/sub/deeper/;top/sub/deeper/d"_s;
        const QString files = QString(all).remove(u"top/sub/;"_s).remove(u"top/sub/deeper/;"_s);
        auto fill = [&](QString s) { return s.replace(u"%T"_s, QDir::cleanPath(tree())); };
        const QString expected = QString(row.entries).replace(u"%A"_s, all).replace(u"%F"_s, files);
        QStringList specs;
        for (const QString& s : row.specs)
            specs << fill(s);
        m_root = fill(row.base).toUtf8();
        m_opt.fJunkDirNames = row.mode == Mode::Junk ? 1 : 0;
        m_opt.fNoDirEntries = row.mode == Mode::Folders || row.mode == Mode::Flat ? 0 : 1;
        m_opt.fRecurse = row.mode == Mode::Folders || row.mode == Mode::FoldersNoDirs ? 2 : 0;
        QCOMPARE(run(specs), ZpOk);
        QCOMPARE(names().join(u';'), expected);
        const bool stale = QTest::currentDataTag() == QByteArray("stale relative spec is only a warning");
        QCOMPARE(m_calls.messages().contains(u"zip warning: name not matched: top\\*.*"_s), stale);

        // Info-ZIP names the same files alike (its "top/" for a pattern spec aside), and accepts ours.
        if (row.peer.isEmpty() || QStandardPaths::findExecutable(u"zip"_s).isEmpty())
            return;
        QCOMPARE(QProcess::execute(u"unzip"_s, {u"-tqq"_s, zipPath()}), 0);
        const QString peer = m_dir.filePath(u"out/peer.zip"_s);
        QProcess zip;
        zip.setWorkingDirectory(tree());
        zip.start(u"zip"_s, QStringList{u"-q"_s, peer} + row.peer);
        QVERIFY(zip.waitForFinished() && zip.exitCode() == 0);
        QStringList theirs = names(peer);
        if (specs.first().endsWith(u"*.*"_s))
            theirs.removeAll(u"top/"_s);
        QStringList ours = expected.split(u';');
        ours.sort();
        theirs.sort();
        QCOMPARE(theirs, ours);
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

QTEST_GUILESS_MAIN(tst_SpecPlanner)
#include "tst_specplanner.moc"
