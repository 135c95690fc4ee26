// Next follows the page on show and that page's own rule, whatever changed an
// input and on whichever page it changed.
#include "wizard/frmPackage.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTest>

class tst_WizardButtons : public QObject
{
    Q_OBJECT

private slots:
    void nextFollowsPageRule_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("nameBefore"); // the name's length as the page is shown
        QTest::addColumn<int>("nameAfter");  // and once it is on show (-1: untouched)
        QTest::addColumn<bool>("addFile");   // a file added once it is on show
        QTest::addColumn<bool>("next");
        QTest::newRow("too long a name on arrival") << 1 << 128 << -1 << false << false;
        QTest::newRow("welcome page ignores the name") << 0 << 5 << 0 << false << true;
        QTest::newRow("save page waits for Browse despite a name") << 5 << 0 << 5 << false << false;
        QTest::newRow("save page waits for Browse despite a file") << 5 << 5 << -1 << true << false;
        QTest::newRow("files page follows any added file") << 2 << 5 << -1 << true << true;
    }

    void nextFollowsPageRule()
    {
        QFETCH(int, nameBefore);
        QFETCH(int, nameAfter);
        frmPackage form;
        form.txtScriptName->setText(QString(nameBefore, QLatin1Char('n')));
        QFETCH(int, page);
        form.ShowPage(page);
        if (nameAfter >= 0)
            form.txtScriptName->setText(QString(nameAfter, QLatin1Char('n')));
        QTemporaryFile file;
        QFETCH(bool, addFile);
        if (addFile)
            QVERIFY(file.open() && form.AddFileToTree(file.fileName()) >= 0);
        QTEST(form.cmdNext->isEnabled(), "next");
    }
};

QTEST_MAIN(tst_WizardButtons)
#include "tst_wizardbuttons.moc"
