#include "support/FakeFileDialogs.h"
#include "widgets/clsCommonDialog.h"

#include <QTest>

class tst_clsCommonDialog : public QObject
{
    Q_OBJECT

private slots:
    void openDialogResults()
    {
        FakeFileDialogs fake;
        clsCommonDialog dlg;
        QString filename, title;
        bool readOnly = false;
        QString filter = QStringLiteral("All Files (*.*)|*.*");
        long index = 1;
        long flags = 0x80000 | 0x20 | 0x40;

        // Several files of one folder: the folder, then the names, NUL-separated.
        fake.setNextFileNames({"/s/a.js", "/s/b.js", "/s/c.js"});
        QVERIFY(dlg.VBGetOpenFileName(filename, title, true, true, readOnly, true, filter, index, "/s",
                                      "Choose Script Files", QString(), nullptr, flags));
        QCOMPARE(filename.split(QChar(0)), QStringList({"/s", "a.js", "b.js", "c.js"}));
        QCOMPARE(clsCommonDialog::SplitFileNames(filename), QStringList({"/s/a.js", "/s/b.js", "/s/c.js"}));
        QCOMPARE(flags, 0x80000L | 0x200 | 0x4 | 0x1000); // hook bits dropped
        QCOMPARE(filter, QStringLiteral("All Files (*.*)") + QChar(0) + QStringLiteral("*.*"));
        QCOMPARE(index, 1L);
        QCOMPARE(dlg.APIReturn(), 1L);
        const FileDialogs::OpenRequest& r = fake.openRequests.constLast();
        QCOMPARE(r.filter, QStringLiteral("All Files (*)"));
        QCOMPARE(r.initDir, QStringLiteral("/s"));
        QCOMPARE(r.title, QStringLiteral("Choose Script Files"));
        QVERIFY(r.multiSelect && r.fileMustExist);

        // Files at the root, and one from another folder: nothing is lost on the way.
        fake.setNextFileNames({"/a.js", "/b.js", "/x/c.js"});
        QVERIFY(dlg.VBGetOpenFileName(filename, title, true, true, readOnly, true, filter, index, "/", "t",
                                      QString(), nullptr, flags));
        QCOMPARE(clsCommonDialog::SplitFileNames(filename), QStringList({"/a.js", "/b.js", "/x/c.js"}));
        QCOMPARE(dlg.FileNames(), QStringList({"/a.js", "/b.js", "/x/c.js"}));

        // One file: its full path and its title.
        fake.setNextFileNames({"/s/only.js"});
        QVERIFY(dlg.VBGetOpenFileName(filename, title, true, true, readOnly, true, filter, index, "/s", "t",
                                      QString(), nullptr, flags));
        QCOMPARE(filename, QStringLiteral("/s/only.js"));
        QCOMPARE(title, QStringLiteral("only.js"));
        QCOMPARE(clsCommonDialog::SplitFileNames(filename), QStringList({"/s/only.js"}));

        // Cancelled: everything cleared, filter index -1.
        filter = QStringLiteral("All Files (*.*)|*.*");
        QVERIFY(!dlg.VBGetOpenFileName(filename, title, true, true, readOnly, true, filter, index, "/s", "t",
                                       QString(), nullptr, flags));
        QVERIFY(filename.isEmpty() && title.isEmpty() && filter.isEmpty());
        QCOMPARE(flags, 0L);
        QCOMPARE(index, -1L);
        QCOMPARE(dlg.APIReturn(), 0L);
        QCOMPARE(dlg.ExtendedError(), 0L);
    }

    void saveDialogResults()
    {
        FakeFileDialogs fake;
        clsCommonDialog dlg;
        QString filename, title;
        QString filter = QStringLiteral("Script Files (*.plsc)|*.plsc|All Files (*.*)|*.*");
        long index = 2;
        long flags = 0;
        fake.setNextSaveName("/out/pack.plsc");
        QVERIFY(dlg.VBGetSaveFileName(filename, title, true, filter, index, "/out", "Save", "plsc", nullptr,
                                      flags));
        QCOMPARE(filename, QStringLiteral("/out/pack.plsc"));
        QCOMPARE(title, QStringLiteral("pack.plsc"));
        QCOMPARE(flags, 0x2L | 0x4);
        QCOMPARE(filter, QStringLiteral("All Files (*.*)") + QChar(0) + QStringLiteral("*.*"));
        const FileDialogs::SaveRequest& r = fake.saveRequests.constLast();
        QCOMPARE(r.filter, QStringLiteral("Script Files (*.plsc);;All Files (*)"));
        QCOMPARE(r.defaultSuffix, QStringLiteral("plsc"));
        QVERIFY(r.overwritePrompt);

        filter = QStringLiteral("Script Files (*.plsc)|*.plsc");
        QVERIFY(!dlg.VBGetSaveFileName(filename, title, false, filter, index, "/out", "Save", "plsc", nullptr,
                                       flags));
        QVERIFY(filename.isEmpty() && title.isEmpty() && filter.isEmpty());
        QCOMPARE(index, 0L);
        QCOMPARE(flags, 0L);
        QVERIFY(!fake.saveRequests.constLast().overwritePrompt);
    }

    void filtersAndFolders()
    {
        QCOMPARE(clsCommonDialog::ToQtFilter("Scripts (*.js;*.vbs)|*.js;*.vbs"),
                 QStringLiteral("Scripts (*.js *.vbs)"));
        QCOMPARE(clsCommonDialog::ToQtFilter("Plain|*.txt"), QStringLiteral("Plain (*.txt)"));
        QCOMPARE(clsCommonDialog::GetFilterEntry("A|*.a|B|*.b", 2), QStringLiteral("B") + QChar(0) + "*.b");
        QCOMPARE(clsCommonDialog::GetFilterEntry(QString(), 1), QString());
        QCOMPARE(clsCommonDialog::GetFilterEntry("A|*.a", 3), QString());

        FakeFileDialogs fake;
        clsCommonDialog dlg;
        fake.setNextFolder("/chosen");
        QCOMPARE(dlg.BrowseFolder(nullptr, "/start"), QStringLiteral("/chosen"));
        QCOMPARE(dlg.BrowseFolder(nullptr, QString()), QString());
        QCOMPARE(fake.browseRequests[0],
                 qMakePair(QStringLiteral("Add SubFolder"), QStringLiteral("/start")));
        QCOMPARE(fake.browseRequests[1].second, QString());
    }
};

QTEST_MAIN(tst_clsCommonDialog)
#include "tst_clscommondialog.moc"
