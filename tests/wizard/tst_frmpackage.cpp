#include "support/Window.h"
#include "wizard/frmImport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
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
        QCOMPARE(w->form->cmdNext->text(), page == 7 ? u"Finish"_s : u"Next >"_s);
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

    void tabStopsPerPage()
    {
        for (const auto& [page, expected] :
             {std::pair{
                  1,
                  u"txtScriptName txtScriptDesc txtScriptURL txtScriptVersion cmdNext cmdCancel cmdBack"_s},
              {2, u"cmdAddFile cmdAddFolder cmdNext cmdCancel cmdBack"_s},
              {5, u"cmdBrowse cmdNext cmdCancel cmdBack"_s},
              {3, QString()},
              {7, QString()}}) {
            w->form->ShowPage(page);
            QMap<int, QString> stops;
            for (QWidget* widget : w->form->findChildren<QWidget*>())
                if (widget->property("TabStop").toBool())
                    stops.insert(widget->property("TabIndex").toInt(), widget->objectName());
            QCOMPARE(stops.values().join(u' '), expected);
        }
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
