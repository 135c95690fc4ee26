// The pack contents driven through the wizard window: its buttons, trees,
// menus and drops, with the dialogs and message boxes answered here.
#include "pack/contents/PackContents.h"
#include "pack/contents/PackTreeModel.h"
#include "support/FakeFileDialogs.h"
#include "support/FakeMsgBox.h"
#include "wizard/PackIcons.h"
#include "wizard/frmPackage.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <memory>

namespace {

void Touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

// One line per row, indented by depth: "name" in the files tree,
// "name [s]" with the state image s in a registration list.
void Dump(const QAbstractItemModel* model, const QModelIndex& parent, int depth, QStringList& out,
          bool states)
{
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex i = model->index(r, 0, parent);
        QString line = QString(depth * 2, QLatin1Char(' ')) + i.data().toString();
        if (states) {
            const QVariant s = i.data(Qt::CheckStateRole);
            line += s.isValid() ? (s.toInt() == Qt::Checked ? QStringLiteral(" [2]") : QStringLiteral(" [1]"))
                                : QStringLiteral(" [0]");
        }
        out << line;
        Dump(model, i, depth + 1, out, states);
    }
}

QStringList Dump(QTreeView* view, bool states = false)
{
    QStringList out;
    Dump(view->model(), {}, 0, out, states);
    return out;
}

QModelIndex Find(QTreeView* view, const QString& text)
{
    const QModelIndexList hits = view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, text, 1,
                                                      Qt::MatchExactly | Qt::MatchRecursive);
    return hits.value(0);
}

QPoint CheckBoxPoint(QTreeView* view, const QModelIndex& index)
{
    QStyleOptionViewItem opt;
    opt.initFrom(view->viewport());
    opt.rect = view->visualRect(index);
    opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay |
                   QStyleOptionViewItem::HasDecoration;
    opt.text = index.data().toString();
    opt.decorationSize = view->iconSize();
    return view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, view).center();
}

QPoint TextPoint(QTreeView* view, const QModelIndex& index)
{
    const QRect r = view->visualRect(index);
    return QPoint(r.right() - 4, r.center().y());
}

} // namespace

class tst_PackContents : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    std::unique_ptr<FakeMsgBox> msg;
    std::unique_ptr<FakeFileDialogs> dialogs;
    std::unique_ptr<frmPackage> form;

    QString path(const QString& rel) const { return tmp->path() + QLatin1Char('/') + rel; }

    void addFiles(const QStringList& paths)
    {
        dialogs->setNextFileNames(paths);
        QTest::mouseClick(form->cmdAddFile, Qt::LeftButton);
    }
    void addFolder(const QString& folder)
    {
        dialogs->setNextFolder(folder);
        QTest::mouseClick(form->cmdAddFolder, Qt::LeftButton);
    }
    void selectInFiles(const QString& text, Qt::MouseButton button = Qt::LeftButton)
    {
        const QModelIndex i = Find(form->tvFiles, text);
        QVERIFY2(i.isValid(), qPrintable(text));
        form->tvFiles->scrollTo(i);
        QTest::mouseClick(form->tvFiles->viewport(), button, {}, TextPoint(form->tvFiles, i));
    }
    void clickBox(QTreeView* view, const QString& text)
    {
        const QModelIndex i = Find(view, text);
        QVERIFY2(i.isValid(), qPrintable(text));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CheckBoxPoint(view, i));
    }
    void checkAllTrees(const QStringList& files, const QStringList& reg1, const QStringList& reg2)
    {
        QCOMPARE(Dump(form->tvFiles), files);
        QCOMPARE(Dump(form->tvReg1, true), reg1);
        QCOMPARE(Dump(form->tvReg2, true), reg2);
    }

