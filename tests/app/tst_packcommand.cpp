// The command line as release scripts use it: its exit codes, and a sample
// script built there, checked with unzip and against the wizard's build core.
#include "app/ConsoleBuildView.h"
#include "app/PackCommand.h"
#include "app/PackTarget.h"
#include "pack/build/ScriptPackReader.h"
#include "pack/build/clsZip.h"
#include "pack/build/makePack.h"
#include "pack/contents/PackContents.h"
#include "platform/BuildLog.h"
#include "platform/Console.h"
#include "support/FakeBuildView.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <csignal>
using namespace Qt::StringLiterals;

namespace {

// The pack's bytes with the DOS time and date of every local and central header zeroed.
QByteArray WithoutTimes(const QString& path)
{
    QByteArray b = readAll(path);
    for (qsizetype i = b.indexOf("PK"); i >= 0 && i + 16 <= b.size(); i = b.indexOf("PK", i + 2)) {
        const QByteArray sig = b.mid(i, 4);
        if (sig == QByteArray("PK\3\4", 4) || sig == QByteArray("PK\1\2", 4))
            b.replace(i + (sig[2] == 3 ? 10 : 12), 4, QByteArray(4, '\0'));
    }
    return b;
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
        QDir::setCurrent(at(QString()));
        for (const char* f : {"script/ScriptMain.js", "script/lib/deep/Net.dll", "loose.dll",
                              "ScriptInfo.xml", "not-a-pack.plsc", "exists.plsc"})
            writeFile(at(QString::fromLatin1(f)));
        writeFile(at(u"script/lib/Tool.dll"_s), QByteArray(3000, 'd'));
        // A script as its author keeps it: its own manifest, saved as UTF-16,
        // in a folder under version control.
        QStringEncoder utf16(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
        writeFile(
            at(u"author/ScriptInfo.xml"_s),
            utf16.encode(
                u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<ScriptInfo "
                u"xmlns=\"urn:msgplus:scripts\">\r\n"
                "\t<Information>\r\n\t\t<Name>Contador</Name>\r\n\t\t<Version>2.4</Version>\r\n"
                "\t\t<Author>Ana</Author>\r\n\t</Information>\r\n\t<ScriptMenu><MenuEntry "
                "Id=\"a\">A</MenuEntry>"
                "</ScriptMenu>\r\n\t<OleFiles><FileName>lib\\x.dll</FileName></OleFiles>\r\n</ScriptInfo>\r\n"_s));
        writeFile(at(u"bom/\uFEFFa.txt"_s));
        for (const char* f :
             {"author/Contador.js", "author/lib/x.dll", "author/.git/HEAD", "author/lib/Thumbs.db"})
            writeFile(at(QString::fromLatin1(f)));
    }

    // The three ways in to an author's own manifest, and a re-pack from the
    // pack they made: the same files at the root, the manifest kept whole.
    void authorManifest_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("version");
        const QString paths = u" @author/Contador.js @author/lib"_s;
        QTest::newRow("folder") << u"--from @author"_s << u"Contador"_s << u"2.4"_s;
        QTest::newRow("its manifest")
            << u"--from @author/ScriptInfo.xml --version 2.5"_s << u"Contador"_s << u"2.5"_s;
        QTest::newRow("among the paths")
            << u"--name Other @author/ScriptInfo.xml"_s + paths << u"Other"_s << u"2.4"_s;
        QTest::newRow("old pack") << u"--from @out-folder.plsc"_s + paths << u"Contador"_s << u"2.4"_s;
    }

