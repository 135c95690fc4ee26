#include "pack/build/clsZip.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Our archives against Info-ZIP's for the same requests: the same entry names,
// and every archive passes unzip -t and Python's zipfile.
namespace {

// Lists an archive through Python's zipfile: names (Info-ZIP's unflagged
// UTF-8 names decoded as UTF-8), which carry the UTF-8 flag, and testzip().
const char* const kInspect = R"PY(
import json, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    names, flagged = [], []
    for i in z.infolist():
        n = i.filename
        if not i.flag_bits & 0x800:
            n = n.encode('cp437').decode('utf-8', 'replace')
        names.append(n)
        flagged.append(bool(i.flag_bits & 0x800))
    bad = z.testzip()
    print(json.dumps({'names': names, 'utf8': flagged, 'bad': bad,
                      'deflate': all(i.compress_type == 8 for i in z.infolist() if not i.is_dir())}))
)PY";

} // namespace

class tst_ZipPeer : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString base() const { return m_dir.filePath(u"base"_s); }

    static QByteArray runTool(const QString& program, const QStringList& args, const QString& cwd, int* rc)
    {
        QProcess p;
        p.setWorkingDirectory(cwd);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForFinished(60000))
            p.kill();
        *rc = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return p.readAll();
    }

    // Checks the archive with unzip -t and zipfile; returns its entry names.
    QStringList verified(const QString& archive, bool ours)
    {
        int rc = 0;
        const QByteArray t = runTool(u"unzip"_s, {u"-t"_s, u"-q"_s, archive}, base(), &rc);
        if (rc != 0) {
            qWarning("unzip -t: %s", t.constData());
            return {u"<unzip -t failed>"_s};
        }
        const QByteArray out =
            runTool(u"python3"_s, {u"-c"_s, QString::fromUtf8(kInspect), archive}, base(), &rc);
        const QJsonObject o = QJsonDocument::fromJson(out).object();
        if (rc != 0 || o.isEmpty() || !o.value(u"bad"_s).isNull()) {
            qWarning("zipfile: %s", out.constData());
            return {u"<zipfile failed>"_s};
        }
        QStringList names;
        const QJsonArray n = o.value(u"names"_s).toArray(), f = o.value(u"utf8"_s).toArray();
        for (qsizetype i = 0; i < n.size(); ++i) {
            names << n.at(i).toString();
            if (ours) {
                // Non-ASCII names carry the flag, plain ones do not.
                bool ascii = true;
                for (QChar c : names.last())
                    ascii = ascii && c.unicode() < 128;
                if (f.at(i).toBool() == ascii)
                    return {u"<UTF-8 flag wrong on "_s + names.last() + u'>'};
            }
        }
        if (ours && !o.value(u"deflate"_s).toBool())
            return {u"<not deflated>"_s};
        return names;
    }

