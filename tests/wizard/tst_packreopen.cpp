// A new release started from the last one's pack, through the window: what
// the pack says comes back in the fields and ticks, and goes out again.
#include "pack/build/ScriptPackReader.h"
#include "pack/build/clsZip.h"
#include "pack/contents/PackContents.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"
#include "support/Window.h"
#include "wizard/PackReopen.h"
#include "wizard/frmPackage.h"

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_PackReopen : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString at(const QString& rel) const { return m_dir.filePath(rel); }

    // A pack holding the manifest under the entry name given.
    QString packWith(const QString& name, const QString& entry, const QByteArray& manifest)
    {
        writeFile(at(u"src/"_s + entry), manifest);
        QDir().mkpath(QFileInfo(at(name)).path());
        clsZip zip;
        zip.setZipFile(at(name));
        zip.setBasePath(at(u"src"_s));
        zip.setStoreFolderNames(true);
        zip.AddFileSpec(entry);
        zip.Zip();
        QFile::remove(at(u"src/"_s + entry));
        return at(name);
    }

private slots:
    void roundTrip()
    {
        writeFile(at(u"script/lib/Tool.dll"_s), "tool");
        writeFile(at(u"script/Net.dll"_s), "net");
        const QString old = packWith(
            u"old/Old.plsc"_s, u"ScriptInfo.xml"_s,
            "<?xml version=\"1.0\"?>\r\n<ScriptInfo xmlns=\"urn:msgplus:scripts\" Version=\"2.3\">\r\n"
            "<Information>\r\n<Name>Tom &amp; Jerry</Name>\r\n<Description>one\r\ntwo</Description>\r\n"
            "<AboutUrl>http://x.org/</AboutUrl>\r\n</Information>\r\n<OleFiles>\r\n"
            "<FileName>LIB/TOOL.DLL</FileName>\r\n</OleFiles>\r\n<DotNetFiles>\r\n"
            "<FileName>net.dll</FileName>\r\n</DotNetFiles>\r\n</ScriptInfo>\r\n");
        FakeMsgBox msg;
        FakeFileDialogs dialogs;
        frmPackage form;
        dialogs.nextOpen << QStringList{old};
        QTest::mouseClick(form.Reopen->cmdOpenPack, Qt::LeftButton);
        QVERIFY2(msg.shown.isEmpty(), qPrintable(msg.prompts().join(u'\n')));
        const QStringList fields = {form.txtScriptName->text(), form.txtScriptDesc->toPlainText(),
                                    form.txtScriptURL->text(), form.txtScriptVersion->text()};
        QCOMPARE(fields, QStringList({u"Tom & Jerry"_s, u"one\ntwo"_s, u"http://x.org/"_s, u"2.3"_s}));

        // Files that are no readable pack are refused and change nothing.
        writeFile(at(u"text.plsc"_s), "not a zip");
        for (const QString& bad :
             {at(u"text.plsc"_s), packWith(u"deep.plsc"_s, u"sub/ScriptInfo.xml"_s, "<ScriptInfo/>"),
              packWith(u"bad.plsc"_s, u"ScriptInfo.xml"_s, "<ScriptInfo><Name>x")}) {
            dialogs.nextOpen << QStringList{bad};
            QTest::mouseClick(form.Reopen->cmdOpenPack, Qt::LeftButton);
            QVERIFY(msg.prompts().last().startsWith(u"'"_s + bad + u"' is not a readable Script Pack: "_s));
            QCOMPARE(msg.shown.takeLast().style, int(MsgBox::Information));
            QCOMPARE(QStringList({form.txtScriptName->text(), form.txtScriptDesc->toPlainText(),
                                  form.txtScriptURL->text(), form.txtScriptVersion->text()}),
                     fields);
        }

        for (int page = 0; page < 2; ++page)
            QTest::mouseClick(form.cmdNext, Qt::LeftButton);
        // Opened again (as by a drop) on the files page, the name does not enable Next on an empty tree.
        form.txtScriptName->clear();
        QVERIFY(form.Reopen->StartFrom(old));
        QVERIFY(!form.cmdNext->isEnabled());
        dialogs.nextFolder << QString(at(u"script/lib"_s));
        QTest::mouseClick(form.cmdAddFolder, Qt::LeftButton);
        dialogs.nextOpen << QStringList{at(u"script/Net.dll"_s)};
        QTest::mouseClick(form.cmdAddFile, Qt::LeftButton);
        const auto state = [&](PackList list, const QString& key) {
            return form.contents->StateImage(list, form.contents->findKey(key));
        };
        const QString tool = u"sub-"_s + at(u"script/lib/Tool.dll"_s), net = at(u"script/Net.dll"_s);
        const QList<int> states = {state(PackList::Reg1, tool), state(PackList::Reg2, tool),
                                   state(PackList::Reg1, net), state(PackList::Reg2, net)};
        QCOMPARE(states, QList<int>({Checked, NoBox, NoBox, Checked}));

        for (int page = 2; page < 5; ++page)
            QTest::mouseClick(form.cmdNext, Qt::LeftButton);
        QVERIFY(!form.cmdNext->isEnabled());
        dialogs.nextSave << QString(at(u"old/New.plsc"_s));
        QTest::mouseClick(form.cmdBrowse, Qt::LeftButton);
        QCOMPARE(dialogs.saveRequests.constLast().initDir, at(u"old"_s));
        QTest::mouseClick(form.cmdNext, Qt::LeftButton);
        QCOMPARE(form.CurrentPage, 7);

        ScriptPackInfo info;
        QString error;
        QVERIFY2(ReadScriptInfo(at(u"old/New.plsc"_s), info, error), qPrintable(error));
        QCOMPARE(QStringList({info.Name, info.Description, info.AboutUrl, info.Version}), fields);
        QCOMPARE(info.OleFiles + info.DotNetFiles, QStringList({u"lib\\Tool.dll"_s, u"Net.dll"_s}));
    }

    // What starting from a pack leaves behind, and the save page's Next.
    void startAndSaveStates()
    {
        const QString withCom = packWith(u"states/com.plsc"_s, u"ScriptInfo.xml"_s,
                                         "<ScriptInfo><Information><Name>A</Name></Information><OleFiles>"
                                         "<FileName>x.dll</FileName></OleFiles></ScriptInfo>");
        const QString plain = packWith(u"states/plain.plsc"_s, u"ScriptInfo.xml"_s,
                                       "<ScriptInfo><Information><Name>B</Name></Information></ScriptInfo>");
        writeFile(at(u"states/x.dll"_s));
        Window w;
        // A second pack's registrations replace the first one's.
        QVERIFY(w.form->Reopen->StartFrom(withCom) && w.form->Reopen->StartFrom(plain));
        // A drop of several files is no request to start from the first.
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(withCom), QUrl::fromLocalFile(at(u"states/x.dll"_s))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.form.get(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.form.get(), &drop);
        QCOMPARE(w.form->txtScriptName->text(), u"B"_s);
        w.walkTo(2);
        w.addFiles({at(u"states/x.dll"_s)});
        QCOMPARE(
            w.form->contents->StateImage(PackList::Reg1, w.form->contents->findKey(at(u"states/x.dll"_s))),
            int(Unchecked));
        // Back from the save page and forward again: Browse once more before Next.
        w.walkTo(5);
        w.dialogs.nextSave << at(u"states/new.plsc"_s);
        w.click(w.form->cmdBrowse);
        QVERIFY(w.form->cmdNext->isEnabled());
        w.click(w.form->cmdBack);
        w.click(w.form->cmdNext);
        QCOMPARE(w.form->CurrentPage, qint16(5));
        QVERIFY(!w.form->cmdNext->isEnabled());
    }

    // An author's own ScriptInfo.xml added on the files page is asked about,
    // not dropped; its folder chosen on the welcome page is laid out at the root.
    void authorManifest()
    {
        const QString manifest = at(u"author/ScriptInfo.xml"_s), broken = at(u"broken/ScriptInfo.xml"_s);
        writeFile(manifest, "<ScriptInfo><Information><Name>Mine</Name><Version>3.0</Version>"
                            "<Author>Ana</Author></Information><ScriptMenu/></ScriptInfo>");
        writeFile(broken, "<ScriptInfo><Information>");
        for (const char* f : {"author/a.js", "author/lib/x.dll", "author/.git/HEAD"})
            writeFile(at(QString::fromLatin1(f)));
        Window w;
        w.form->txtScriptName->setText(u"Typed"_s);
        w.walkTo(2);
        w.msg.setNextAnswer(MsgBox::No);
        w.addFiles({manifest, broken});
        QCOMPARE(w.msg.shown.size(), 3);
        QCOMPARE(w.msg.shown[0].style, int(MsgBox::YesNo | MsgBox::Question));
        QCOMPARE(w.msg.prompts().mid(1), QStringList(2, u"Can't add a file named ScriptInfo.xml."_s));
        QCOMPARE(w.form->txtScriptName->text(), u"Typed"_s);
        w.msg.setNextAnswer(MsgBox::Yes);
        w.addFiles({manifest});
        QCOMPARE(w.msg.shown.size(), 4);
        QCOMPARE(QStringList({w.form->txtScriptName->text(), w.form->txtScriptVersion->text()}),
                 QStringList({u"Mine"_s, u"3.0"_s}));
        QVERIFY(w.form->contents->isEmpty());
        QCOMPARE(w.form->lblKept->text(), u"Also kept from ScriptInfo.xml: ScriptMenu, Author"_s);

        // From the folder: its files and folders at the root, its manifest and .git left out.
        w.click(w.form->cmdBack);
        w.click(w.form->cmdBack);
        w.dialogs.nextOpen << QStringList{manifest};
        w.click(w.form->Reopen->cmdOpenPack);
        QCOMPARE(dumpTree(w.form->tvFiles->model()), QStringList({u"a.js"_s, u"lib"_s, u"  x.dll"_s}));
        QVERIFY(w.msg.prompts().constLast().contains(u".git: version-control data is left out"_s));
        w.walkTo(5);
        w.dialogs.nextSave << at(u"author.plsc"_s);
        w.click(w.form->cmdBrowse);
        w.click(w.form->cmdNext);
        const QByteArray written = readArchive(at(u"author.plsc"_s)).data(u"ScriptInfo.xml"_s);
        QVERIFY(written.contains("<Version>3.0</Version>\r\n<Author>Ana</Author>\r\n"
                                 "</Information>\r\n<ScriptMenu/>\r\n</ScriptInfo>"));

        // The same folder added whole is asked about: Yes lays it out at the root, No under its name.
        for (const int answer : {MsgBox::Yes, MsgBox::No}) {
            Window again;
            again.walkTo(1);
            again.form->txtScriptName->setText(u"Typed"_s);
            again.walkTo(2);
            again.msg.setNextAnswer(answer);
            again.addFolder(at(u"author"_s));
            const bool yes = answer == MsgBox::Yes;
            QCOMPARE(dumpTree(again.form->tvFiles->model()).mid(0, 3),
                     yes ? QStringList({u"a.js"_s, u"lib"_s, u"  x.dll"_s})
                         : QStringList({u"author"_s, u"  a.js"_s, u"  ScriptInfo.xml"_s}));
            QCOMPARE(again.form->txtScriptName->text(), yes ? u"Mine"_s : u"Typed"_s);
        }
    }
};

QTEST_MAIN(tst_PackReopen)
#include "tst_packreopen.moc"
