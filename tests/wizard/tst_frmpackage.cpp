#include "support/FakeMsgBox.h"
#include "support/FakeShell.h"
#include "wizard/Fonts.h"
#include "wizard/frmImport.h"
#include "wizard/frmPackage.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace {

struct Buttons
{
    bool back;
    bool next;
    bool cancel;
};

// Runs `action` on the modal preview once it is up, then returns from ShowPreview.
void WithPreview(frmPackage& form, const std::function<void(frmImport&)>& action)
{
    QTimer::singleShot(0, &form, [&form, action] {
        QPointer<frmImport> preview = form.preview();
        QVERIFY(preview);
        action(*preview);
        if (preview && preview->isVisible())
            preview->close();
    });
    form.ShowPreview();
}

} // namespace

class tst_frmPackage : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<frmPackage> form;
    std::unique_ptr<FakeMsgBox> msg;
    std::unique_ptr<FakeShell> shell;

    void checkButtons(const Buttons& b)
    {
        QCOMPARE(form->cmdBack->isEnabled(), b.back);
        QCOMPARE(form->cmdNext->isEnabled(), b.next);
        QCOMPARE(form->cmdCancel->isEnabled(), b.cancel);
    }

    int visiblePage() const
    {
        int shown = -1;
        for (int i = 0; i < frmPackage::PageCount; ++i) {
            if (form->picPack[i]->isVisibleTo(form.get())) {
                if (shown != -1)
                    return -2; // more than one panel
                shown = i;
            }
        }
        return shown;
    }

