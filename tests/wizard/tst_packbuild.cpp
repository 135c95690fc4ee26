// The whole job as a user does it: a real script folder through every page of the
// window, the pack it writes, and the ways a build can end badly.
#include "pack/contents/PackContents.h"
#include "pack/contents/PackTreeModel.h"
#include "platform/Registry.h"
#include "support/TestFiles.h"
#include "support/Window.h"
#include "widgets/cProgressBar.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

using namespace Qt::StringLiterals;

class tst_PackBuild : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Window> w;
    QString script(const QString& rel) const { return m_dir.filePath(u"Script Folder/"_s + rel); }
    QString outDir() const { return m_dir.filePath(u"out"_s); }
    QStringList leftovers() const { return QDir(outDir()).entryList(QDir::Files | QDir::Hidden); }

    void tick(QTreeView* tree, const QString& file)
    {
        auto* model = static_cast<PackTreeModel*>(tree->model());
        QVERIFY(model->setData(model->indexOf(w->form->contents->findKey(u"sub-"_s + script(file))),
                               Qt::Checked, Qt::CheckStateRole));
    }

    // Fills in the script's information, two folders and two files, registrations if asked, and a target.
    void fillIn(const QString& name, const QString& target, bool registrations = false)
    {
        w->walkTo(1);
        QTest::keyClicks(w->form->txtScriptName, name.left(1)); // the rest as a paste
        w->form->txtScriptName->insert(name.mid(1));
        w->form->txtScriptDesc->setPlainText(u"Counts words.\nAnd <lines> & more."_s);
        w->form->txtScriptVersion->setText(u"1.2.3"_s);
        w->walkTo(2);
        w->addFolder(script(u"lib"_s));
        w->addFolder(script(u"images"_s));
        w->addFiles({script(u"ScriptMain.js"_s), script(u"Ünïcødé.js"_s)});
        w->walkTo(3);
        if (registrations)
            tick(w->form->tvReg1, u"lib/Com Helper.dll"_s);
        w->walkTo(4);
        if (registrations)
            tick(w->form->tvReg2, u"lib/net/Assembly.dll"_s);
        w->walkTo(5);
        QVERIFY(!w->form->cmdNext->isEnabled());
        w->dialogs.nextSave << target;
        w->click(w->form->cmdBrowse);
        QVERIFY(w->form->cmdNext->isEnabled());
    }

    // Presses Next on the save page, runs `during` once the build is in the lib folder,
    // and returns what the window showed while the build ran.
    QSet<QString> build(const std::function<void()>& during = {})
    {
        QSet<QString> seen;
        bool ran = false;
        QList<int> values;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            if (!w->form || !w->form->isBuilding())
                return;
            seen << u"page %1"_s.arg(w->form->CurrentPage) << w->form->lblProgress->text();
            seen << (w->form->cmdCancel->isEnabled() ? u"Cancel on"_s : u"Cancel off"_s);
            values << int(w->form->ProgressBars.first()->Value());
            if (during && !ran && w->form->lblProgress->text().startsWith(u"Adding File:  lib"_s)) {
                ran = true;
                during();
            }
        });
        sampler.start(0);
        w->click(w->form->cmdNext);
        if (!values.isEmpty() && values.last() > values.first())
            seen << u"bar moved"_s;
        if (during && !ran)
            seen << u"ended before it could be stopped"_s;
        return seen;
    }

