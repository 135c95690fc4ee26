// The command line as release scripts use it: its exit codes, and a sample
// script built there, checked with unzip and against the wizard's build core.
#include "app/PackCommand.h"
#include "pack/build/ScriptPackReader.h"
#include "pack/build/clsZip.h"
#include "pack/build/makePack.h"
#include "pack/contents/PackContents.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <zip.h>

using namespace Qt::StringLiterals;

namespace {

struct QuietView final : BuildView
{
    void ShowProgress(qint16, const QString&) override {}
    void DoEvents() override {}
    bool CancelRequested() const override { return false; }
};

// Every entry with what the host reads of it: name, method, CRC, sizes,
// attributes and the stored bytes themselves; the times are left out.
QStringList Entries(const QString& path)
{
    QStringList list;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr);
    if (!za)
        return list;
    list << QString::fromUtf8(zip_get_archive_comment(za, nullptr, 0));
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
        zip_stat_t st;
        zip_uint8_t os = 0;
        zip_uint32_t attr = 0;
        zip_stat_index(za, zip_uint64_t(i), 0, &st);
        zip_file_get_external_attributes(za, zip_uint64_t(i), 0, &os, &attr);
        QByteArray raw(qsizetype(st.comp_size), '\0');
        zip_file_t* zf = zip_fopen_index(za, zip_uint64_t(i), ZIP_FL_COMPRESSED);
        zip_fread(zf, raw.data(), st.comp_size);
        zip_fclose(zf);
        list << u"%1 %2 %3 %4 %5 %6 "_s.arg(QString::fromUtf8(st.name))
                        .arg(st.comp_method)
                        .arg(st.crc)
                        .arg(st.size)
                        .arg(os)
                        .arg(attr) +
                    QString::fromLatin1(raw.toHex());
    }
    zip_discard(za);
    return list;
}

} // namespace

class tst_PackCommand : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString at(const QString& rel) const { return m_dir.filePath(rel); }

    int run(QStringList args)
    {
        QString out, err;
        QTextStream o(&out), e(&err);
        args.prepend(u"bundlesmith"_s);
        return RunCommandLine(args, o, e, false);
    }

