#include "support/ZpHarness.h"

using namespace Qt::StringLiterals;

// The specs of each run, in run order.
using Lists = QList<QStringList>;

class tst_ReadAhead : public ZpFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { makeTree(); }
    void init() { reset(); }

    // Two held runs as the build makes them (names from the base, then bare names), their files read
    // ahead as listed: the same bytes and messages as without. Columns: the runs' specs | read ahead.
    void readAheadAcrossRuns_data()
    {
        QTest::addColumn<Lists>("runs");
        QTest::addColumn<Lists>("ahead");
        const QStringList first = many() + QStringList{u"top/a.txt"_s};
        const QStringList second{u"loose.txt"_s, u"top/b.js"_s, u"other/x.txt"_s};
        const Lists runs{first, second};
        QTest::newRow("each run takes its own") << runs << runs;
        QTest::newRow("the first run parts from its list")
            << runs << Lists{many() + QStringList{u"loose.txt"_s}, second};
        QTest::newRow("the first run's list is longer") << runs << Lists{many(), second};
        QTest::newRow("the second run parts from its list")
            << runs << Lists{first, {u"loose.txt"_s, u"other/x.txt"_s, u"top/b.js"_s}};
    }
    void readAheadAcrossRuns()
    {
        QFETCH(Lists, runs);
        QFETCH(Lists, ahead);
        m_root = tree().toUtf8();
        ZpInit(&kZpCallbacks);
        auto each = [this](const Lists& lists, const auto& call) {
            for (int run = 0; run < 2; ++run) {
                std::vector<QByteArray> specs;
                for (const QString& s : lists[run])
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
};

QTEST_GUILESS_MAIN(tst_ReadAhead)
#include "tst_readahead.moc"
