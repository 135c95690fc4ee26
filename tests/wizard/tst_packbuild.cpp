// The whole job as a user does it: a real script folder through every page
// of the real window, the pack it writes checked with the tools the host's
// users would reach for, and the ways a build can end badly.
#include "pack/contents/PackContents.h"
#include "pack/contents/PackTreeModel.h"
#include "platform/Registry.h"
#include "support/FakeFileDialogs.h"
#include "support/FakeMsgBox.h"
#include "support/FakeShell.h"
#include "support/TestFiles.h"
#include "widgets/cProgressBar.h"
#include "wizard/Fonts.h"
#include "wizard/frmPackage.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QXmlStreamReader>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray run(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return p.readAllStandardOutput();
}

// What the window showed while the build ran, sampled from its own event loop.
struct Watch
{
    QSet<int> pages;
    bool cancelEnabled = true;
    QSet<QString> captions;
    int firstValue = -1;
    int lastValue = -1;
    std::function<void()> once; // run on the first file caption
};

} // namespace

class tst_PackBuild : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeMsgBox> msg;
    std::unique_ptr<FakeShell> shell;
    std::unique_ptr<FakeFileDialogs> dialogs;
    std::unique_ptr<frmPackage> form;

    QString script(const QString& rel = {}) const { return m_dir.filePath(u"Script Folder/"_s + rel); }
    QString outDir() const { return m_dir.filePath(u"out"_s); }

    void walkTo(int page)
    {
        while (form->CurrentPage < page) {
            QVERIFY2(form->cmdNext->isEnabled(), qPrintable(QString::number(form->CurrentPage)));
            QTest::mouseClick(form->cmdNext, Qt::LeftButton);
        }
    }

    void tick(QTreeView* tree, const QString& key)
    {
        auto* model = static_cast<PackTreeModel*>(tree->model());
        const int node = form->contents->findKey(key);
        QVERIFY2(node >= 0, qPrintable(key));
        QVERIFY(model->setData(model->indexOf(node), Qt::Checked, Qt::CheckStateRole));
    }

    // Fills pages 1 and 2 the way a user would: typed info, two folders, two files.
    void fillInfoAndFiles(const QString& name)
    {
        walkTo(1);
        // Typed where the test keyboard can, the rest as a paste.
        QTest::keyClicks(form->txtScriptName, name.left(1));
        form->txtScriptName->insert(name.mid(1));
        QCOMPARE(form->txtScriptName->text(), name);
        form->txtScriptDesc->setPlainText(u"Counts words.\nAnd <lines> & more."_s);
        form->txtScriptURL->setText(u"http://example.org/tool?a=1&b=2"_s);
        form->txtScriptVersion->setText(u"1.2.3"_s);
        walkTo(2);
        QVERIFY(!form->cmdNext->isEnabled());
        dialogs->setNextFolder(script(u"lib"_s));
        QTest::mouseClick(form->cmdAddFolder, Qt::LeftButton);
        dialogs->setNextFolder(script(u"images"_s));
        QTest::mouseClick(form->cmdAddFolder, Qt::LeftButton);
        dialogs->setNextFileNames({script(u"ScriptMain.js"_s), script(u"Ünïcødé.js"_s)});
        QTest::mouseClick(form->cmdAddFile, Qt::LeftButton);
        QCOMPARE(form->tvFiles->model()->rowCount(), 4);
    }

    void browse(const QString& answer)
    {
        walkTo(5);
        QVERIFY(!form->cmdNext->isEnabled());
        dialogs->setNextSaveName(answer);
        QTest::mouseClick(form->cmdBrowse, Qt::LeftButton);
        QVERIFY(form->cmdNext->isEnabled());
    }

    // Presses Next on the save page and samples the window until the build ends.
    Watch buildWatched()
    {
        Watch w;
        QTimer sampler;
        sampler.setInterval(0);
        connect(&sampler, &QTimer::timeout, this, [this, &w] {
            if (!form || !form->isBuilding())
                return;
            w.pages << form->CurrentPage;
            w.cancelEnabled = w.cancelEnabled && form->cmdCancel->isEnabled();
            w.captions << form->lblProgress->text();
            const int value = form->ProgressBars.isEmpty() ? -1 : int(form->ProgressBars.first()->Value());
            if (w.firstValue < 0)
                w.firstValue = value;
            w.lastValue = value;
            if (w.once && form->lblProgress->text().startsWith(u"Adding File:  lib"_s))
                std::exchange(w.once, nullptr)();
        });
        sampler.start();
        QTest::mouseClick(form->cmdNext, Qt::LeftButton);
        sampler.stop();
        return w;
    }

    QStringList leftovers() const { return QDir(outDir()).entryList(QDir::Files | QDir::Hidden); }

