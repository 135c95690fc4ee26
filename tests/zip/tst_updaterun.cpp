#include "support/ZpHarness.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace {

enum Flag
{
    Update = 1,  // replace only by a newer file; add new ones
    Freshen = 2, // replace only by a newer file; add nothing
    Delete = 4,
    Verbose = 8,
};

// A run on an archive that holds a.txt and b.js, after the files changed.
struct UpdateRow
{
    const char* tag;
    int flags;
    QStringList specs; // names in the folder; patterns for a delete
    QStringList newer; // rewritten, with a later time
    QStringList older; // rewritten, with an earlier time
    qint32 code;
    QString entries;       // ';'-joined
    QStringList rewritten; // entries that now hold the rewritten bytes
    QStringList messages;  // must all appear
};

} // namespace
Q_DECLARE_METATYPE(UpdateRow)

// An existing archive changed in place: through libzip, the entries named are
// added, replaced or deleted, and all others are kept as they were stored.
class tst_UpdateRun : public ZpFixture
{
    Q_OBJECT

    QString folder() const { return m_dir.filePath(u"out/src"_s); }
    void put(const QString& name, const QByteArray& data, qint64 hourOffset)
    {
        const QString path = folder() + u'/' + name;
        writeFile(path, data);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QDateTime when = QDateTime(QDate(2024, 1, 1), QTime(12, 0)).addSecs(hourOffset * 3600);
        QVERIFY(f.setFileTime(when, QFileDevice::FileModificationTime));
    }

private slots:
    void init() { reset(); }

    void update_data()
    {
        QTest::addColumn<UpdateRow>("row");
        const QStringList ab{u"a.txt"_s, u"b.js"_s}, abc{u"a.txt"_s, u"b.js"_s, u"c.txt"_s};
        // clang-format off
        const UpdateRow rows[] = {
            {"changed files replaced, the same kept", Verbose, abc, {u"b.js"_s}, {}, ZpOk,
             u"a.txt;b.js;c.txt"_s, {u"b.js"_s},
             {u"unchanged: a.txt"_s, u"updating: b.js"_s, u"  adding: c.txt"_s}},
            {"updating: an older file does not replace", Update, abc, {u"a.txt"_s}, {u"b.js"_s}, ZpOk,
             u"a.txt;b.js;c.txt"_s, {u"a.txt"_s}, {u"updating: a.txt"_s, u"  adding: c.txt"_s}},
            {"freshening adds nothing", Freshen, abc, {u"a.txt"_s}, {}, ZpOk, u"a.txt;b.js"_s, {u"a.txt"_s},
             {u"updating: a.txt"_s}},
            {"deleting by pattern", Delete, {u"*.js"_s, u"*.none"_s}, {}, {}, ZpOk, u"a.txt"_s, {},
             {u"deleting: b.js"_s, u"zip warning: name not matched: *.none"_s}},
            {"deleting nothing", Delete, {u"*.none"_s}, {}, {}, ZpErrNothing, u"a.txt;b.js"_s, {}, {}},
            {"nothing changed: the archive stays", 0, ab, {}, {}, ZpOk, u"a.txt;b.js"_s, {}, {}},
        };
        // clang-format on
        for (const UpdateRow& r : rows)
            QTest::newRow(r.tag) << r;
    }

    void update()
    {
        QFETCH(UpdateRow, row);
        m_root = folder().toUtf8();
        put(u"a.txt"_s, "first a", 0);
        put(u"b.js"_s, "first b", 0);
        QCOMPARE(run({u"a.txt"_s, u"b.js"_s}), ZpOk);
        const QByteArray before = readAll(zipPath());
        put(u"c.txt"_s, "new c", 0);
        for (const QString& n : row.newer)
            put(n, "rewritten " + n.toUtf8(), 1);
        for (const QString& n : row.older)
            put(n, "rewritten " + n.toUtf8(), -1);
        m_calls.events.clear();
        m_opt.fUpdate = row.flags & Update ? 1 : 0;
        m_opt.fFreshen = row.flags & Freshen ? 1 : 0;
        m_opt.fDeleteEntries = row.flags & Delete ? 1 : 0;
        m_opt.fVerbose = row.flags & Verbose ? 1 : 0;
        QCOMPARE(run(row.specs), row.code);
        const Archive a = readArchive(zipPath());
        QCOMPARE(a.names.join(u';'), row.entries);
        for (const QString& n : a.names) {
            const QByteArray want = row.rewritten.contains(n) ? "rewritten " + n.toUtf8()
                                    : n == u"c.txt"_s         ? QByteArray("new c")
                                                              : "first " + n.left(1).toUtf8();
            QCOMPARE(a.data(n), want);
        }
        for (const QString& m : row.messages)
            QVERIFY2(m_calls.messages().contains(m), qPrintable(m_calls.messages().join(u'\n')));
        if (row.entries == u"a.txt;b.js"_s && row.rewritten.isEmpty()) // as it was: not written again
            QCOMPARE(readAll(zipPath()), before);
    }
};

QTEST_GUILESS_MAIN(tst_UpdateRun)
#include "tst_updaterun.moc"
