// What the user sees, measured on rendered pixels rather than read back from
// fonts and styles: a setting can be right while the screen is still wrong.
#include "pack/build/makePackXML.h"
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

namespace {

int darkPixels(const QImage& image, const QRect& area, int below = 128)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += qGray(image.pixel(x, y)) < below;
    return n;
}

double luminance(QRgb c)
{
    const auto lin = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(qRed(c)) + 0.7152 * lin(qGreen(c)) + 0.0722 * lin(qBlue(c));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
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
        QRgb darkest = face.rgb();
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                if (qGray(image.pixel(x, y)) < qGray(darkest))
                    darkest = image.pixel(x, y);
        QVERIFY2(contrast(darkest, face.rgb()) >= 3.0, "outline too faint on the list's background");
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
            QFile f(dir.filePath(u"f%1.js"_qs.arg(i)));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("x") == 1);
            f.close();
            QVERIFY(form.AddFileToTree(f.fileName()) >= 0);
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