private slots:
    void initTestCase()
    {
        writeFile(at(u"script/ScriptMain.js"_s), "function OnEvent_Initialize() {}\n");
        writeFile(at(u"script/lib/Tool.dll"_s), QByteArray(3000, 'd'));
        writeFile(at(u"script/lib/deep/Net.dll"_s), "net");
        writeFile(at(u"loose.dll"_s), "loose");
        writeFile(at(u"ScriptInfo.xml"_s), "<x/>");
        writeFile(at(u"not-a-pack.plsc"_s), "plain text");
        writeFile(at(u"exists.plsc"_s), "old");
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        const QString s = at(u"script"_s);
        const auto pack = [&](QStringList more) {
            return QStringList{u"pack"_s, u"--name"_s, u"N"_s} + more;
        };
        QTest::newRow("help") << QStringList{u"pack"_s, u"--help"_s} << 0;
        QTest::newRow("unknown option") << pack({u"--bogus"_s, u"-o"_s, at(u"a"_s), s}) << 2;
        QTest::newRow("no output") << pack({s}) << 2;
        QTest::newRow("no path") << pack({u"-o"_s, at(u"a"_s)}) << 2;
        QTest::newRow("no name") << QStringList{u"pack"_s, u"-o"_s, at(u"a"_s), s} << 2;
        QTest::newRow("name too long")
            << QStringList{u"pack"_s, u"--name"_s, QString(128, u'n'), u"-o"_s, at(u"a"_s), s} << 2;
        QTest::newRow("both lists") << pack({u"--com"_s, u"a.dll"_s, u"--dotnet"_s, u"A.DLL"_s, u"-o"_s,
                                             at(u"a"_s), s})
                                    << 2;
        QTest::newRow("missing path") << pack({u"-o"_s, at(u"a"_s), at(u"nowhere"_s)}) << 3;
        QTest::newRow("root manifest") << pack({u"-o"_s, at(u"a"_s), at(u"ScriptInfo.xml"_s)}) << 3;
        QTest::newRow("entry names no file") << pack({u"--com"_s, u"x.dll"_s, u"-o"_s, at(u"a"_s), s}) << 3;
        QTest::newRow("from not a pack")
            << pack({u"--from"_s, at(u"not-a-pack.plsc"_s), u"-o"_s, at(u"a"_s), s}) << 3;
        QTest::newRow("output exists") << pack({u"-o"_s, at(u"exists"_s), s}) << 5;
        QTest::newRow("no such folder") << pack({u"-o"_s, at(u"none/a.plsc"_s), s}) << 4;
        QTest::newRow("forced") << pack({u"--force"_s, u"-o"_s, at(u"exists.plsc"_s), s}) << 0;
    }

    void exitCodes()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QCOMPARE(run(args), code);
        QCOMPARE(QFile::exists(at(u"a.plsc"_s)), false);
    }

    void buildsWhatTheWizardBuilds()
    {
        const QString script = at(u"script"_s);
        const QString desc = u"Counts words.\n<b>&</b>"_s;
        QCOMPARE(
            run({u"pack"_s, u"--name"_s, u"Tom & Jerry"_s, u"--description"_s, desc, u"--url"_s,
                 u"http://x.org/?a=1&b"_s, u"--version"_s, u"2.1"_s, u"--com"_s, u"SCRIPT/lib/tool.DLL"_s,
                 u"--dotnet"_s, u"loose.dll"_s, u"-o"_s, at(u"cli"_s), script, at(u"loose.dll"_s)}),
            0);
        QProcess unzip;
        unzip.start(u"unzip"_s, {u"-tq"_s, at(u"cli.plsc"_s)});
        QVERIFY(unzip.waitForFinished());
        QCOMPARE(unzip.exitCode(), 0);

        ScriptPackInfo info;
        QString error;
        QVERIFY2(ReadScriptPack(at(u"cli.plsc"_s), info, error), qPrintable(error));
        QCOMPARE(info.Name, u"Tom & Jerry"_s);
        QCOMPARE(info.Description, desc);
        QCOMPARE(info.Version, u"2.1"_s);
        QCOMPARE(info.OleFiles, QStringList{u"script\\lib\\Tool.dll"_s});
        QCOMPARE(info.DotNetFiles, QStringList{u"loose.dll"_s});

        // The same input through the build core the wizard drives.
        PackContents contents;
        contents.AddFolderToTree(script, -1);
        const int loose = contents.AddFileToTree(at(u"loose.dll"_s), -1);
        contents.SetChecked(PackList::Reg1, contents.findKey(u"sub-"_s + script + u"/lib/Tool.dll"_s), true);
        contents.SetChecked(PackList::Reg2, loose, true);
        clsZip zip;
        QuietView view;
        PackBuild build(zip, view);
        QVERIFY(build.makePack(
            {u"Tom & Jerry"_s, desc, u"http://x.org/?a=1&b"_s, u"2.1"_s, at(u"core.plsc"_s), &contents}));
        const QStringList cli = Entries(at(u"cli.plsc"_s));
        QVERIFY(cli.size() > 5);
        QCOMPARE(cli, Entries(at(u"core.plsc"_s)));

        // A new release from the old pack: its information and ticks carry over.
        QCOMPARE(run({u"pack"_s, u"--from"_s, at(u"cli.plsc"_s), u"--version"_s, u"2.2"_s, u"-o"_s,
                      at(u"next"_s), script, at(u"loose.dll"_s)}),
                 0);
        ScriptPackInfo next;
        QVERIFY(ReadScriptPack(at(u"next.plsc"_s), next, error));
        QCOMPARE(next.Version, u"2.2"_s);
        next.Version = info.Version;
        QCOMPARE(std::tie(next.Name, next.Description, next.AboutUrl, next.OleFiles, next.DotNetFiles),
                 std::tie(info.Name, info.Description, info.AboutUrl, info.OleFiles, info.DotNetFiles));
    }
};

QTEST_GUILESS_MAIN(tst_PackCommand)
#include "tst_packcommand.moc"