    void authorManifest()
    {
        QFETCH(QString, args);
        QFETCH(QString, name);
        QFETCH(QString, version);
        const QString out =
            at(u"out-"_s + QString::fromLatin1(QTest::currentDataTag()).section(u' ', 0, 0) + u".plsc"_s);
        QStringList list = (u"pack -o "_s + out + u' ' + args).split(u' ');
        for (QString& arg : list)
            arg = arg.startsWith(u'@') ? at(arg.mid(1)) : arg;
        QCOMPARE(run(list), 0);
        const Archive pack = readArchive(out);
        QCOMPARE(pack.names, QStringList({u"ScriptInfo.xml"_s, u"lib/x.dll"_s, u"Contador.js"_s}));
        const QString manifest = QString::fromUtf8(pack.data(u"ScriptInfo.xml"_s));
        for (const QString& part :
             {u" Version=\""_s + version + u"\">\r\n"_s, u"<Name>"_s + name + u"</Name>"_s,
              u"<Version>"_s + version +
                  u"</Version>\r\n<Author>Ana</Author>\r\n</Information>\r\n"_s
                  u"<ScriptMenu><MenuEntry Id=\"a\">A</MenuEntry></ScriptMenu>\r\n<OleFiles>\r\n"_s
                  u"<FileName>lib\\x.dll</FileName>"_s})
            QVERIFY2(manifest.contains(part), qPrintable(manifest));
    }