private slots:
    void initTestCase()
    {
        Fonts::RegisterWindowFonts();
        QVERIFY(m_dir.isValid());
        writeFile(script(u"ScriptMain.js"_s), "function OnEvent_Initialize() {}\n");
        writeFile(script(u"Ünïcødé.js"_s), "// é\n");
        writeFile(script(u"lib/Com Helper.dll"_s), QByteArray(20000, 'c'));
        writeFile(script(u"lib/net/Assembly.dll"_s), QByteArray(20000, 'n'));
        for (int i = 0; i < 40; ++i)
            writeFile(script(u"lib/net/data/part%1.bin"_s.arg(i)), QByteArray(4000 + i, char('a' + i % 26)));
        writeFile(script(u"images/Ärger.png"_s), QByteArray(5000, 'p'));
        QDir().mkpath(outDir());
    }

    void init()
    {
        msg = std::make_unique<FakeMsgBox>();
        shell = std::make_unique<FakeShell>();
        dialogs = std::make_unique<FakeFileDialogs>();
        form = std::make_unique<frmPackage>();
        form->ProgressPaintIntervalMs = 0; // every caption shows, for the samplers
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        for (const QString& f : leftovers())
            QFile::remove(QDir(outDir()).filePath(f));
    }

    void cleanup()
    {
        form.reset();
        dialogs.reset();
        shell.reset();
        msg.reset();
    }

    void buildsPackThroughEveryPage()
    {
        const QString name = u"Größe & <Co> \"Tool\""_s;
        fillInfoAndFiles(name);
        walkTo(3);
        tick(form->tvReg1, u"sub-"_s + script(u"lib/Com Helper.dll"_s));
        walkTo(4);
        tick(form->tvReg2, u"sub-"_s + script(u"lib/net/Assembly.dll"_s));
        browse(outDir() + u"/Größe pack"_s);
        const FileDialogs::SaveRequest asked = dialogs->saveRequests.value(0);
        QCOMPARE(asked.title, u"Save Script File"_s);
        QCOMPARE(asked.filter, u"Script Files (*.plsc)"_s);
        QCOMPARE(asked.defaultSuffix, u"plsc"_s);
        QVERIFY(asked.overwritePrompt);
        // A second Browse starts where the first one ended.
        dialogs->setNextSaveName(outDir() + u"/Größe pack"_s);
        QTest::mouseClick(form->cmdBrowse, Qt::LeftButton);
        QCOMPARE(QDir(dialogs->saveRequests.value(1).initDir), QDir(outDir()));

        const Watch w = buildWatched();
        QCOMPARE(w.pages, QSet<int>{6});
        QVERIFY(w.cancelEnabled);
        QVERIFY(w.captions.contains(u"Adding File:  ScriptMain.js"_s));
        QVERIFY(w.captions.size() > 10);
        QVERIFY(w.lastValue > w.firstValue);

        QCOMPARE(form->CurrentPage, 7);
        QCOMPARE(form->lblHooray->text(), u"Script Pack has succesfully been created."_s);
        QVERIFY(form->chkOpen->isVisibleTo(form->picPack[7]));
        QVERIFY(form->lblHooray->width() >= form->lblHooray->sizeHint().width()); // not cut off
        const QString pack = outDir() + u"/Größe pack.plsc"_s;
        QCOMPARE(form->txtPackPath->text(), pack);
        QCOMPARE(leftovers(), QStringList{u"Größe pack.plsc"_s});

        int code = -1;
        run(u"unzip"_s, {u"-tqq"_s, pack}, &code);
        QCOMPARE(code, 0);
        const QStringList stored =
            QString::fromUtf8(run(u"unzip"_s, {u"-Z1"_s, pack}, &code)).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(code, 0);
        for (const char* expected : {"ScriptInfo.xml", "ScriptMain.js", "Ünïcødé.js", "lib/Com Helper.dll",
                                     "lib/net/Assembly.dll", "lib/net/data/part39.bin", "images/Ärger.png"})
            QVERIFY2(stored.contains(QString::fromUtf8(expected)), expected);
        run(u"zipinfo"_s, {pack}, &code);
        QCOMPARE(code, 0);

        const QByteArray manifest = run(u"unzip"_s, {u"-p"_s, pack, u"ScriptInfo.xml"_s});
        const QString manifestCopy = m_dir.filePath(u"ScriptInfo.xml"_s);
        writeFile(manifestCopy, manifest);
        QCOMPARE(QProcess::execute(u"xmllint"_s, {u"--noout"_s, manifestCopy}), 0);

        // Every file the host is told to register is in the pack where the manifest says.
        QXmlStreamReader xml(manifest);
        QString section;
        QStringList registered;
        QString shownName;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"OleFiles"_s || xml.name() == u"DotNetFiles"_s)
                section = xml.name().toString();
            else if (xml.name() == u"FileName"_s)
                registered << section + u':' + xml.readElementText();
            else if (xml.name() == u"Name"_s)
                shownName = xml.readElementText();
        }
        QVERIFY(!xml.hasError());
        QCOMPARE(shownName, name);
        QCOMPARE(registered,
                 (QStringList{u"OleFiles:lib\\Com Helper.dll"_s, u"DotNetFiles:lib\\net\\Assembly.dll"_s}));
        for (const QString& entry : registered) {
            const QString inPack = entry.section(u':', 1).replace(u'\\', u'/');
            QVERIFY2(stored.contains(inPack), qPrintable(inPack));
        }

        // Finish with the box ticked hands the pack to the host.
        form->chkOpen->setChecked(true);
        QTest::mouseClick(form->cmdNext, Qt::LeftButton);
        QCOMPARE(shell->opened, QStringList{pack});
        QVERIFY(!form->isVisible());
    }

    // Stopping a build, whichever way, never costs the pack already there;
    // a "No" to the question lets the build run to the end.
    void stoppingDuringBuild_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel, answered Yes") << u"yes"_s;
        QTest::newRow("Cancel, answered No") << u"no"_s;
        QTest::newRow("window closed") << u"close"_s;
    }

    void stoppingDuringBuild()
    {
        QFETCH(QString, how);
        fillInfoAndFiles(u"Tool"_s);
        const QString pack = outDir() + u"/tool.plsc"_s;
        const QByteArray old = "yesterday's pack";
        writeFile(pack, old);
        browse(pack);

        Watch w;
        QTimer sampler;
        w.once = [&] {
            if (how == u"close"_s) {
                form->close();
                return;
            }
            msg->setNextAnswer(how == u"yes"_s ? MsgBox::Yes : MsgBox::No);
            QTest::mouseClick(form->cmdCancel, Qt::LeftButton);
        };
        sampler.setInterval(0);
        connect(&sampler, &QTimer::timeout, this, [&] {
            if (form->isBuilding() && w.once && form->lblProgress->text().startsWith(u"Adding File:  lib"_s))
                std::exchange(w.once, nullptr)();
        });
        sampler.start();
        QTest::mouseClick(form->cmdNext, Qt::LeftButton);
        sampler.stop();
        QVERIFY2(!w.once, "the build ended before it could be stopped");
        QVERIFY(!form->isBuilding());
        QCOMPARE(leftovers(), QStringList{u"tool.plsc"_s});
        if (how == u"no"_s) {
            QCOMPARE(form->lblHooray->text(), u"Script Pack has succesfully been created."_s);
            QVERIFY(readAll(pack).startsWith("PK"));
            QVERIFY(form->isVisible());
        } else {
            QCOMPARE(readAll(pack), old);
            QVERIFY(!form->isVisible());
            QCOMPARE(form->lblHooray->text(), u"There was an error creating the Script Pack."_s);
        }
        form.reset(); // the tear-down after an unwound build must not touch what it released
    }

    // The first Add Files dialog opens in the host's scripts folder, read when the window loads.
    void addFilesStartsInHostScriptsFolder()
    {
        struct HostRegistry final : RegistryReader
        {
            std::optional<QString> readString(quint32, const QString& key, const QString& value) override
            {
                if (key.endsWith(u"Messenger Plus! Live"_s) && value == u"ScriptsDir"_s)
                    return u"/host/Scripts"_s;
                return std::nullopt;
            }
        } registry;
        RegistryReader::install(&registry);
        form = std::make_unique<frmPackage>();
        RegistryReader::install(nullptr);
        QCOMPARE(form->StartFolder, u"/host/Scripts"_s);
        form->show();
        form->txtScriptName->setText(u"Tool"_s);
        walkTo(2);
        QTest::mouseClick(form->cmdAddFile, Qt::LeftButton);
        QCOMPARE(dialogs->openRequests.value(0).initDir, u"/host/Scripts"_s);
    }

    // A path that does not end in exactly ".plsc" gets it; a build that
    // cannot write says so and does not offer to open anything.
    void failedBuildSaysSo()
    {
        fillInfoAndFiles(u"Tool"_s);
        browse(m_dir.filePath(u"not there/Tool.PLSC"_s));
        QTest::mouseClick(form->cmdNext, Qt::LeftButton);
        QCOMPARE(form->txtPackPath->text(), m_dir.filePath(u"not there/Tool.PLSC.plsc"_s));
        QCOMPARE(form->CurrentPage, 7);
        QCOMPARE(form->lblHooray->text(), u"There was an error creating the Script Pack."_s);
        QVERIFY(!form->chkOpen->isVisibleTo(form->picPack[7]));
        QVERIFY(form->cmdNext->isEnabled());
        QTest::mouseClick(form->cmdNext, Qt::LeftButton);
        QVERIFY(shell->opened.isEmpty());
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"not there"_s)));
    }
};

QTEST_MAIN(tst_PackBuild)
#include "tst_packbuild.moc"
