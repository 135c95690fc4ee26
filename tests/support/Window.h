#pragma once

#include "support/Fakes.h"
#include "support/TreeDump.h"
#include "wizard/frmPackage.h"

#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <memory>

// The wizard window, shown, with its message boxes, dialogs and shell answered here.
struct Window
{
    FakeMsgBox msg;
    FakeFileDialogs dialogs;
    FakeShell shell;
    std::unique_ptr<frmPackage> form = std::make_unique<frmPackage>();

    Window()
    {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void walkTo(int page)
    {
        while (form->CurrentPage < page && form->cmdNext->isEnabled())
            click(form->cmdNext);
        QCOMPARE(form->CurrentPage, page);
    }
    void addFiles(const QStringList& paths)
    {
        dialogs.nextOpen << paths;
        click(form->cmdAddFile);
    }
    void addFolder(const QString& folder)
    {
        dialogs.nextFolder << folder;
        click(form->cmdAddFolder);
    }
    static QModelIndex find(QTreeView* view, const QString& text)
    {
        return view->model()
            ->match(view->model()->index(0, 0), Qt::DisplayRole, text, 1,
                    Qt::MatchExactly | Qt::MatchRecursive)
            .value(0);
    }
};