    // What a release script sees: each row's arguments ("@x" is the path x in
    // the test folder, which is also the current one; LONG a 128-character
    // name), its exit code, what stdout and stderr hold, and the entries of
    // the pack it names (none: no pack may be there).
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QString>("pack");
        QTest::addColumn<QStringList>("entries");
        const QStringList script = {u"ScriptInfo.xml"_s,   u"script/ScriptMain.js"_s,
                                    u"script/lib/"_s,      u"script/lib/Tool.dll"_s,
                                    u"script/lib/deep/"_s, u"script/lib/deep/Net.dll"_s};
        const auto row = [](const char* tag, const QString& args, int code, const QString& out = {},
                            const QString& err = {}, const QString& pack = u"a.plsc"_s,
                            const QStringList& entries = {}) {
            QTest::newRow(tag) << args.split(u' ') << code << out << err << pack << entries;
        };
        row("help", u"pack --help"_s, 0, u"Usage: bundlesmith"_s);
        row("unknown option", u"pack --name N --bogus -o @a @script"_s, 2, {}, u"Unknown option 'bogus'"_s);
        row("unknown word", u"-V"_s, 2, {}, u"'-V' is neither a command nor an option"_s);
        row("no path", u"pack --name N -o @a"_s, 2, {}, u"no file or folder to pack"_s);
        row("no name", u"pack -o @a @script"_s, 2, {}, u"no script name"_s);
        row("name too long", u"pack --name LONG -o @a @script"_s, 2);
        row("name just short enough", u"pack --name FITS -o @a @script"_s, 0, {}, {}, u"a.plsc"_s, script);
        row("entry in other letter case", u"pack --list --name N --com SCRIPT/LIB/TOOL.DLL @script"_s, 0,
            u"<OleFiles>\n<FileName>script\\lib\\Tool.dll</FileName>\n</OleFiles>"_s, {}, {}, script);
        row("--dotnet over the old pack's COM", u"pack --list --from @author --dotnet lib/x.dll"_s, 0,
            u"</ScriptMenu>\n<DotNetFiles>\n<FileName>lib\\x.dll</FileName>"_s, {}, {},
            {u"ScriptInfo.xml"_s, u"lib/x.dll"_s, u"Contador.js"_s});
        row("both lists", u"pack --name N --com a.dll --dotnet A.DLL -o @a @script"_s, 2);
        row("no file name", u"pack --name N -o @nowhere/ @script"_s, 2, {}, u"names no file"_s);
        row("output is an input", u"pack --name N --force -o @exists.plsc @exists.plsc @script"_s, 2, {},
            u"is also one of the inputs"_s, u"exists.plsc"_s, {});
        row("missing path", u"pack --name N -o @a @nowhere"_s, 3, {}, u"does not exist"_s);
        row("unreadable root manifest", u"pack --name N -o @a @ScriptInfo.xml"_s, 3);
        row("two manifests", u"pack -o @a @author/ScriptInfo.xml @author/ScriptInfo.xml"_s, 3);
        row("folder without manifest", u"pack --from @script -o @a"_s, 3, {}, u"holds no ScriptInfo.xml"_s);
        row("from not a pack", u"pack --name N --from @not-a-pack.plsc -o @a @script"_s, 3);
        row("entry names no file", u"pack --name N --com lib/tool.dl -o @a @script"_s, 3, {},
            u"Nearest: script\\lib\\Tool.dll."_s);
        row("output exists", u"pack --name N -o @exists @script"_s, 5);
        row("no such folder", u"pack --name N -o @none/a.plsc @script"_s, 2, {}, u"does not exist"_s,
            u"none/a.plsc"_s);
        row("entry with slashes", u"pack --name N --com script/lib/Tool.dll -o @a @script"_s, 0, u"a.plsc"_s,
            {}, u"a.plsc"_s, script);
        row("named for the script", u"pack --name My:Tool? --version 1.2 @script"_s, 0,
            u"My_Tool_-1.2.plsc"_s, {}, u"My_Tool_-1.2.plsc"_s, script);
        row("into a folder", u"pack --name N -o @outdir/ @script"_s, 0, {}, {}, u"outdir/N-1.0.plsc"_s,
            script);
        row("excluded by name", u"pack --name N --exclude *.dll -o @a @script"_s, 0, {}, {}, u"a.plsc"_s,
            {u"ScriptInfo.xml"_s, u"script/ScriptMain.js"_s, u"script/lib/"_s, u"script/lib/deep/"_s});
        row("excluded by path", u"pack --name N --exclude script/lib/** -o @a @script"_s, 0, {}, {},
            u"a.plsc"_s, {u"ScriptInfo.xml"_s, u"script/ScriptMain.js"_s, u"script/lib/"_s});
        row("left out by default", u"pack --name N -o @a @author"_s, 0, {},
            u"author/lib/Thumbs.db: files the desktop makes are left out"_s, u"a.plsc"_s,
            {u"ScriptInfo.xml"_s, u"author/Contador.js"_s, u"author/ScriptInfo.xml"_s, u"author/lib/"_s,
             u"author/lib/x.dll"_s});
        row("kept when asked", u"pack --name N --no-default-excludes -o @a @author/lib"_s, 0, {}, {},
            u"a.plsc"_s, {u"ScriptInfo.xml"_s, u"lib/Thumbs.db"_s, u"lib/x.dll"_s});
        row("strict", u"pack --strict --name N -o @a @author/lib"_s, 3, {}, u"left out"_s);
        row("registration not carried", u"pack --from @author -o @a @script"_s, 0, {},
            u"'lib\\x.dll' was registered in"_s, u"a.plsc"_s, script);
        row("a name that begins with U+FEFF", u"pack --name N --url \uFEFFu -o @a @bom"_s, 0, {}, {},
            u"a.plsc"_s, {u"ScriptInfo.xml"_s, u"bom/\uFEFFa.txt"_s});
        row("a name that is not UTF-8", u"pack --name N -o @a @x\uFFFD.txt"_s, 3, {},
            u"is not valid UTF-8"_s);
        row("quiet", u"pack -q --name N -o @a @author/lib"_s, 0, {}, {}, u"a.plsc"_s,
            {u"ScriptInfo.xml"_s, u"lib/x.dll"_s});
        const QStringList loose = {u"ScriptInfo.xml"_s, u"lib/x.dll"_s, u"not-a-pack.plsc"_s, u"loose.dll"_s};
        row("loose files last, in order", u"pack --name N -o @a @not-a-pack.plsc @author/lib @loose.dll"_s, 0,
            {}, {}, u"a.plsc"_s, loose);
        row("listed as packed", u"pack --list --name N @not-a-pack.plsc @author/lib @loose.dll"_s, 0, {}, {},
            {}, loose);
        row("list", u"pack --list --name N --com script/lib/Tool.dll @script"_s, 0,
            u"         1  script/ScriptMain.js\n         0  script/lib/\n      3000  script/lib/Tool.dll\n"_s
            u"         0  script/lib/deep/\n         1  script/lib/deep/Net.dll\n\n<?xml version=\"1.0\"?>\n"_s,
            {}, {}, script);
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QString, pack);
        QFETCH(QStringList, entries);
        QFile::remove(at(u"a.plsc"_s));
        QFile::remove(at(u"My_Tool_-1.2.plsc"_s));
        QDir(at(u"outdir"_s)).removeRecursively();
        QDir().mkpath(at(u"outdir"_s));
        for (QString& arg : args)
            arg = arg == u"LONG"_s       ? QString(128, u'n')
                  : arg == u"FITS"_s     ? QString(127, u'n')
                  : arg.startsWith(u'@') ? at(arg.mid(1))
                                         : arg;
        QString stdOut, stdErr;
        QTextStream o(&stdOut), e(&stdErr);
        QCOMPARE(RunCommandLine(QStringList(u"bundlesmith"_s) << args, o, e, false), code);
        QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
        QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
        if (args.contains(u"-q"_s))
            QCOMPARE(stdOut + stdErr, QString());
        QStringList listed;
        for (const QString& line : stdOut.section(u"\n\n"_s, 0, 0).split(u'\n', Qt::SkipEmptyParts))
            listed << line.trimmed().section(u"  "_s, 1);
        if (args.contains(u"--list"_s))
            QCOMPARE(listed, entries);
        else if (entries.isEmpty())
            QVERIFY(!QFile::exists(at(pack)) || pack == u"exists.plsc"_s);
        else
            QCOMPARE(readArchive(at(pack)).names, entries);
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
        QCOMPARE(QProcess::execute(u"unzip"_s, {u"-tqq"_s, at(u"cli.plsc"_s)}), 0);
        ScriptPackInfo info;
        QString error;
        QVERIFY2(ReadScriptInfo(at(u"cli.plsc"_s), info, error), qPrintable(error));
        const QStringList fields = {info.Name, info.Description, info.AboutUrl, info.Version};
        QCOMPARE(fields, QStringList({u"Tom & Jerry"_s, desc, u"http://x.org/?a=1&b"_s, u"2.1"_s}));
        QCOMPARE(info.OleFiles + info.DotNetFiles, QStringList({u"script\\lib\\Tool.dll"_s, u"loose.dll"_s}));

        // The same input through the build core the wizard drives.
        PackContents contents;
        contents.AddFolderToTree(script, -1);
        const int loose = contents.AddFileToTree(at(u"loose.dll"_s), -1);
        contents.SetChecked(PackList::Reg1, contents.findKey(u"sub-"_s + script + u"/lib/Tool.dll"_s), true);
        contents.SetChecked(PackList::Reg2, loose, true);
        clsZip zip;
        FakeBuildView view;
        PackBuild build(zip, view);
        QVERIFY(build.makePack({u"Tom & Jerry"_s,
                                desc,
                                u"http://x.org/?a=1&b"_s,
                                u"2.1"_s,
                                at(u"core.plsc"_s),
                                &contents,
                                {},
                                {}}));
        QCOMPARE(WithoutTimes(at(u"cli.plsc"_s)), WithoutTimes(at(u"core.plsc"_s)));

        // A new release from the old pack: its information and ticks carry over.
        QCOMPARE(run({u"pack"_s, u"--from"_s, at(u"cli.plsc"_s), u"--version"_s, u"2.2"_s, u"-o"_s,
                      at(u"next"_s), script, at(u"loose.dll"_s)}),
                 0);
        ScriptPackInfo next;
        QVERIFY(ReadScriptInfo(at(u"next.plsc"_s), next, error));
        const QStringList kept = {next.Name, next.Description, next.AboutUrl, next.Version};
        QCOMPARE(kept, QStringList(fields.mid(0, 3)) << u"2.2"_s);
        QCOMPARE(next.OleFiles + next.DotNetFiles, info.OleFiles + info.DotNetFiles);
    }
    // The window takes at most one thing to start from and Qt's options; the rest is the command line's.
    void windowOrCommandLine()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen"); // a display to open the window on
        const QList<std::pair<QStringList, bool>> rows = {
            {{}, false},
            {{u"Old.plsc"_s}, false},
            {{u"-platform"_s, u"offscreen"_s, u"MyScript/"_s}, false},
            {{u"pack"_s}, true},
            {{u"-V"_s}, true},
            {{u"help"_s}, true},
            {{u"one"_s, u"two"_s}, true},
        };
        for (const auto& [args, commandLine] : rows)
            QVERIFY2(IsCommandLine(QStringList(u"bundlesmith"_s) << args) == commandLine,
                     qPrintable(args.join(u' ')));
    }

    // A new release from the last one's pack takes that pack's entries for
    // files unchanged since, checked as they are taken: a damaged one is
    // packed afresh, and the log says so.
    void fromPackLendsItsEntries()
    {
        const QString old = at(u"lend-old.plsc"_s), made = at(u"lend-new.plsc"_s),
                      tool = at(u"script/lib/Tool.dll"_s);
        QFile::remove(old);
        QCOMPARE(run({u"pack"_s, u"-q"_s, u"--name"_s, u"N"_s, u"-o"_s, old, tool}), 0);
        QByteArray bytes = readAll(old);
        const qsizetype data = bytes.indexOf("Tool.dll") + 8 + 2; // into the deflated data after the name
        bytes[data] = char(bytes[data] ^ 0x10);
        writeFile(old, bytes);
        BuildLog::setMarkerFolder(at(QString()));
        BuildLog::setLogFilePath(at(u"build.log"_s));
        writeFile(at(u"makelog"_s), "");
        QCOMPARE(run({u"pack"_s, u"-q"_s, u"--force"_s, u"--from"_s, old, u"-o"_s, made, tool}), 0);
        QFile::remove(at(u"makelog"_s));
        BuildLog::setMarkerFolder({});
        QVERIFY(readAll(at(u"build.log"_s))
                    .contains("zip warning: damaged in the old archive, packed afresh: Tool.dll"));
        QCOMPARE(readArchive(made).data(u"Tool.dll"_s), readAll(tool));
    }

    // A pack's default name holds nothing Windows refuses; the progress line
    // never fills the terminal's last column.
    void namesAndLines()
    {
        QCOMPARE(DefaultPackName(u"My: \"Tool\"?"_s, u"1.0"_s), u"My_ _Tool__-1.0.plsc"_s);
        QCOMPARE(DefaultPackName(u"con"_s, QString()), u"con_.plsc"_s);
        QCOMPARE(DefaultPackName(u" . "_s, QString()), u"Script Pack.plsc"_s);
        QCOMPARE(ConsoleBuildView::Line(7, u"Adding File:  lib\\x.dll"_s, 80),
                 u"  7% Adding File:  lib\\x.dll"_s);
        QCOMPARE(ConsoleBuildView::Line(100, u"Adding File:  lib\\x.dll"_s, 16), u"100% Adding Fi\u2026"_s);
        QCOMPARE(ConsoleBuildView::Line(7, u"abcdefghijk"_s, 16), u"  7% abcdefghi\u2026"_s);
    }

    // An interrupt stops the run with the signal's code and writes nothing.
    // Last: the signal is noted for the rest of the process.
    void zInterrupted()
    {
        QFile::remove(at(u"a.plsc"_s));
        Console::CatchInterrupts();
        std::raise(SIGINT);
        QString stdOut, stdErr;
        QTextStream o(&stdOut), e(&stdErr);
        QCOMPARE(RunCommandLine(
                     {u"bundlesmith"_s, u"pack"_s, u"--name"_s, u"N"_s, u"-o"_s, at(u"a"_s), at(u"script"_s)},
                     o, e, false),
                 130);
        QVERIFY(!QFile::exists(at(u"a.plsc"_s)));
        QVERIFY(
            QDir(at(QString())).entryList({u".bundlesmith-*"_s}, QDir::AllEntries | QDir::Hidden).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_PackCommand)
#include "tst_packcommand.moc"
