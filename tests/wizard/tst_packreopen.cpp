// A new release started from the last one's pack, through the window: what
// the pack says comes back in the fields and ticks, and goes out again.
#include "pack/build/ScriptPackReader.h"
#include "pack/build/clsZip.h"
#include "pack/contents/PackContents.h"
#include "support/FakeFileDialogs.h"
#include "support/FakeMsgBox.h"
#include "support/TestFiles.h"
#include "wizard/PackReopen.h"
#include "wizard/frmPackage.h"

#include <QLineEdit>
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

    // A pack holding the manifest under entry (relative to the manifest's folder).
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
    void unreadablePackChangesNothing_data()
    {
        QTest::addColumn<QString>("pack");
        writeFile(at(u"text.plsc"_s), "not a zip");
        QTest::newRow("not a zip") << at(u"text.plsc"_s);
        QTest::newRow("manifest in a folder")
            << packWith(u"deep.plsc"_s, u"sub/ScriptInfo.xml"_s, "<ScriptInfo/>");
        QTest::newRow("not well-formed")
            << packWith(u"bad.plsc"_s, u"ScriptInfo.xml"_s, "<ScriptInfo><Name>x");
    }

    void unreadablePackChangesNothing()
    {
        QFETCH(QString, pack);
        FakeMsgBox msg;
        FakeFileDialogs dialogs;
        frmPackage form;
        dialogs.setNextFileNames({pack});
        QTest::mouseClick(form.Reopen->cmdOpenPack, Qt::LeftButton);
        QCOMPARE(msg.shown.size(), 1);
        QCOMPARE(msg.shown[0].style, int(MsgBox::Information));
        QVERIFY(msg.lastPrompt().startsWith(u"'"_s + pack + u"' is not a readable Script Pack: "_s));
        QCOMPARE(form.txtScriptVersion->text(), u"1.0"_s);
        QVERIFY(form.SaveFolder.isEmpty());
    }

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
        dialogs.setNextFileNames({old});
        QTest::mouseClick(form.Reopen->cmdOpenPack, Qt::LeftButton);
        QVERIFY2(msg.shown.isEmpty(), qPrintable(msg.lastPrompt()));
        QCOMPARE(form.txtScriptName->text(), u"Tom & Jerry"_s);
        QCOMPARE(form.txtScriptDesc->toPlainText(), u"one\ntwo"_s);
        QCOMPARE(form.txtScriptURL->text(), u"http://x.org/"_s);
        QCOMPARE(form.txtScriptVersion->text(), u"2.3"_s);

        for (int page = 0; page < 2; ++page)
            QTest::mouseClick(form.cmdNext, Qt::LeftButton);
        dialogs.setNextFolder(at(u"script/lib"_s));
        QTest::mouseClick(form.cmdAddFolder, Qt::LeftButton);
        dialogs.setNextFileNames({at(u"script/Net.dll"_s)});
        QTest::mouseClick(form.cmdAddFile, Qt::LeftButton);
        const int tool = form.contents->findKey(u"sub-"_s + at(u"script/lib/Tool.dll"_s));
        const int net = form.contents->findKey(at(u"script/Net.dll"_s));
        QCOMPARE(form.contents->StateImage(PackList::Reg1, tool), int(Checked));
        QCOMPARE(form.contents->StateImage(PackList::Reg2, tool), int(NoBox));
        QCOMPARE(form.contents->StateImage(PackList::Reg2, net), int(Checked));
        QCOMPARE(form.contents->StateImage(PackList::Reg1, net), int(NoBox));

        for (int page = 2; page < 5; ++page)
            QTest::mouseClick(form.cmdNext, Qt::LeftButton);
        QVERIFY(!form.cmdNext->isEnabled());
        dialogs.setNextSaveName(at(u"old/New.plsc"_s));
        QTest::mouseClick(form.cmdBrowse, Qt::LeftButton);
        QCOMPARE(dialogs.saveRequests.constLast().initDir, at(u"old"_s));
        QTest::mouseClick(form.cmdNext, Qt::LeftButton);
        QCOMPARE(form.CurrentPage, 7);

        ScriptPackInfo info;
        QString error;
        QVERIFY2(ReadScriptPack(at(u"old/New.plsc"_s), info, error), qPrintable(error));
        QCOMPARE(info.Name, u"Tom & Jerry"_s);
        QCOMPARE(info.Description, u"one\ntwo"_s);
        QCOMPARE(info.Version, u"2.3"_s);
        QCOMPARE(info.OleFiles, QStringList{u"lib\\Tool.dll"_s});
        QCOMPARE(info.DotNetFiles, QStringList{u"Net.dll"_s});
    }
};

QTEST_MAIN(tst_PackReopen)
#include "tst_packreopen.moc"
