#include "support/Fakes.h"
#include "widgets/clsCommonDialog.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_clsCommonDialog : public QObject
{
    Q_OBJECT

private slots:
    // Whatever the dialog returns comes back whole through the packed file-name text.
    void chosenFilesComeBackWhole_data()
    {
        QTest::addColumn<QStringList>("chosen");
        QTest::newRow("several of one folder") << QStringList{u"/s/a.js"_s, u"/s/b.js"_s, u"/s/c.js"_s};
        QTest::newRow("at the root, and another folder") << QStringList{u"/a.js"_s, u"/b.js"_s, u"/x/c.js"_s};
        QTest::newRow("one file") << QStringList{u"/s/only.js"_s};
        QTest::newRow("cancelled") << QStringList();
    }

    void chosenFilesComeBackWhole()
    {
        QFETCH(QStringList, chosen);
        FakeFileDialogs fake;
        fake.nextOpen << chosen;
        clsCommonDialog dlg;
        QString filename, title, filter = u"All Files (*.*)|*.*"_s;
        bool readOnly = false;
        long index = 1, flags = 0x80000;
        QCOMPARE(dlg.VBGetOpenFileName(filename, title, true, true, readOnly, true, filter, index, u"/s"_s,
                                       u"t"_s, QString(), nullptr, flags),
                 !chosen.isEmpty());
        QCOMPARE(clsCommonDialog::SplitFileNames(filename), chosen);
    }
};

QTEST_MAIN(tst_clsCommonDialog)
#include "tst_clscommondialog.moc"