private slots:
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        msg = std::make_unique<FakeMsgBox>();
        dialogs = std::make_unique<FakeFileDialogs>();
        form = std::make_unique<frmPackage>();
        form->StartFolder = QStringLiteral("/start");
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->ShowPage(2);
    }

    void cleanup()
    {
        form.reset();
        dialogs.reset();
        msg.reset();
        tmp.reset();
    }

    void addFilesThroughDialog()
    {
        QVERIFY(!form->cmdNext->isEnabled());
        Touch(path("a/one.js"));
        Touch(path("a/two.dll"));
        Touch(path("a/three.txt"));
        addFiles({path("a/one.js"), path("a/two.dll"), path("a/three.txt")});

        QCOMPARE(dialogs->openRequests.size(), 1);
        const FileDialogs::OpenRequest& r = dialogs->openRequests.constFirst();
        QCOMPARE(r.title, QStringLiteral("Choose Script Files"));
        QCOMPARE(r.filter, QStringLiteral("All Files (*)"));
        QCOMPARE(r.initDir, QStringLiteral("/start"));
        QVERIFY(r.multiSelect);
        QVERIFY(r.fileMustExist);
        QCOMPARE(form->StartFolder, path("a"));
        checkAllTrees({"one.js", "two.dll", "three.txt"}, {"one.js [1]", "two.dll [1]", "three.txt [1]"},
                      {"one.js [1]", "two.dll [1]", "three.txt [1]"});
        QCOMPARE(form->contents->FileCount(), 3);
        QVERIFY(form->cmdNext->isEnabled());
        QVERIFY(msg->shown.isEmpty());
        const PackNode& n = form->contents->node(0);
        QCOMPARE(n.Key, path("a/one.js"));
        QCOMPARE(n.Tag, path("a/one.js"));
        QCOMPARE(n.Kind, PackNodeKind::LooseFile);

        // A cancelled dialog adds nothing and leaves StartFolder alone.
        addFiles({});
        QCOMPARE(form->contents->liveCount(), 3);
        QCOMPARE(form->StartFolder, path("a"));
    }

    void fileRefusals()
    {
        Touch(path("a/x.js"));
        Touch(path("b/X.JS"));
        Touch(path("b/SCRIPTINFO.XML"));
        Touch(path("b/ok.js"));
        Touch(path("lib/inner.js"));
        Touch(path("other/lib"));

        // Refusals do not stop the rest of the selection, which keeps the dialog's order.
        addFiles({path("b/SCRIPTINFO.XML"), path("a/x.js"), path("b/X.JS"), path("a/x.js"), path("b/ok.js")});
        QCOMPARE(Dump(form->tvFiles), QStringList({"x.js", "ok.js"}));
        QCOMPARE(msg->shown.size(), 3);
        QCOMPARE(msg->shown[0].prompt, QStringLiteral("Can't add a file named ScriptInfo.xml."));
        QCOMPARE(msg->shown[1].prompt,
                 QStringLiteral("A file called 'X.JS' already exists in the file list."));
        QCOMPARE(msg->shown[2].prompt,
                 path("a/x.js") + QStringLiteral("\r\n\r\nalready exists in the file list."));
        for (const auto& s : std::as_const(msg->shown)) {
            QCOMPARE(s.style, int(MsgBox::Information));
            QCOMPARE(s.title, QStringLiteral("Bundlesmith"));
        }
        QCOMPARE(form->contents->FileCount(), 2);

        // A top-level file named like a folder anywhere in the tree is refused.
        addFolder(path("lib"));
        msg->shown.clear();
        addFiles({path("other/lib")});
        QCOMPARE(msg->lastPrompt(), QStringLiteral("A file called 'lib' already exists in the file list."));
        QVERIFY(!Find(form->tvFiles, "lib").parent().isValid());
        QCOMPARE(form->contents->FileCount(), 3);
    }

    void folderWalk()
    {
        Touch(path("pack/f1.js"));
        Touch(path("pack/f2.js"));
        Touch(path("pack/.hidden"));
        Touch(path("pack/ScriptInfo.xml"));
        Touch(path("pack/s/f3.js"));
        addFolder(path("pack/")); // a trailing separator is not part of the folder's key

        QCOMPARE(dialogs->browseRequests.size(), 1);
        QCOMPARE(dialogs->browseRequests[0].first, QStringLiteral("Add SubFolder"));
        QCOMPARE(dialogs->browseRequests[0].second, QStringLiteral("/start"));
        QCOMPARE(form->StartFolder, path("pack"));
        QVERIFY(msg->shown.isEmpty());
        // Files first, then sub-folders; boxes on files only.
        checkAllTrees({"pack", "  .hidden", "  f1.js", "  f2.js", "  ScriptInfo.xml", "  s", "    f3.js"},
                      {"pack [0]", "  .hidden [1]", "  f1.js [1]", "  f2.js [1]", "  ScriptInfo.xml [1]",
                       "  s [0]", "    f3.js [1]"},
                      {"pack [0]", "  .hidden [1]", "  f1.js [1]", "  f2.js [1]", "  ScriptInfo.xml [1]",
                       "  s [0]", "    f3.js [1]"});
        QCOMPARE(form->contents->FileCount(), 5);
        QVERIFY(form->cmdNext->isEnabled());
        for (QTreeView* view : {form->tvFiles, form->tvReg1, form->tvReg2}) {
            QVERIFY(view->isExpanded(Find(view, "pack")));
            QVERIFY(view->isExpanded(Find(view, "s")));
            QVERIFY(!(view->model()->flags(Find(view, "s")) & Qt::ItemIsUserCheckable));
        }
        PackContents& c = *form->contents;
        QCOMPARE(c.node(0).Key, QStringLiteral("fldr-") + path("pack"));
        QCOMPARE(c.node(0).Tag, path("pack"));
        const int f3 = c.findKey(QStringLiteral("sub-") + path("pack/s/f3.js"));
        QVERIFY(f3 > 0);
        QCOMPARE(c.node(f3).Kind, PackNodeKind::FolderFile);
        QCOMPARE(c.ParentChain(f3), QStringList({"pack", "s"}));

        // A cancelled browser changes nothing.
        addFolder(QString());
        QCOMPARE(form->StartFolder, path("pack"));
        QCOMPARE(c.liveCount(), 7);
    }

    void folderHoldingAddedFile()
    {
        Touch(path("d/f1.js"));
        Touch(path("d/f2.js"));
        addFiles({path("d/f1.js")});
        addFolder(path("d"));
        QCOMPARE(msg->lastPrompt(),
                 path("d/f1.js") + QStringLiteral("\r\n\r\nalready exists in the file list."));
        QCOMPARE(Dump(form->tvFiles), QStringList({"f1.js", "d", "  f2.js"}));
        QCOMPARE(form->contents->FileCount(), 2);
    }

    void overlappingFoldersRefused()
    {
        Touch(path("top/mid/low/f.js"));
        Touch(path("top/g.js"));
        addFolder(path("top/mid"));
        const QStringList before = Dump(form->tvFiles);
        const int count = form->contents->FileCount();
        for (const QString& folder : {path("top/mid"), path("top/mid/low"), path("top")}) {
            msg->shown.clear();
            addFolder(folder);
            QCOMPARE(msg->shown.size(), 1);
            QCOMPARE(msg->shown[0].prompt, QStringLiteral("The folder '") + folder +
                                               QStringLiteral("' is already part of the Script Pack."));
            QCOMPARE(msg->shown[0].style, int(MsgBox::Information));
            QCOMPARE(Dump(form->tvFiles), before);
            QCOMPARE(Dump(form->tvReg2, true), QStringList({"mid [0]", "  low [0]", "    f.js [1]"}));
            QCOMPARE(form->contents->FileCount(), count);
        }
        // A sibling whose name merely starts the same is not inside.
        Touch(path("top/middle/h.js"));
        msg->shown.clear();
        addFolder(path("top/middle"));
        QVERIFY(msg->shown.isEmpty());
        QCOMPARE(form->contents->FileCount(), count + 1);
    }

    void unreadableAndLinkedFolders()
    {
        // A folder gone before it is walked adds nothing, and Next stays off.
        addFolder(path("gone"));
        QCOMPARE(form->contents->liveCount(), 0);
        QVERIFY(!form->cmdNext->isEnabled());
        QVERIFY(msg->shown.isEmpty());

        // A link back up is not followed.
        Touch(path("loop/a.js"));
        QVERIFY(QFile::link(path("loop"), path("loop/back")));
        QVERIFY(QFile::link(path("loop/a.js"), path("loop/alias.js")));
        addFolder(path("loop"));
        QCOMPARE(Dump(form->tvFiles), QStringList({"loop", "  a.js", "  alias.js"}));
    }

    void removeThroughButtonAndMenus()
    {
        Touch(path("x.js"));
        Touch(path("f/a.js"));
        Touch(path("f/s/b.js"));
        addFiles({path("x.js")});
        addFolder(path("f"));
        QVERIFY(!form->cmdRemove->isEnabled());

        // Answered No: nothing goes.
        selectInFiles("x.js");
        QVERIFY(form->cmdRemove->isEnabled());
        QTest::mouseClick(form->cmdRemove, Qt::LeftButton);
        QCOMPARE(msg->lastPrompt(), QStringLiteral("Are you sure you want to remove the file  'x.js' ?"));
        QCOMPARE(msg->shown.constLast().style, int(MsgBox::YesNo | MsgBox::Question));
        QCOMPARE(form->contents->liveCount(), 5);

        // The popup of a folder removes the whole subtree from all three trees.
        selectInFiles("f", Qt::RightButton);
        QVERIFY(form->mnuPopFolders->isVisible());
        QVERIFY(!form->mnuPopFiles->isVisible());
        form->mnuPopFolders->hide();
        msg->setNextAnswer(MsgBox::Yes);
        form->mnuPopFoldersRemove->trigger();
        QCOMPARE(msg->lastPrompt(), QStringLiteral("Are you sure you want to remove the folder  'f' ?"));
        checkAllTrees({"x.js"}, {"x.js [1]"}, {"x.js [1]"});
        QVERIFY(form->cmdNext->isEnabled());
        QCOMPARE(form->contents->FileCount(), 3); // removals do not lower it

        selectInFiles("x.js", Qt::RightButton);
        QVERIFY(form->mnuPopFiles->isVisible());
        form->mnuPopFiles->hide();
        msg->setNextAnswer(MsgBox::Yes);
        form->mnuPopFilesRemove->trigger();
        checkAllTrees({}, {}, {});
        QVERIFY(!form->cmdNext->isEnabled());

        // A click on empty space turns Remove off; Remove without a node does nothing.
        addFiles({path("x.js")});
        selectInFiles("x.js");
        QVERIFY(form->cmdRemove->isEnabled());
        QTest::mouseClick(form->tvFiles->viewport(), Qt::LeftButton, {},
                          QPoint(5, form->tvFiles->viewport()->height() - 5));
        QVERIFY(!form->cmdRemove->isEnabled());
        // The file's name is free again once it is gone.
        QCOMPARE(Dump(form->tvFiles), QStringList({"x.js"}));
    }

    void mirroringBetweenLists()
    {
        Touch(path("a.dll"));
        Touch(path("b.dll"));
        Touch(path("f/c.dll"));
        addFiles({path("a.dll"), path("b.dll")});
        addFolder(path("f"));

        form->ShowPage(3);
        clickBox(form->tvReg1, "a.dll");
        QCOMPARE(Dump(form->tvReg1, true), QStringList({"a.dll [2]", "b.dll [1]", "f [0]", "  c.dll [1]"}));
        QCOMPARE(Dump(form->tvReg2, true), QStringList({"a.dll [0]", "b.dll [1]", "f [0]", "  c.dll [1]"}));

        // Clicks on a name or on a folder toggle nothing.
        QTest::mouseClick(form->tvReg1->viewport(), Qt::LeftButton, {},
                          TextPoint(form->tvReg1, Find(form->tvReg1, "b.dll")));
        QTest::mouseClick(form->tvReg1->viewport(), Qt::LeftButton, {},
                          TextPoint(form->tvReg1, Find(form->tvReg1, "f")));
        QCOMPARE(Dump(form->tvReg1, true), QStringList({"a.dll [2]", "b.dll [1]", "f [0]", "  c.dll [1]"}));

        // The other way, with the keyboard: space ticks in the .NET list.
        form->ShowPage(4);
        form->tvReg2->setFocus();
        form->tvReg2->setCurrentIndex(Find(form->tvReg2, "c.dll"));
        QTest::keyClick(form->tvReg2, Qt::Key_Space);
        QCOMPARE(Dump(form->tvReg2, true), QStringList({"a.dll [0]", "b.dll [1]", "f [0]", "  c.dll [2]"}));
        QCOMPARE(Dump(form->tvReg1, true), QStringList({"a.dll [2]", "b.dll [1]", "f [0]", "  c.dll [0]"}));
        // A file without a box here cannot be ticked here: the COM tick stays.
        form->tvReg2->setCurrentIndex(Find(form->tvReg2, "a.dll"));
        QTest::keyClick(form->tvReg2, Qt::Key_Space);
        QCOMPARE(form->contents->node(0).Image1, int(Checked));
        QCOMPARE(form->contents->node(0).Image2, int(NoBox));

        // Unticking gives the box back.
        form->ShowPage(3);
        clickBox(form->tvReg1, "a.dll");
        QCOMPARE(Dump(form->tvReg2, true), QStringList({"a.dll [1]", "b.dll [1]", "f [0]", "  c.dll [2]"}));

        // Removed and added again: fresh empty boxes in both lists.
        clickBox(form->tvReg1, "b.dll");
        form->ShowPage(2);
        selectInFiles("b.dll");
        msg->setNextAnswer(MsgBox::Yes);
        QTest::mouseClick(form->cmdRemove, Qt::LeftButton);
        addFiles({path("b.dll")});
        QCOMPARE(Dump(form->tvReg1, true).constLast(), QStringLiteral("b.dll [1]"));
        QCOMPARE(Dump(form->tvReg2, true).constLast(), QStringLiteral("b.dll [1]"));
    }

    void styledTrees()
    {
        const QColor face = form->palette().color(QPalette::Button);
        for (QTreeView* view : {form->tvFiles, form->tvReg1, form->tvReg2})
            QCOMPARE(view->palette().color(QPalette::Base), face);
        Touch(path("a.js"));
        addFiles({path("a.js")});
        const QModelIndex file = Find(form->tvFiles, "a.js");
        QVERIFY(!file.data(Qt::CheckStateRole).isValid());
        QVERIFY(!(form->tvFiles->model()->flags(file) & Qt::ItemIsUserCheckable));
        QVERIFY(!form->tvFiles->model()->setData(file, Qt::Checked, Qt::CheckStateRole));
        QVERIFY(form->tvReg1->model()->flags(Find(form->tvReg1, "a.js")) & Qt::ItemIsUserCheckable);
        QVERIFY(file.data(Qt::DecorationRole).canConvert<QIcon>());

        // One image per type, made once.
        PackIcons icons;
        PackNode js;
        js.Tag = path("a.js");
        js.IconKey = PackContents::GetIconKey(js.Tag, false);
        PackNode js2 = js;
        js2.Tag = path("other.JS");
        PackNode folder;
        folder.Kind = PackNodeKind::Folder;
        folder.Tag = tmp->path();
        folder.IconKey = PackContents::GetIconKey(folder.Tag, true);
        icons.icon(js);
        icons.icon(js2);
        QCOMPARE(icons.cachedCount(), 1);
        icons.icon(folder);
        QCOMPARE(icons.cachedCount(), 2);
    }

    void dropsAddLikeTheButtons()
    {
        Touch(path("d/one.js"));
        Touch(path("d/sub/two.js"));
        Touch(path("ScriptInfo.xml"));
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(path("d/one.js")), QUrl::fromLocalFile(path("d")),
                       QUrl::fromLocalFile(path("ScriptInfo.xml"))});
        QWidget* vp = form->tvFiles->viewport();
        const QPoint at(10, 10);
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(vp, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(vp, &drop);
        // The file is loose, so the folder holding it still comes in without it.
        QCOMPARE(Dump(form->tvFiles), QStringList({"one.js", "d", "  sub", "    two.js"}));
        QCOMPARE(msg->shown.size(), 2);
        QCOMPARE(msg->shown[0].prompt,
                 path("d/one.js") + QStringLiteral("\r\n\r\nalready exists in the file list."));
        QCOMPARE(msg->shown[1].prompt, QStringLiteral("Can't add a file named ScriptInfo.xml."));
        QVERIFY(form->cmdNext->isEnabled());

        // Something that is not a local file is not taken.
        auto* web = new QMimeData;
        web->setUrls({QUrl(QStringLiteral("https://example.org/a.js"))});
        QDragEnterEvent enterWeb(at, Qt::CopyAction, web, Qt::LeftButton, {});
        QCoreApplication::sendEvent(vp, &enterWeb);
        QVERIFY(!enterWeb.isAccepted());
        delete web;
        delete mime;
    }

    void closingOrCancelDuringWalk()
    {
        for (int i = 0; i < 200; ++i)
            Touch(path(QStringLiteral("big/f%1.js").arg(i)));
        bool checked = false;
        // The first yield of the walk comes before its first file.
        QTimer::singleShot(0, form.get(), [&] {
            QVERIFY(!form->cmdAddFile->isEnabled());
            QVERIFY(!form->cmdAddFolder->isEnabled());
            QVERIFY(!form->cmdNext->isEnabled());
            QVERIFY(!form->cmdBack->isEnabled());
            QVERIFY(form->cmdCancel->isEnabled());
            checked = true;
            msg->setNextAnswer(MsgBox::Yes);
            QTest::mouseClick(form->cmdCancel, Qt::LeftButton);
        });
        addFolder(path("big"));
        QVERIFY(checked);
        QVERIFY(form->CancelRequested);
        QVERIFY(form->contents->FileCount() < 200);
        QVERIFY(!form->isVisible());

        // Closing from the title bar stops a walk the same way.
        form = std::make_unique<frmPackage>();
        form->show();
        form->ShowPage(2);
        QTimer::singleShot(0, form.get(), [&] { form->close(); });
        addFolder(path("big"));
        QVERIFY(form->contents->FileCount() < 200);
        // Once the walk is over the page works again.
        QVERIFY(form->cmdAddFile->isEnabled());
        QVERIFY(form->cmdBack->isEnabled());
    }
};

QTEST_MAIN(tst_PackContents)
#include "tst_packcontents.moc"
