// Next follows the page on show and what that page needs, whatever changed
// the input and on whichever page it changed.
#include "wizard/frmPackage.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class tst_WizardButtons : public QObject
{
    Q_OBJECT

private slots:
    void nextFollowsPageAndInputs_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("nameBefore"); // the name's length when the page is shown
        QTest::addColumn<QString>("then");   // "name:N" or "file", once it is shown
        QTest::addColumn<bool>("next");
        QTest::newRow("too long a name on arrival") << 1 << 128 << "" << false;
        QTest::newRow("welcome page ignores the name") << 0 << 5 << "name:0" << true;
        QTest::newRow("save page waits for Browse despite a name") << 5 << 0 << "name:5" << false;
        QTest::newRow("save page waits for Browse despite a file") << 5 << 5 << "file" << false;
        QTest::newRow("files page follows any added file") << 2 << 5 << "file" << true;
    }

    void nextFollowsPageAndInputs()
    {
        QFETCH(int, page);
        QFETCH(int, nameBefore);
        QFETCH(QString, then);
        frmPackage form;
        form.txtScriptName->setText(QString(nameBefore, QLatin1Char('n')));
        form.ShowPage(page);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("a.js")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (then == QLatin1String("file"))
            QVERIFY(form.AddFileToTree(file.fileName()) >= 0);
        else if (then.startsWith(QLatin1String("name:")))
            form.txtScriptName->setText(QString(then.mid(5).toInt(), QLatin1Char('n')));
        QTEST(form.cmdNext->isEnabled(), "next");
    }
};

QTEST_MAIN(tst_WizardButtons)
#include "tst_wizardbuttons.moc"
