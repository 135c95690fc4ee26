// Every caption of every page fits its control, at the scale and in the
// language the test runs with (ctest runs it at 1x, 1.5x and 2x, and in
// Brazilian Portuguese): a text that is cut off is one the user cannot read.
#include "platform/Language.h"
#include "support/TestFiles.h"
#include "wizard/Fonts.h"
#include "wizard/frmPackage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_Fits : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Fonts::RegisterWindowFonts();
        Language::InstallTranslations();
    }

    void captionsFit()
    {
        frmPackage form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.txtScriptName->setText(u"Word Counter"_s);
        form.txtScriptURL->setText(u"http://example.org/wordcounter"_s);
        QTemporaryDir dir;
        for (const char* f :
             {"WordCounter/WordCounter.js", "WordCounter/lib/helper.dll", "WordCounter/sounds/ding.wav"})
            writeFile(dir.filePath(QString::fromLatin1(f)));
        QVERIFY(form.AddFolderToTree(dir.filePath(u"WordCounter"_s)));
        // BUNDLESMITH_SHOTS=folder keeps a picture of each page there, for the docs.
        const QString shots = qEnvironmentVariable("BUNDLESMITH_SHOTS");
        QStringList cut;
        for (int page = 0; page < frmPackage::PageCount; ++page) {
            form.ShowPage(page);
            if (!shots.isEmpty())
                form.grab().save(u"%1/page%2-%3x.png"_s.arg(shots).arg(page).arg(form.devicePixelRatioF()));
            for (QWidget* w : form.findChildren<QWidget*>()) {
                const auto* label = qobject_cast<QLabel*>(w);
                const auto* button = qobject_cast<QAbstractButton*>(w);
                const QString text = label ? label->text() : button ? button->text() : QString();
                if (!w->isVisible() || text.trimmed().isEmpty())
                    continue;
                const QString plain = QString(text).remove(u'&');
                const QFontMetrics fm = w->fontMetrics();
                QSize need(fm.horizontalAdvance(plain), fm.height());
                if (label && label->wordWrap())
                    need = QSize(
                        w->width(),
                        fm.boundingRect(QRect(0, 0, w->width(), 10000), Qt::TextWordWrap, plain).height());
                // A check box's box and the space beside it come first.
                if (qobject_cast<const QCheckBox*>(w))
                    need.rwidth() += w->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                                     w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
                if (need.width() > w->width() || need.height() > w->height())
                    cut << u"page %1: %2 needs %3x%4, has %5x%6"_s.arg(page)
                               .arg(w->objectName())
                               .arg(need.width())
                               .arg(need.height())
                               .arg(w->width())
                               .arg(w->height());
            }
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'\n')));
        // In the language of the system: Brazilian Portuguese translated, English as written.
        const QString language = QLocale().name();
        if (language == u"pt_BR"_s)
            QCOMPARE(QStringList({form.cmdBack->text(), form.cmdNext->text(), form.lblHeadTitle->text()}),
                     QStringList({u"< &Voltar"_s, u"C&oncluir"_s, u"Concluído"_s}));
        else if (language == u"C"_s || language.startsWith(u"en"_s))
            QCOMPARE(QStringList({form.cmdBack->text(), form.cmdNext->text(), form.lblHeadTitle->text()}),
                     QStringList({u"< &Back"_s, u"&Finish"_s, u"Finished"_s}));
        // Above one device pixel per pixel, no bitmap face is left.
        if (form.devicePixelRatioF() > 1.0)
            QCOMPARE(form.picPack[1]->font().family(), u"Tahoma"_s);
    }
};

QTEST_MAIN(tst_Fits)
#include "tst_fits.moc"
