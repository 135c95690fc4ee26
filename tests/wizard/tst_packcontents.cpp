// The pack contents through the window: its buttons, trees, menus and drops.
#include "pack/contents/PackContents.h"
#include "support/TestFiles.h"
#include "support/Window.h"

#include <QMenu>
#include <QMimeData>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::StringLiterals;

class tst_PackContents : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    std::unique_ptr<Window> w;
    QString path(const QString& rel) const { return m_tmp.filePath(rel); }

    // Clicks an item's text, away from its check box.
    void clickItem(QTreeView* view, const QString& text, Qt::MouseButton button = Qt::LeftButton)
    {
        const QModelIndex i = Window::find(view, text);
        QVERIFY2(i.isValid(), qPrintable(text));
        view->scrollTo(i);
        const QRect r = view->visualRect(i);
        QTest::mouseClick(view->viewport(), button, {}, {r.right() - 4, r.center().y()});
    }
    // Clicks an item's check box, where the list's style draws it.
    void clickBox(QTreeView* view, const QString& text)
    {
        QStyleOptionViewItem opt;
        opt.initFrom(view);
        opt.rect = view->visualRect(Window::find(view, text));
        opt.features = QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, view);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
    }
    void tickWithSpace(QTreeView* view, const QString& text)
    {
        view->setFocus();
        view->setCurrentIndex(Window::find(view, text));
        QTest::keyClick(view, Qt::Key_Space);
    }
    QStringList tree(QTreeView* view, bool states = true) const { return dumpTree(view->model(), states); }

