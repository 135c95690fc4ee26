#include "platform/BuildLog.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>

using namespace Qt::StringLiterals;

class tst_BuildLog : public QObject
{
    Q_OBJECT

private slots:
    // The marker beside the program switches the log on, checked on every line.
    void onlyWithTheMarker()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(u"log.txt"_s), marker = dir.filePath(u"makelog"_s);
        BuildLog::setMarkerFolder(dir.path());
        BuildLog::setLogFilePath(log);
        writeFile(marker, "");
        WriteLog(u"makePack"_s);
        QFile::remove(marker);
        WriteLog(u"not logged"_s);
        writeFile(marker, "");
        WriteLog(u"GetTVItemFromNode:   "_s, QByteArrayView("\xc3\xbc"
                                                            "ber.js"));
        QFile::remove(marker);
        QDir().mkdir(marker); // a folder of that name does not count
        WriteLog(u"not logged"_s);
        const QList<QByteArray> lines = readAll(log).split('\n');
        QCOMPARE(lines.size(), 3); // two lines and the empty rest after the last CR LF
        QVERIFY(lines[0].endsWith("   -   makePack\r") &&
                lines[0].indexOf("   -   ") >= 8); // a time stamp first
        QVERIFY(lines[1].endsWith("   -   GetTVItemFromNode:   \xc3\xbc"
                                  "ber.js\r"));

        // Within a build the marker counts as it was when the build began.
        QDir().rmdir(marker);
        QFile::remove(log);
        for (const bool there : {false, true}) {
            const BuildLog::Session build;
            there ? QFile::remove(marker) : (writeFile(marker, ""), true);
            WriteLog(there ? u"logged"_s : u"not logged"_s);
        }
        QCOMPARE(readAll(log).count("logged"), 1);
        QVERIFY(!readAll(log).contains("not logged"));

        // A log that cannot be written is dropped silently.
        BuildLog::setLogFilePath(dir.filePath(u"no/such/folder/log.txt"_s));
        WriteLog(u"makePack"_s);
        QVERIFY(!QFile::exists(dir.filePath(u"no"_s)));
        BuildLog::setMarkerFolder({});
        BuildLog::setLogFilePath({});
    }
};

QTEST_GUILESS_MAIN(tst_BuildLog)
#include "tst_buildlog.moc"
