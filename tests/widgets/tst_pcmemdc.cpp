#include "widgets/pcMemDC.h"

#include <QPainter>
#include <QPixmap>
#include <QTest>

class tst_pcMemDC : public QObject
{
    Q_OBJECT

private:
    static QSize imageSize(const pcMemDC& dc) { return dc.image() ? dc.image()->size() : QSize(); }

private slots:
    void requestsMakeAnewOnlyWhenExceeded()
    {
        pcMemDC dc;
        QVERIFY(!dc.hDC(0, 20));
        QVERIFY(!dc.hDC(200, 0));
        QVERIFY(!dc.hDC(-5, -5));
        QCOMPARE(dc.Width(), 0);
        QCOMPARE(dc.Height(), 0);
        QVERIFY(!dc.image());

        QImage* first = dc.hDC(200, 20);
        QVERIFY(first);
        QCOMPARE(first->size(), QSize(200, 20));
        first->setPixel(5, 5, qRgb(10, 20, 30));

        // Taller than before: made anew at exactly the request, narrower too.
        QImage* second = dc.hDC(100, 30);
        QCOMPARE(second->size(), QSize(100, 30));
        QCOMPARE(dc.Width(), 100);
        QCOMPARE(dc.Height(), 30);
        QCOMPARE(second->pixel(5, 5), qRgb(0, 0, 0));
        second->setPixel(5, 5, qRgb(10, 20, 30));

        // Smaller in both: kept as it is, contents included.
        QImage* third = dc.hDC(50, 10);
        QCOMPARE(third->size(), QSize(100, 30));
        QCOMPARE(dc.Width(), 100);
        QCOMPARE(third->pixel(5, 5), qRgb(10, 20, 30));

        // Lowering the stored numbers keeps the image.
        dc.setWidth(40);
        QCOMPARE(dc.Width(), 40);
        QCOMPARE(imageSize(dc), QSize(100, 30));
        QCOMPARE(dc.image()->pixel(5, 5), qRgb(10, 20, 30));
        // Raising them past the image makes it anew, so the stored size never
        // promises more than the image holds.
        dc.setWidth(300);
        QCOMPARE(imageSize(dc), QSize(300, 30));
        QCOMPARE(dc.Width(), 300);

        // Through the properties a fresh surface appears once both are positive.
        pcMemDC fresh;
        fresh.setWidth(16);
        QVERIFY(!fresh.image());
        QCOMPARE(fresh.Width(), 16);
        fresh.setHeight(8);
        QCOMPARE(imageSize(fresh), QSize(16, 8));

        // A size that cannot be allocated leaves no surface and size 0 x 0.
        pcMemDC huge;
        QVERIFY(!huge.hDC(INT_MAX, INT_MAX));
        QCOMPARE(huge.Width(), 0);
        QCOMPARE(huge.Height(), 0);
    }

    void drawCopiesBlocks()
    {
        pcMemDC dc;
        QImage* s = dc.hDC(4, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                s->setPixel(x, y, qRgb(x * 50, y * 50, 200));

        const QRgb blank = qRgba(1, 2, 3, 255);
        QImage target(10, 10, QImage::Format_ARGB32);

        // Defaults: the stored Width x Height to (0, 0).
        target.fill(blank);
        dc.Draw(static_cast<QPaintDevice*>(&target));
        QCOMPARE(target.pixel(3, 2), qRgb(150, 100, 200));
        QCOMPARE(target.pixel(4, 0), blank);
        QCOMPARE(target.pixel(0, 3), blank);

        // A part of it, to an offset; sizes of 0 or less mean the stored size.
        target.fill(blank);
        {
            QPainter p(&target);
            dc.Draw(&p, 1, 1, 2, -1, 5, 6);
        }
        QCOMPARE(target.pixel(5, 6), qRgb(50, 50, 200));
        QCOMPARE(target.pixel(6, 6), qRgb(100, 50, 200));
        QCOMPARE(target.pixel(7, 6), blank);
        QCOMPARE(target.pixel(5, 7), qRgb(50, 100, 200));

        // Only what lies on the surface arrives, at its own place.
        target.fill(blank);
        dc.Draw(static_cast<QPaintDevice*>(&target), -1, 0, 3, 1, 0, 0);
        QCOMPARE(target.pixel(0, 0), blank);
        QCOMPARE(target.pixel(1, 0), qRgb(0, 0, 200));

        // Without a surface nothing is drawn and nothing breaks.
        pcMemDC none;
        target.fill(blank);
        none.Draw(static_cast<QPaintDevice*>(&target));
        none.Draw(static_cast<QPainter*>(nullptr));
        QCOMPARE(target.pixel(0, 0), blank);
    }

    void createFromPictureCopies()
    {
        QImage pic(16, 16, QImage::Format_ARGB32);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                pic.setPixel(x, y, qRgb(x * 16, y * 16, 77));
        const QImage expected = pic.convertToFormat(QImage::Format_RGB32);

        pcMemDC dc;
        dc.CreateFromPicture(pic);
        QCOMPARE(dc.Width(), 16);
        QCOMPARE(dc.Height(), 16);
        QCOMPARE(*dc.image(), expected);

        // Later changes to the caller's picture are not seen.
        pic.fill(Qt::red);
        pic = QImage();
        QCOMPARE(*dc.image(), expected);

        // On a surface too small for it the picture still arrives whole.
        pcMemDC reused;
        reused.hDC(8, 8);
        reused.CreateFromPicture(QPixmap::fromImage(expected));
        QCOMPARE(reused.Width(), 16);
        QCOMPARE(imageSize(reused), QSize(16, 16));
        QCOMPARE(*reused.image(), expected);
    }
};

QTEST_MAIN(tst_pcMemDC)
#include "tst_pcmemdc.moc"
