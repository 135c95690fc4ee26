// What the user is told: the names a folder walk left out, in one message,
// and why a build failed, on the finish page.
#include "pack/contents/PackContents.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"
#include "wizard/frmPackage.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace Qt::StringLiterals;

class tst_SkippedNames : public QObject
{
    Q_OBJECT

private slots:
    void skippedNamesThenFailureReason()
    {
        QTemporaryDir dir;
        for (const char* name :
             {"top/ok.js", "top/CON.js", "top/a*.js", "top/sub./f.js", "top/sub/A.js", "top/sub/a.js"})
            writeFile(dir.filePath(QString::fromUtf8(name)));
        FakeMsgBox msg;
        FakeShell shell;
        FakeFileDialogs dialogs;
        frmPackage form;
        form.show();

        for (QPushButton* next = form.cmdNext; form.CurrentPage < 2; QTest::mouseClick(next, Qt::LeftButton))
            form.txtScriptName->setText(u"Tool"_s);
        dialogs.nextFolder << dir.filePath(u"top"_s);
        QTest::mouseClick(form.cmdAddFolder, Qt::LeftButton);

        QCOMPARE(msg.shown.size(), 1);
        QCOMPARE(msg.shown[0].style, 64);
        QCOMPARE(msg.shown[0].title, u"Bundlesmith"_s);
        const QString text = msg.shown[0].prompt;
        for (const QString& name : {u"top/CON.js"_s, u"top/a*.js"_s, u"top/sub."_s})
            QVERIFY2(text.contains(name + u": "_s), qPrintable(QString(text).replace(u"\r\n"_s, u" | "_s)));
        QVERIFY(!text.contains(u"ok.js"_s));
        QVERIFY(text.contains(u"only in case"_s)); // one of sub/A.js and sub/a.js stays
        QCOMPARE(form.contents->FileCount(), 2);

        // A read-only pack at the target: the finish page says so under the error text.
        const QString pack = dir.filePath(u"p.plsc"_s);
        writeFile(pack, "old");
        QFile::setPermissions(pack, QFile::ReadOwner);
        while (form.CurrentPage < 5)
            QTest::mouseClick(form.cmdNext, Qt::LeftButton);
        form.txtPackPath->setText(pack);
        form.cmdNext->setEnabled(true);
        QTest::mouseClick(form.cmdNext, Qt::LeftButton);
        QCOMPARE(form.CurrentPage, 7);
        QCOMPARE(form.lblHooray->text(), u"There was an error creating the Script Pack."_s);
        auto* reason = form.findChild<QLabel*>(u"lblReason"_s);
        QVERIFY(reason && reason->isVisible());
        QCOMPARE(reason->text(), u"The Script Pack '%1' is read-only."_s.arg(pack));
        QCOMPARE(readAll(pack), QByteArray("old"));
        // Enter after a failure goes back to the save page with all the work, not out of the wizard.
        QApplication::setActiveWindow(&form);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(form.CurrentPage, 5);
        QVERIFY(form.isVisible());
        QCOMPARE(form.contents->FileCount(), 2);
    }
};

QTEST_MAIN(tst_SkippedNames)
#include "tst_skippednames.moc"
