#include "pack/contents/PackContents.h"
#include "support/TestFiles.h"
#include "support/Window.h"
#include "wizard/frmImport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

using namespace Qt::StringLiterals;

class tst_frmPackage : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window> w;

    // Runs `action` on the modal preview once it is up; returns when the preview has closed.
    void withPreview(const std::function<void(frmImport&)>& action)
    {
        bool ran = false;
        QTimer::singleShot(0, w->form.get(), [&] {
            QPointer<frmImport> preview = w->form->preview();
            QVERIFY(preview);
            action(*preview);
            ran = true;
            if (preview && preview->isVisible())
                preview->close();
        });
        w->form->ShowPreview();
        QVERIFY(ran);
    }

private slots:
    void init() { w = std::make_unique<Window>(); }
    void cleanup() { w.reset(); }

    // Page | title | description | Back, Next, Cancel enabled (with nothing filled in).
    void pages_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("row");
        const QString table = uR"(Bundlesmith|Make your Scripts into Packages.|011
Script Info|Some Script Information.|101
Add Files|Add Files to the Script Pack.|101
Register as COM Objects.|Check the Files to be Registered as COM Objects.|111
Register .NET Files.|Check the Files to be Registered with Regasm .NET Utility.|111
Save Script Pack|Where shall we Save the Script Pack?|101
Please Wait|Creating the Script Pack.|001
Finished|Isn't That Nice.|010)"_s;
        const QStringList rows = table.split(u'\n');
        for (int page = 0; page < rows.size(); ++page)
            QTest::addRow("%d", page) << page << rows[page].split(u'|');
    }

    void pages()
    {
        QFETCH(int, page);
        QFETCH(QStringList, row);
        w->form->ShowPage(page);
        QCOMPARE(w->form->CurrentPage, page);
        for (int i = 0; i < frmPackage::PageCount; ++i)
            QCOMPARE(w->form->picPack[i]->isVisibleTo(w->form.get()), i == page);
        QCOMPARE(w->form->lblHeadTitle->text(), row[0]);
        QCOMPARE(w->form->lblHeadDesc->text(), row[1]);
        const QString enabled = QString::number(w->form->cmdBack->isEnabled()) +
                                QString::number(w->form->cmdNext->isEnabled()) +
                                QString::number(w->form->cmdCancel->isEnabled());
        QCOMPARE(enabled, row[2]);
        QCOMPARE(w->form->cmdNext->text(), page == 7 ? u"&Finish"_s : u"&Next >"_s);
        if (!w->form->cmdCancel->isEnabled())
            return;
        // Cancel asks first; No keeps everything as it was.
        w->click(w->form->cmdCancel);
        QCOMPARE(w->msg.shown.value(0).prompt, u"Are you sure?"_s);
        QVERIFY(w->msg.shown[0].style == 36 && w->msg.shown[0].title == u"Bundlesmith"_s);
        QVERIFY(w->form->isVisible() && !w->form->CancelRequested && w->form->CurrentPage == page);
        w->msg.setNextAnswer(MsgBox::Yes);
        w->click(w->form->cmdCancel);
        QVERIFY(w->form->CancelRequested && !w->form->isVisible());
    }

    void walkingKeepsWhatWasTyped()
    {
        QTest::keyClick(w->form.get(), Qt::Key_Return); // Enter presses Next
        QCOMPARE(QApplication::focusWidget(), w->form->txtScriptName);
        QTest::keyClicks(w->form->txtScriptName, u"My Script"_s);
        w->click(w->form->cmdBack);
        w->walkTo(2);
        QCOMPARE(w->form->txtScriptName->text(), u"My Script"_s);
        QVERIFY(!w->form->cmdNext->isEnabled()); // no files yet
        // Escape neither closes nor moves.
        QTest::keyClick(w->form.get(), Qt::Key_Escape);
        QVERIFY(w->form->isVisible() && w->form->CurrentPage == 2 && w->msg.shown.isEmpty());
    }

    void scriptNameLengthRule()
    {
        w->form->ShowPage(1);
        const auto state = [&] {
            return QString::number(w->form->cmdNext->isEnabled()) +
                   QString::number(w->form->cmdPreview->isEnabled()) +
                   QString::number(w->form->lblLenWarn->isVisibleTo(w->form->picPack[1]));
        };
        // "length:Next Preview warning" after each text; emptying leaves the warning as it was.
        for (const QString& step : u"127:110 128:001 0:001 1:110 0:000 1000:001"_s.split(u' ')) {
            w->form->txtScriptName->setText(QString(step.section(u':', 0, 0).toInt(), u'a'));
            QCOMPARE(state(), step.section(u':', 1));
        }
        QCOMPARE(w->form->txtScriptName->text().size(), 1000);
        QCOMPARE(w->form->lblLenWarn->text(), u"Script Name can be maximum of 127 characters"_s);
    }

    // Tab goes round every enabled control of the page in the order they
    // stand, the buttons along the bottom included, and Shift+Tab back; the
    // letters of a page's buttons and labels are all different.
    void keyboard_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("order");
        QTest::newRow("welcome") << 0 << u"cmdNext cmdCancel cmdOpenPack"_s;
        QTest::newRow("script info")
            << 1
            << u"txtScriptName txtScriptDesc txtScriptURL txtScriptVersion cmdPreview cmdBack cmdNext cmdCancel"_s;
        QTest::newRow("files, Next off")
            << 2 << u"cmdAddFile cmdAddFolder cmdRemove cmdBack cmdCancel tvFiles"_s;
        QTest::newRow("COM list") << 3 << u"tvReg1 cmdBack cmdNext cmdCancel"_s;
        QTest::newRow(".NET list") << 4 << u"tvReg2 cmdBack cmdNext cmdCancel"_s;
        QTest::newRow("save") << 5 << u"cmdBrowse cmdBack cmdNext cmdCancel txtPackPath"_s;
        QTest::newRow("finish") << 7 << u"cmdNext chkOpen"_s;
    }

    void keyboard()
    {
        QFETCH(int, page);
        QFETCH(QString, order);
        w->form->txtScriptName->setText(u"Tool"_s);
        w->form->ShowPage(page);
        w->form->cmdRemove->setEnabled(true);
        if (page == 5) {
            w->dialogs.nextSave << u"/tmp/tool.plsc"_s;
            w->click(w->form->cmdBrowse);
            w->form->cmdBrowse->setFocus();
        }
        QApplication::setActiveWindow(w->form.get());
        QStringList forth, back;
        for (int i = 0; i < 12; ++i) {
            forth << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            back.prepend(QApplication::focusWidget()->objectName());
        }
        const QStringList cycle = order.split(u' ');
        QCOMPARE(forth.mid(0, cycle.size()), cycle);
        QCOMPARE(forth.at(cycle.size()), cycle.first()); // and round again
        QCOMPARE(back.mid(back.size() - cycle.size()), forth.mid(12 - cycle.size(), cycle.size()));
        // No two captions of the page answer to the same letter.
        QStringList letters;
        for (QWidget* widget : w->form->findChildren<QWidget*>()) {
            const auto* button = qobject_cast<QAbstractButton*>(widget);
            const auto* label = qobject_cast<QLabel*>(widget);
            const QString text = button                    ? button->text()
                                 : label && label->buddy() ? label->text()
                                                           : QString();
            const qsizetype amp = text.indexOf(u'&');
            if (widget->isVisible() && amp >= 0)
                letters << text.mid(amp + 1, 1).toLower();
            else if (widget->isVisible() && button)
                QFAIL(qPrintable(widget->objectName() + u" has no letter"_s));
        }
        const QStringList distinct(QSet<QString>(letters.cbegin(), letters.cend()).values());
        QCOMPARE(distinct.size(), letters.size());
    }

    // Enter after Add SubFolder presses Add SubFolder again, never Cancel
    // and its "Are you sure?": nothing added is lost.
    void enterAfterAddingKeepsTheWork()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(u"top/a.js"_s));
        w->form->txtScriptName->setText(u"Tool"_s);
        w->walkTo(2);
        QApplication::setActiveWindow(w->form.get());
        w->form->cmdAddFolder->setFocus();
        w->dialogs.nextFolder << dir.filePath(u"top"_s);
        QTest::keyClick(w->form->cmdAddFolder, Qt::Key_Space);
        QCOMPARE(QApplication::focusWidget(), w->form->cmdAddFolder);
        for (int i = 0; i < 2; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(w->form->isVisible());
        QVERIFY(w->msg.shown.isEmpty());
        QCOMPARE(w->form->contents->liveCount(), 2);
    }

    void finishOpensThePackOnlyWhenAsked()
    {
        w->form->txtPackPath->setText(u"/tmp/pack.plsc"_s);
        for (const auto& [ticked, shown] : {std::pair{false, true}, {true, false}, {true, true}}) {
            w->form->show();
            w->form->ShowPage(7);
            w->form->chkOpen->setChecked(ticked);
            w->form->chkOpen->setVisible(shown); // hidden after a failed build
            w->click(w->form->cmdNext);
            QVERIFY(!w->form->isVisible());
        }
        QCOMPARE(w->shell.opened, QStringList{u"/tmp/pack.plsc"_s});
        QVERIFY(w->msg.shown.isEmpty()); // closing by Finish asks nothing
    }

    void previewShowsNameDescriptionAndLink()
    {
        w->form->ShowPage(1);
        w->form->txtScriptName->setText(u"Tom & Jerry"_s);
        w->form->txtScriptURL->setText(u"http://example.org/about"_s);
        withPreview([&](frmImport& p) {
            QVERIFY(p.isModal() && (p.windowFlags() & Qt::FramelessWindowHint));
            QCOMPARE(p.lblName->text(), u"Tom & Jerry"_s);
            QCOMPARE(p.lblDescription->text(), u"(none)"_s);
            QVERIFY(p.lblName->font().underline());
            // The link opens the address and the preview stays; elsewhere a click closes it.
            QTest::mouseClick(p.lblName, Qt::LeftButton);
            QCOMPARE(w->shell.opened, QStringList{u"http://example.org/about"_s});
            QVERIFY(p.isVisible());
            QTest::mouseClick(&p, Qt::LeftButton, {}, QPoint(10, 200));
            QVERIFY(!p.isVisible());
        });
    }
};

QTEST_MAIN(tst_frmPackage)
#include "tst_frmpackage.moc"