private slots:
    void initTestCase()
    {
        for (const char* rel : {"a/one.js", "a/two.dll", "f/c.dll", "f/s/b.js", "ScriptInfo.xml"})
            writeFile(path(QString::fromLatin1(rel)));
        for (int i = 0; i < 200; ++i)
            writeFile(path(u"big/f%1.js"_s.arg(i)));
    }
    void init()
    {
        w.reset(); // the fakes' guards nest: the old window goes first
        w = std::make_unique<Window>();
        w->form->StartFolder = u"/start"_s;
        w->form->ShowPage(2);
    }
    void cleanup() { w.reset(); }

    void addThroughTheDialogs()
    {
        QVERIFY(!w->form->cmdNext->isEnabled());
        w->addFiles({path(u"a/one.js"_s), path(u"a/two.dll"_s)});
        const FileDialogs::OpenRequest r = w->dialogs.openRequests.value(0);
        QVERIFY(r.initDir == u"/start"_s && r.filter == u"All Files (*)"_s);
        QVERIFY(r.multiSelect && r.fileMustExist);
        QCOMPARE(w->form->StartFolder, path(u"a"_s));
        QVERIFY(w->form->cmdNext->isEnabled());

        w->addFolder(path(u"f"_s));
        QCOMPARE(w->dialogs.browseRequests.value(0), qMakePair(u"Add SubFolder"_s, path(u"a"_s)));
        QCOMPARE(w->form->StartFolder, path(u"f"_s));
        // Cancelled dialogs change nothing.
        w->addFiles({});
        w->addFolder({});
        QCOMPARE(w->form->StartFolder, path(u"f"_s));
        const QStringList all{u"one.js"_s, u"two.dll"_s, u"f"_s, u"  c.dll"_s, u"  s"_s, u"    b.js"_s};
        QCOMPARE(tree(w->form->tvReg2, false), all);
        QVERIFY(w->form->tvReg2->isExpanded(Window::find(w->form->tvReg2, u"s"_s)));
        for (QTreeView* view : {w->form->tvFiles, w->form->tvReg1})
            QVERIFY(view->isExpanded(Window::find(view, u"f"_s)));
        QVERIFY(w->msg.shown.isEmpty());
    }

    void removeThroughButtonAndMenus()
    {
        w->addFiles({path(u"a/one.js"_s)});
        w->addFolder(path(u"f"_s));
        QVERIFY(!w->form->cmdRemove->isEnabled());
        // Answered No: nothing goes.
        clickItem(w->form->tvFiles, u"one.js"_s);
        w->click(w->form->cmdRemove);
        QCOMPARE(w->msg.shown.value(0).prompt, u"Are you sure you want to remove the file  'one.js' ?"_s);
        QCOMPARE(w->msg.shown.value(0).style, int(MsgBox::YesNo | MsgBox::Question));
        QCOMPARE(w->form->contents->liveCount(), 5);
        // The popup of a folder removes the whole subtree from all three trees.
        clickItem(w->form->tvFiles, u"f"_s, Qt::RightButton);
        QVERIFY(w->form->mnuPopFolders->isVisible() && !w->form->mnuPopFiles->isVisible());
        w->form->mnuPopFolders->hide();
        w->msg.setNextAnswer(MsgBox::Yes);
        w->form->mnuPopFoldersRemove->trigger();
        QCOMPARE(w->msg.prompts().last(), u"Are you sure you want to remove the folder  'f' ?"_s);
        for (QTreeView* view : {w->form->tvFiles, w->form->tvReg1, w->form->tvReg2})
            QCOMPARE(tree(view, false), QStringList{u"one.js"_s});
        clickItem(w->form->tvFiles, u"one.js"_s, Qt::RightButton);
        QVERIFY(w->form->mnuPopFiles->isVisible());
        w->form->mnuPopFiles->hide();
        w->msg.setNextAnswer(MsgBox::Yes);
        w->form->mnuPopFilesRemove->trigger();
        QVERIFY(w->form->contents->isEmpty() && !w->form->cmdNext->isEnabled());
    }

    void ticksMirrorBetweenLists()
    {
        w->addFiles({path(u"a/two.dll"_s)});
        w->addFolder(path(u"f"_s));
        w->form->ShowPage(3);
        clickBox(w->form->tvReg1, u"two.dll"_s);
        // Clicks on a name or on a folder toggle nothing.
        clickItem(w->form->tvReg1, u"c.dll"_s);
        clickItem(w->form->tvReg1, u"f"_s);
        QCOMPARE(tree(w->form->tvReg2).mid(0, 3),
                 (QStringList{u"two.dll [0]"_s, u"f [0]"_s, u"  c.dll [1]"_s}));
        w->form->ShowPage(4);
        tickWithSpace(w->form->tvReg2, u"c.dll"_s);
        QCOMPARE(tree(w->form->tvReg1).mid(0, 3),
                 (QStringList{u"two.dll [2]"_s, u"f [0]"_s, u"  c.dll [0]"_s}));
        // Unticking gives the box back.
        w->form->ShowPage(3);
        tickWithSpace(w->form->tvReg1, u"two.dll"_s);
        QCOMPARE(tree(w->form->tvReg2).value(0), u"two.dll [1]"_s);
        const QModelIndex file = Window::find(w->form->tvFiles, u"two.dll"_s);
        QVERIFY(!(w->form->tvFiles->model()->flags(file) & Qt::ItemIsUserCheckable));
    }

    void dropsAddLikeTheButtons()
    {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path(u"f/c.dll"_s)), QUrl::fromLocalFile(path(u"f"_s)),
                      QUrl::fromLocalFile(path(u"ScriptInfo.xml"_s))});
        QWidget* vp = w->form->tvFiles->viewport();
        QDragEnterEvent enter({10, 10}, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(vp, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(vp, &drop);
        QCOMPARE(tree(w->form->tvFiles, false), (QStringList{u"c.dll"_s, u"f"_s, u"  s"_s, u"    b.js"_s}));
        QCOMPARE(w->msg.prompts(),
                 (QStringList{path(u"f/c.dll"_s) + u"\r\n\r\nalready exists in the file list."_s,
                              u"Can't add a file named ScriptInfo.xml."_s}));
    }

    void cancelOrCloseStopsTheWalk()
    {
        // The first yield of the walk comes before its first file: only Cancel is on.
        bool checked = false;
        QTimer::singleShot(0, w->form.get(), [&] {
            QVERIFY(!w->form->cmdAddFile->isEnabled() && !w->form->cmdAddFolder->isEnabled());
            QVERIFY(!w->form->cmdNext->isEnabled() && !w->form->cmdBack->isEnabled());
            QVERIFY(w->form->cmdCancel->isEnabled());
            checked = true;
            w->msg.setNextAnswer(MsgBox::Yes);
            w->click(w->form->cmdCancel);
        });
        w->addFolder(path(u"big"_s));
        QVERIFY(checked && w->form->CancelRequested && !w->form->isVisible());
        QVERIFY(w->form->contents->FileCount() < 200);
        // Closing from the title bar stops a walk the same way; then the page works again.
        init();
        QTimer::singleShot(0, w->form.get(), [&] { w->form->close(); });
        w->addFolder(path(u"big"_s));
        QVERIFY(w->form->contents->FileCount() < 200);
        QVERIFY(w->form->cmdAddFile->isEnabled() && w->form->cmdBack->isEnabled());
    }
};

QTEST_MAIN(tst_PackContents)
#include "tst_packcontents.moc"
