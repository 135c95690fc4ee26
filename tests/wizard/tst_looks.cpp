// What the user sees, measured on rendered pixels rather than read back from
// fonts and styles: a setting can be right while the screen is still wrong.
#include "pack/build/makePackXML.h"
#include "support/TestFiles.h"
#include "widgets/cProgressBar.h"
#include "wizard/Artwork.h"
#include "wizard/Fonts.h"
#include "wizard/frmPackage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <functional>

namespace {

int countPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& pick)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += pick(image.pixel(x, y));
    return n;
}

int darkPixels(const QImage& image, const QRect& area)
{
    return countPixels(image, area, [](QRgb c) { return qGray(c) < 128; });
}

// The accessibility guidelines' contrast ratio, for the greys of a check box.
double contrast(QRgb a, QRgb b)
{
    const auto luminance = [](QRgb c) {
        const double s = qGray(c) / 255.0;
        return (s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4)) + 0.05;
    };
    return std::max(luminance(a), luminance(b)) / std::min(luminance(a), luminance(b));
}

} // namespace

class tst_Looks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Fonts::RegisterWindowFonts(); }

    void boldCaptionsCarryMoreInk_data()
    {
        QTest::addColumn<QString>("label");
        QTest::newRow("header title") << "lblHeadTitle";
        QTest::newRow("field caption") << "lblScriptDesc";
    }
    void boldCaptionsCarryMoreInk()
    {
        QFETCH(QString, label);
        frmPackage form;
        auto* bold = form.findChild<QLabel*>(label);
        QVERIFY(bold);
        QLabel regular(bold->text());
        QFont font = bold->font();
        font.setBold(false);
        regular.setFont(font);
        regular.adjustSize();
        const QImage b = bold->grab().toImage(), r = regular.grab().toImage();
        const int inkBold = darkPixels(b, b.rect()), inkRegular = darkPixels(r, r.rect());
        QVERIFY2(inkBold > inkRegular * 1.2, qPrintable(u"%1 vs %2"_qs.arg(inkBold).arg(inkRegular)));
    }

    void importPromptShowsItsCaptions_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::newRow("Name:") << QRect(16, 70, 95, 17);
        QTest::newRow("Description:") << QRect(16, 90, 95, 15);
    }
    void importPromptShowsItsCaptions()
    {
        QFETCH(QRect, area);
        QVERIFY(darkPixels(Artwork::ImportPrompt(), area) > 15);
    }

    void listCheckBoxesStandOut_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::newRow("empty") << false;
        QTest::newRow("ticked") << true;
    }
    void listCheckBoxesStandOut()
    {
        QFETCH(bool, ticked);
        frmPackage form;
        const QTreeView* list = form.tvReg1;
        const QColor face = list->palette().color(QPalette::Base);
        QCOMPARE(face, list->palette().color(QPalette::Button));
        QImage image(20, 20, QImage::Format_RGB32);
        image.fill(face);
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = image.rect();
        option.state |= ticked ? QStyle::State_On : QStyle::State_Off;
        QPainter painter(&image);
        list->style()->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &option, &painter, list);
        painter.end();
        // A 13 px box has a 48 px outline.
        const int outline =
            countPixels(image, image.rect(), [&](QRgb c) { return contrast(c, face.rgb()) >= 3; });
        QVERIFY2(outline >= 48, "the box's outline is too faint on the list's background");
        // Inside the box: white when empty, a dark tick through its middle when ticked.
        const int inkInside = darkPixels(image, QRect(7, 7, 6, 6));
        QVERIFY(ticked ? inkInside >= 4 : inkInside == 0);
        QCOMPARE(image.pixel(5, 5), qRgb(255, 255, 255));
    }

    void barFillsWhateverThePackSize_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::newRow("30 files: whole steps of 3") << 30 << 99 << 99;
        QTest::newRow("300 files: a third per step") << 300 << 99 << 100;
    }
    void barFillsWhateverThePackSize()
    {
        QFETCH(int, files);
        QFETCH(int, low);
        QFETCH(int, high);
        QTemporaryDir dir;
        frmPackage form;
        for (int i = 0; i < files; ++i) {
            writeFile(dir.filePath(u"f%1.js"_qs.arg(i)));
            QVERIFY(form.AddFileToTree(dir.filePath(u"f%1.js"_qs.arg(i))) >= 0);
        }
        form.txtScriptName->setText(u"Bar"_qs);
        form.txtPackPath->setText(dir.filePath(u"bar.plsc"_qs));
        form.ShowPage(5);
        QVERIFY(form.makePack());
        const qint32 value = form.ProgressBars.first()->Value();
        QVERIFY2(value >= low && value <= high, qPrintable(QString::number(value)));
    }

    void descriptionLinesEndInCrLf()
    {
        const QString xml = makePackXML(u"n"_qs, u"a\rb\nc\r\nd & e"_qs, {}, false, {}, false, {}, u"1"_qs);
        QVERIFY(xml.contains(u"<Description>a\r\nb\r\nc\r\nd &amp; e</Description>\r\n"_qs));
    }
};

QTEST_MAIN(tst_Looks)
#include "tst_looks.moc"