private slots:
    void initTestCase() { Fonts::RegisterWindowFonts(); }

    void init()
    {
        msg = std::make_unique<FakeMsgBox>();
        shell = std::make_unique<FakeShell>();
        form = std::make_unique<frmPackage>();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    void cleanup()
    {
        form.reset();
        shell.reset();
        msg.reset();
    }

    void startsOnWelcomePage()
    {
        QCOMPARE(form->CurrentPage, 0);
        QCOMPARE(visiblePage(), 0);
        QCOMPARE(form->picPack[0]->pos(), QPoint(9, 67));
        QCOMPARE(form->size(), QSize(432, 357));
        QCOMPARE(form->windowTitle(), QStringLiteral("Bundlesmith"));
        QCOMPARE(form->lblHeadTitle->text(), QStringLiteral("Bundlesmith"));
        QCOMPARE(form->lblHeadDesc->text(), QStringLiteral("Make your Scripts into Packages."));
        QCOMPARE(form->cmdNext->text(), QStringLiteral("Next >"));
        checkButtons({false, true, true});
        QVERIFY(!form->lblLenWarn->isVisibleTo(form->picPack[1]));
        QVERIFY(!form->cmdPreview->isEnabled());
        QCOMPARE(form->txtScriptVersion->text(), QStringLiteral("1.0"));
        QVERIFY(form->txtPackPath->isReadOnly());
        QVERIFY(!form->chkOpen->isChecked());
        // Every control can be found by its design name.
        for (const char* name :
             {"cmdBack", "cmdNext", "cmdCancel", "txtScriptName", "tvFiles", "tvReg1", "tvReg2",
              "txtPackPath", "cmdBrowse", "picProgress", "lblProgress", "lblHooray", "chkOpen", "picPack7",
              "Shape1", "lneTop", "Image1", "frmBottom", "picSmall"})
            QVERIFY2(form->findChild<QWidget*>(QLatin1String(name)), name);
        QCOMPARE(form->Image1->pixmap().size(), QSize(32, 32));
        QVERIFY(!form->windowIcon().availableSizes().isEmpty());
    }

    void pagesHeadersAndButtons_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        QTest::addColumn<bool>("back");
        QTest::addColumn<bool>("next");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("0") << 0 << "Bundlesmith"
                           << "Make your Scripts into Packages." << false << true << true;
        QTest::newRow("1 empty name") << 1 << "Script Info"
                                      << "Some Script Information." << true << false << true;
        QTest::newRow("2 empty tree") << 2 << "Add Files"
                                      << "Add Files to the Script Pack." << true << false << true;
        QTest::newRow("3") << 3 << "Register as COM Objects."
                           << "Check the Files to be Registered as COM Objects." << true << true << true;
        QTest::newRow("4") << 4 << "Register .NET Files."
                           << "Check the Files to be Registered with Regasm .NET Utility." << true << true
                           << true;
        QTest::newRow("5") << 5 << "Save Script Pack"
                           << "Where shall we Save the Script Pack?" << true << false << true;
        QTest::newRow("6") << 6 << "Please Wait"
                           << "Creating the Script Pack." << false << false << true;
        QTest::newRow("7") << 7 << "Finished"
                           << "Isn't That Nice." << false << true << false;
    }

    void pagesHeadersAndButtons()
    {
        QFETCH(int, page);
        QFETCH(QString, title);
        QFETCH(QString, description);
        QFETCH(bool, back);
        QFETCH(bool, next);
        QFETCH(bool, cancel);
        form->ShowPage(page);
        QCOMPARE(form->CurrentPage, page);
        QCOMPARE(visiblePage(), page);
        QCOMPARE(form->picPack[page]->pos(), QPoint(9, 67));
        QCOMPARE(form->lblHeadTitle->text(), title);
        QCOMPARE(form->lblHeadDesc->text(), description);
        checkButtons({back, next, cancel});
        QCOMPARE(form->cmdNext->text(), page == 7 ? QStringLiteral("Finish") : QStringLiteral("Next >"));
        // The header and the buttons never move.
        QCOMPARE(form->cmdNext->geometry(), QRect(260, 319, 74, 22));
        QCOMPARE(form->lblHeadTitle->pos(), QPoint(14, 7));
    }

    void nextAndBackWalkAndKeepTheirContents()
    {
        QTest::keyClick(form.get(), Qt::Key_Return); // Enter presses Next
        QCOMPARE(form->CurrentPage, 1);
        QCOMPARE(QApplication::focusWidget(), form->txtScriptName);
        QTest::keyClicks(form->txtScriptName, QStringLiteral("My Script"));
        QVERIFY(form->cmdNext->isEnabled());
        form->txtScriptURL->setText(QStringLiteral("http://example.org"));
        QTest::mouseClick(form->cmdBack, Qt::LeftButton);
        QCOMPARE(form->CurrentPage, 0);
        QTest::mouseClick(form->cmdNext, Qt::LeftButton);
        // Arriving with a valid name leaves Next enabled; nothing was reset.
        QVERIFY(form->cmdNext->isEnabled());
        QCOMPARE(form->txtScriptName->text(), QStringLiteral("My Script"));
        QCOMPARE(form->txtScriptURL->text(), QStringLiteral("http://example.org"));
        QTest::mouseClick(form->cmdNext, Qt::LeftButton);
        QCOMPARE(form->CurrentPage, 2);
        QVERIFY(!form->cmdNext->isEnabled()); // no files yet

        // Page 5 always asks for a new Browse, even with a path in the box.
        form->ShowPage(5);
        form->txtPackPath->setText(QStringLiteral("/tmp/x.plsc"));
        form->cmdNext->setEnabled(true);
        form->cmdBack_Click();
        QCOMPARE(form->CurrentPage, 4);
        form->cmdNext_Click();
        QCOMPARE(form->CurrentPage, 5);
        QVERIFY(!form->cmdNext->isEnabled());

        // Escape neither closes nor moves.
        QTest::keyClick(form.get(), Qt::Key_Escape);
        QVERIFY(form->isVisible());
        QCOMPARE(form->CurrentPage, 5);
        QVERIFY(msg->shown.isEmpty());
    }

    void scriptNameLengthRule()
    {
        form->ShowPage(1);
        auto* name = form->txtScriptName;
        auto warnShown = [&] { return form->lblLenWarn->isVisibleTo(form->picPack[1]); };

        name->setText(QString(127, QLatin1Char('a')));
        QVERIFY(form->cmdNext->isEnabled() && form->cmdPreview->isEnabled() && !warnShown());
        name->setText(QString(128, QLatin1Char('a')));
        QVERIFY(!form->cmdNext->isEnabled() && !form->cmdPreview->isEnabled() && warnShown());
        QCOMPARE(form->lblLenWarn->text(), QStringLiteral("Script Name can be maximum of 127 characters"));
        // Emptying disables both and leaves the warning as it was.
        name->clear();
        QVERIFY(!form->cmdNext->isEnabled() && !form->cmdPreview->isEnabled() && warnShown());
        name->setText(QStringLiteral("x"));
        QVERIFY(form->cmdNext->isEnabled() && !warnShown());
        name->clear();
        QVERIFY(!warnShown());
        // The box itself takes any length.
        name->setText(QString(1000, QLatin1Char('b')));
        QCOMPARE(name->text().length(), 1000);
    }

    void tabOrderPerPage()
    {
        auto stops = [&] {
            QStringList names;
            QList<QWidget*> all = form->findChildren<QWidget*>();
            std::sort(all.begin(), all.end(), [](QWidget* a, QWidget* b) {
                return a->property("TabIndex").toInt() < b->property("TabIndex").toInt();
            });
            for (QWidget* w : all)
                if (w->property("TabStop").toBool())
                    names << w->objectName();
            return names;
        };
        form->ShowPage(1);
        QCOMPARE(stops(), QStringList({"txtScriptName", "txtScriptDesc", "txtScriptURL", "txtScriptVersion",
                                       "cmdNext", "cmdCancel", "cmdBack"}));
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->txtScriptName->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->txtScriptDesc);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->txtScriptURL);
        form->ShowPage(2);
        QCOMPARE(stops(), QStringList({"cmdAddFile", "cmdAddFolder", "cmdNext", "cmdCancel", "cmdBack"}));
        QCOMPARE(form->txtScriptName->focusPolicy(), Qt::ClickFocus);
        form->ShowPage(5);
        QCOMPARE(stops(), QStringList({"cmdBrowse", "cmdNext", "cmdCancel", "cmdBack"}));
        for (int page : {0, 3, 4, 6, 7}) {
            form->ShowPage(page);
            QVERIFY2(stops().isEmpty(), qPrintable(stops().join(',')));
        }
    }

    void cancelAsksFirst_data()
    {
        QTest::addColumn<int>("page");
        for (int page : {0, 1, 2, 5, 6})
            QTest::addRow("page %d", page) << page;
    }

    void cancelAsksFirst()
    {
        QFETCH(int, page);
        form->ShowPage(page);
        msg->setNextAnswer(MsgBox::No);
        QTest::mouseClick(form->cmdCancel, Qt::LeftButton);
        QCOMPARE(msg->shown.size(), 1);
        QCOMPARE(msg->shown[0].prompt, QStringLiteral("Are you sure?"));
        QCOMPARE(msg->shown[0].style, 36);
        QCOMPARE(msg->shown[0].title, QStringLiteral("Bundlesmith"));
        QVERIFY(form->isVisible());
        QVERIFY(!form->CancelRequested);
        QCOMPARE(form->CurrentPage, page);

        msg->setNextAnswer(MsgBox::Yes);
        QTest::mouseClick(form->cmdCancel, Qt::LeftButton);
        QVERIFY(form->CancelRequested);
        QVERIFY(!form->isVisible());
        QVERIFY(shell->opened.isEmpty());
    }

    void finishOpensPackOnlyWhenAsked()
    {
        form->txtPackPath->setText(QStringLiteral("/tmp/pack.plsc"));
        form->ShowPage(7);
        form->cmdNext_Click();
        QVERIFY(!form->isVisible());
        QVERIFY(shell->opened.isEmpty());

        form->show();
        form->ShowPage(7);
        form->chkOpen->setChecked(true);
        form->chkOpen->hide(); // as after a failed build
        form->cmdNext_Click();
        QVERIFY(shell->opened.isEmpty());

        form->show();
        form->chkOpen->show();
        form->ShowPage(7);
        QTest::mouseClick(form->cmdNext, Qt::LeftButton);
        QCOMPARE(shell->opened, QStringList({"/tmp/pack.plsc"}));
        QVERIFY(!form->isVisible());
        QVERIFY(msg->shown.isEmpty()); // closing by Finish asks nothing
    }

    void previewShowsNameDescriptionAndLink()
    {
        form->ShowPage(1);
        form->txtScriptName->setText(QStringLiteral("Tom & Jerry"));
        form->txtScriptURL->setText(QStringLiteral("http://example.org/about"));
        bool checked = false;
        WithPreview(*form, [&](frmImport& p) {
            QVERIFY(p.windowFlags() & Qt::FramelessWindowHint);
            QVERIFY(p.isModal());
            QCOMPARE(p.size(), QSize(403, 248));
            QCOMPARE(p.lblName->text(), QStringLiteral("Tom & Jerry"));
            QCOMPARE(p.lblDescription->text(), QStringLiteral("(none)"));
            QVERIFY(p.HasURL);
            QVERIFY(p.lblName->font().underline());
            QCOMPARE(p.lblName->palette().color(QPalette::WindowText), QColor(0x00, 0x45, 0x70));
            // The link opens the address and the preview stays.
            QTest::mouseClick(p.lblName, Qt::LeftButton);
            QCOMPARE(shell->opened, QStringList({"http://example.org/about"}));
            QVERIFY(p.isVisible());
            QTest::mouseClick(p.lblDescription, Qt::LeftButton);
            QVERIFY(!p.isVisible());
            checked = true;
        });
        QVERIFY(checked);
        QVERIFY(!form->preview());

        // Without an address the name is plain and a click on it closes the preview.
        form->txtScriptURL->clear();
        form->txtScriptDesc->setPlainText(QStringLiteral("Does things."));
        checked = false;
        WithPreview(*form, [&](frmImport& p) {
            QVERIFY(!p.HasURL);
            QVERIFY(!p.lblName->font().underline());
            QCOMPARE(p.lblDescription->text(), QStringLiteral("Does things."));
            QTest::mouseClick(p.lblName, Qt::LeftButton);
            QVERIFY(!p.isVisible());
            checked = true;
        });
        QVERIFY(checked);
        QCOMPARE(shell->opened.size(), 1);

        // A click on the picture itself closes it too.
        checked = false;
        WithPreview(*form, [&](frmImport& p) {
            QTest::mouseClick(&p, Qt::LeftButton, {}, QPoint(10, 200));
            QVERIFY(!p.isVisible());
            checked = true;
        });
        QVERIFY(checked);
    }

    void everyPageRendersAtItsSize()
    {
        for (int page = 0; page < frmPackage::PageCount; ++page) {
            form->ShowPage(page);
            const QImage shot = form->grab().toImage();
            QCOMPARE(shot.size(), QSize(432, 357));
            // The header band is white and the page area is not one flat colour.
            QCOMPARE(shot.pixelColor(200, 20), QColor(Qt::white));
            QSet<QRgb> colours;
            for (int y = 67; y < 290; y += 2)
                for (int x = 9; x < 422; x += 2)
                    colours.insert(shot.pixel(x, y));
            QVERIFY2(colours.size() >= 2, qPrintable(QStringLiteral("page %1").arg(page)));
        }
    }
};

QTEST_MAIN(tst_frmPackage)
#include "tst_frmpackage.moc"
