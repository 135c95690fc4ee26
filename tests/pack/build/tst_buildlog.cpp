#include "platform/BuildLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_BuildLog : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString logPath() const { return m_dir.filePath(QStringLiteral("log.txt")); }
    QString marker() const { return m_dir.filePath(QStringLiteral("makelog")); }
    QByteArray readLog() const
    {
        QFile f(logPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(logPath());
        QFile::remove(marker());
        QDir(m_dir.path()).rmdir(QStringLiteral("makelog"));
        BuildLog::setMarkerFolder(m_dir.path());
        BuildLog::setLogFilePath(logPath());
    }

    void withoutMarkerNothingIsWritten()
    {
        for (int i = 0; i < 50; ++i)
            WriteLog(QStringLiteral("makePack"));
        QVERIFY(!QFile::exists(logPath()));

        // A folder named like the marker does not switch the log on.
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("makelog")));
        WriteLog(QStringLiteral("makePack"));
        QVERIFY(!QFile::exists(logPath()));
    }

    void linesAreAppendedAcrossRuns()
    {
        QFile m(marker());
        QVERIFY(m.open(QIODevice::WriteOnly));
        m.close();

        WriteLog(QStringLiteral("makePack"));
        WriteLog(QString());
        WriteLog(QStringLiteral("two\r\nlines"));
        // The marker is checked on every call.
        QFile::remove(marker());
        WriteLog(QStringLiteral("not logged"));
        QVERIFY(m.open(QIODevice::WriteOnly));
        m.close();
        WriteLog(QStringLiteral("Tag:   /home/u/"));

        const QList<QByteArray> lines = readLog().split('\n');
        QCOMPARE(lines.size(), 6); // five physical lines and the empty rest after the last CR LF
        QVERIFY(lines[0].endsWith("   -   makePack\r"));
        QVERIFY(lines[1].endsWith("   -   \r"));
        QVERIFY(lines[2].endsWith("   -   two\r"));
        QCOMPARE(lines[3], QByteArray("lines\r"));
        QVERIFY(lines[4].endsWith("   -   Tag:   /home/u/\r"));
        QVERIFY(!readLog().contains("not logged"));
        // A time stamp stands in front of the separator.
        QVERIFY(lines[0].indexOf("   -   ") >= 8);
    }

    void unwritableLogIsDroppedSilently()
    {
        QFile m(marker());
        QVERIFY(m.open(QIODevice::WriteOnly));
        m.close();
        BuildLog::setLogFilePath(m_dir.filePath(QStringLiteral("no/such/folder/log.txt")));
        WriteLog(QStringLiteral("makePack")); // must neither crash nor throw
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("no/such/folder/log.txt"))));
    }

    void cleanupTestCase()
    {
        BuildLog::setMarkerFolder(QString());
        BuildLog::setLogFilePath(QString());
    }
};

QTEST_GUILESS_MAIN(tst_BuildLog)
#include "tst_buildlog.moc"
