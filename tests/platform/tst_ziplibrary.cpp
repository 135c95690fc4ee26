#include "support/ZpHarness.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

// The interface's own promises: the callbacks in the order of the work, one run at a time.
class tst_ZipLibrary : public ZpFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { makeTree(); }
    void init() { reset(); }

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

    // What a failed run says and the value it leaves are the same reason.
    void failureAsValue()
    {
        QCOMPARE(run({tree() + u"/loose.txt"_s, tree() + u"/nothing.txt"_s}), ZpErrOpen);
        const ZipFailure why = ZpLastFailure();
        QCOMPARE(int(why.kind), int(ZipFailure::NotFound));
        QCOMPARE(why.path, tree() + u"/nothing.txt"_s);
        QCOMPARE(m_calls.messages().filter(u"zip error:"_s), QStringList{why.message()});
        QCOMPARE(run({tree() + u"/loose.txt"_s}), ZpOk);
        QVERIFY(!ZpLastFailure().failed());
    }
};

QTEST_GUILESS_MAIN(tst_ZipLibrary)
#include "tst_ziplibrary.moc"