private slots:
    void initTestCase()
    {
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
        w = std::make_unique<Window>();
        w->form->ProgressPaintIntervalMs = 0; // every caption shows, for the sampler
        for (const QString& f : leftovers())
            QFile::remove(QDir(outDir()).filePath(f));
    }
    void cleanup() { w.reset(); }

    void buildsPackThroughEveryPage()
    {
        const QString name = u"Größe & <Co>"_s, pack = outDir() + u"/Größe pack.plsc"_s;
        fillIn(name, outDir() + u"/Größe pack"_s, true);
        const FileDialogs::SaveRequest asked = w->dialogs.saveRequests.value(0);
        QVERIFY(asked.filter == u"Script Files (*.plsc)"_s && asked.defaultSuffix == u"plsc"_s);
        QVERIFY(asked.overwritePrompt);
        // A second Browse starts where the first one ended.
        w->dialogs.nextSave << outDir() + u"/Größe pack"_s;
        w->click(w->form->cmdBrowse);
        QCOMPARE(QDir(w->dialogs.saveRequests.value(1).initDir), QDir(outDir()));

        const QSet<QString> seen = build();
        for (const QString& s :
             {u"page 6"_s, u"Cancel on"_s, u"Adding File:  ScriptMain.js"_s, u"bar moved"_s})
            QVERIFY2(seen.contains(s), qPrintable(s));
        QVERIFY(!seen.contains(u"Cancel off"_s) && !seen.contains(u"page 5"_s));
        QCOMPARE(w->form->CurrentPage, 7);
        QCOMPARE(w->form->lblHooray->text(), u"Script Pack has succesfully been created."_s);
        QVERIFY(w->form->chkOpen->isVisibleTo(w->form->picPack[7]));
        QCOMPARE(w->form->txtPackPath->text(), pack);
        QCOMPARE(leftovers(), QStringList{u"Größe pack.plsc"_s});

        QCOMPARE(QProcess::execute(u"unzip"_s, {u"-tqq"_s, pack}), 0);
        const Archive a = readArchive(pack);
        for (const char* entry : {"ScriptInfo.xml", "ScriptMain.js", "Ünïcødé.js", "lib/Com Helper.dll",
                                  "lib/net/Assembly.dll", "lib/net/data/part39.bin", "images/Ärger.png"})
            QVERIFY2(a.names.contains(QString::fromUtf8(entry)), entry);
        // What was typed and ticked reached the manifest (its form is the build's own tests' concern).
        const QString xml = QString::fromUtf8(a.data(u"ScriptInfo.xml"_s));
        for (const QString& s : {u"Version=\"1.2.3\""_s, u"<Name>Größe &amp; &lt;Co&gt;</Name>"_s,
                                 u"<OleFiles>\r\n<FileName>lib\\Com Helper.dll</FileName>"_s,
                                 u"<DotNetFiles>\r\n<FileName>lib\\net\\Assembly.dll</FileName>"_s})
            QVERIFY2(xml.contains(s), qPrintable(s));

        // Finish with the box ticked hands the pack to the host.
        w->form->chkOpen->setChecked(true);
        w->click(w->form->cmdNext);
        QCOMPARE(w->shell.opened, QStringList{pack});
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
        const QString pack = outDir() + u"/tool.plsc"_s;
        fillIn(u"Tool"_s, pack);
        writeFile(pack, "yesterday's pack");
        const QSet<QString> seen = build([&] {
            if (how == u"close"_s)
                return (void)w->form->close();
            w->msg.setNextAnswer(how == u"yes"_s ? MsgBox::Yes : MsgBox::No);
            w->click(w->form->cmdCancel);
        });
        QVERIFY(!seen.contains(u"ended before it could be stopped"_s));
        QVERIFY(!w->form->isBuilding());
        QCOMPARE(leftovers(), QStringList{u"tool.plsc"_s});
        QCOMPARE(readAll(pack) == "yesterday's pack", how != u"no"_s);
        QCOMPARE(w->form->isVisible(), how == u"no"_s);
        QCOMPARE(w->form->lblHooray->text(), how == u"no"_s
                                                 ? u"Script Pack has succesfully been created."_s
                                                 : u"There was an error creating the Script Pack."_s);
        w->form.reset(); // the tear-down after an unwound build must not touch what it released
    }

    // The host's scripts folder is read when the window loads.
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
        ScopedSeam<RegistryReader> seam(&registry);
        QCOMPARE(frmPackage().StartFolder, u"/host/Scripts"_s); // where the first Add Files dialog opens
    }

    // A path that does not end in exactly ".plsc" gets it; a build that cannot write says
    // so, creates no folder and does not offer to open anything.
    void failedBuildSaysSo()
    {
        fillIn(u"Tool"_s, m_dir.filePath(u"not there/Tool.PLSC"_s));
        w->click(w->form->cmdNext);
        QCOMPARE(w->form->txtPackPath->text(), m_dir.filePath(u"not there/Tool.PLSC.plsc"_s));
        QCOMPARE(w->form->CurrentPage, 7);
        QCOMPARE(w->form->lblHooray->text(), u"There was an error creating the Script Pack."_s);
        QVERIFY(!w->form->chkOpen->isVisibleTo(w->form->picPack[7]));
        w->click(w->form->cmdNext);
        QVERIFY(w->shell.opened.isEmpty());
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"not there"_s)));
    }
};

QTEST_MAIN(tst_PackBuild)
#include "tst_packbuild.moc"