private slots:
    void initTestCase()
    {
        for (const char* tool : {"zip", "unzip", "python3"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(u"%1 is not installed"_s.arg(QString::fromLatin1(tool))));
        QVERIFY(m_dir.isValid());
        QByteArray binary(70000, Qt::Uninitialized);
        for (qsizetype i = 0; i < binary.size(); ++i)
            binary[i] = static_cast<char>((i * 7919) ^ (i >> 5));
        writeFile(base() + u"/top/a.txt"_s, QByteArray("text line\n").repeated(400));
        writeFile(base() + u"/top/.hidden"_s, "h");
        writeFile(base() + u"/top/noext"_s, "x");
        writeFile(base() + u"/top/with space.js"_s, "var s;");
        writeFile(base() + u"/top/sub/c.bin"_s, binary);
        writeFile(base() + u"/top/sub/deeper/d.dll"_s, "d");
        QVERIFY(QDir().mkpath(base() + u"/top/empty"_s));
        writeFile(base() + u"/other/x.txt"_s, "x");
        writeFile(base() + u"/other/sub/y.txt"_s, "y");
        writeFile(base() + u"/ü-dir/é ñ.txt"_s, "accents");
        writeFile(base() + u"/ü-dir/日本/名前.js"_s, "kanji");
    }

    void sameEntriesAsInfoZip_data()
    {
        QTest::addColumn<QString>("options"); // letters: F folder names, R recurse, D directory entries
        QTest::addColumn<QList<QStringList>>("ourRuns");
        QTest::addColumn<QList<QStringList>>("peerRuns");
        QTest::addColumn<QStringList>("notFromUs"); // peer entries a pattern spec does not store
        QTest::addColumn<bool>("ordered");
        const QString b = base();
        using Runs = QList<QStringList>;
        QTest::newRow("folder pattern, recursive, with directories")
            << u"FRD"_s << Runs{{u"top\\*.*"_s}} << Runs{{u"-r"_s, u"top"_s}} << QStringList{u"top/"_s}
            << false;
        QTest::newRow("folder pattern without directories")
            << u"FR"_s << Runs{{u"top/*.*"_s}} << Runs{{u"-r"_s, u"-D"_s, u"top"_s}} << QStringList()
            << false;
        QTest::newRow("explicit folder")
            << u"FRD"_s << Runs{{u"top"_s}} << Runs{{u"-r"_s, u"top"_s}} << QStringList() << false;
        QTest::newRow("relative and absolute spec of one folder")
            << u"FRD"_s << Runs{{u"top\\*.*"_s, b + u"/top\\*.*"_s}} << Runs{{u"-r"_s, u"top"_s}}
            << QStringList{u"top/"_s} << false;
        QTest::newRow("bare names, recursive")
            << u"R"_s << Runs{{u"top\\*.*"_s}} << Runs{{u"-r"_s, u"-j"_s, u"top"_s}} << QStringList()
            << false;
        QTest::newRow("bare names of files, in spec order")
            << u""_s << Runs{{b + u"/top/sub/c.bin"_s, b + u"/other/x.txt"_s, b + u"/top/a.txt"_s}}
            << Runs{{u"-j"_s, u"top/sub/c.bin"_s, u"other/x.txt"_s, u"top/a.txt"_s}} << QStringList() << true;
        QTest::newRow("non-ASCII names") << u"FRD"_s << Runs{{u"ü-dir\\*.*"_s}} << Runs{{u"-r"_s, u"ü-dir"_s}}
                                         << QStringList{u"ü-dir/"_s} << false;
        QTest::newRow("update in place over two runs")
            << u"FRD"_s << Runs{{u"top\\*.*"_s}, {u"other\\*.*"_s, u"top/a.txt"_s}}
            << Runs{{u"-r"_s, u"top"_s}, {u"-r"_s, u"other"_s, u"top/a.txt"_s}}
            << QStringList{u"top/"_s, u"other/"_s} << false;
    }

    void sameEntriesAsInfoZip()
    {
        QFETCH(QString, options);
        QFETCH(QList<QStringList>, ourRuns);
        QFETCH(QList<QStringList>, peerRuns);
        QFETCH(QStringList, notFromUs);
        QFETCH(bool, ordered);
        const QString ours = m_dir.filePath(u"ours.zip"_s), peer = m_dir.filePath(u"peer.zip"_s);
        QFile::remove(ours);
        QFile::remove(peer);

        clsZip zip;
        zip.setZipFile(ours);
        zip.setBasePath(base());
        zip.setStoreFolderNames(options.contains(u'F'));
        zip.setRecurseSubDirs(options.contains(u'R'));
        zip.setStoreDirectories(options.contains(u'D'));
        QStringList errors;
        connect(&zip, &clsZip::Progress, this, [&](qint32, const QString& m) {
            if (!m.startsWith(u"  adding: "_s) && !m.startsWith(u"updating: "_s))
                errors << m;
        });
        for (const QStringList& specs : ourRuns) {
            zip.ClearFileSpecs();
            for (const QString& s : specs)
                zip.AddFileSpec(s);
            zip.Zip();
            QVERIFY2(zip.Success(), qPrintable(errors.join(u'\n')));
        }
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'\n')));
        for (const QStringList& args : peerRuns) {
            int rc = 0;
            const QByteArray out = runTool(u"zip"_s, QStringList{u"-q"_s, peer} + args, base(), &rc);
            QVERIFY2(rc == 0, out.constData());
        }

        QStringList mine = verified(ours, true);
        QStringList theirs = verified(peer, false);
        QVERIFY2(!mine.isEmpty() && !mine.first().startsWith(u'<'), qPrintable(mine.join(u' ')));
        for (const QString& n : notFromUs)
            theirs.removeAll(n);
        if (!ordered) {
            mine.sort();
            theirs.sort();
        }
        QCOMPARE(mine, theirs);
    }
};

QTEST_GUILESS_MAIN(tst_ZipPeer)
#include "tst_zippeer.moc"
