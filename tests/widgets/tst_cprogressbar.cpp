#include "widgets/cProgressBar.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionProgressBar>
#include <QTest>
#include <memory>

namespace {

// OLE colours are 0x00BBGGRR.
constexpr qint32 White = 0xFFFFFF, Red = 0x0000FF, Green = 0x00FF00, Black = 0;
constexpr qint32 BtnFace = qint32(0x8000000F), Highlight = qint32(0x8000000D);

const QRgb kWhite = qRgb(255, 255, 255), kRed = qRgb(255, 0, 0);
const QRgb kLight = qRgb(255, 255, 0), kDark = qRgb(128, 0, 0), kMidlight = qRgb(0, 255, 255),
           kShadow = qRgb(0, 0, 128), kButton = qRgb(192, 192, 192), kHighlight = qRgb(0, 0, 255);

// Records what the bar asks of the style, and paints the groove in one colour
// so that anything drawn over it shows.
class RecordingStyle : public QProxyStyle
{
public:
    explicit RecordingStyle(int chunk)
        : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), m_chunk(chunk)
    {
    }
    int pixelMetric(PixelMetric m, const QStyleOption* o, const QWidget* w) const override
    {
        return m == PM_ProgressBarChunkWidth ? m_chunk : QProxyStyle::pixelMetric(m, o, w);
    }
    void drawControl(ControlElement e, const QStyleOption* o, QPainter* p, const QWidget* w) const override
    {
        const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(o);
        if (e == CE_ProgressBarGroove) {
            groove = p->transform().mapRect(o->rect);
            horizontal = o->state & State_Horizontal;
            p->fillRect(o->rect, QColor(0, 128, 0));
        } else if (e == CE_ProgressBarContents) {
            contents = p->transform().mapRect(o->rect);
            p->fillRect(o->rect, QColor(0, 0, 255));
        } else if (e == CE_ProgressBarLabel && bar) {
            labelText = bar->text;
            labelRect = p->transform().mapRect(o->rect);
        } else {
            QProxyStyle::drawControl(e, o, p, w);
        }
    }
    int m_chunk;
    mutable QRect groove, contents, labelRect;
    mutable QString labelText = QStringLiteral("<none>");
    mutable bool horizontal = false;
};

QImage render(cProgressBar& bar, int w, int h, QWidget* hWnd)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(qRgb(1, 2, 3));
    QPainter p(&img);
    bar.DrawToDC(hWnd, &p, 0, 0, w, h);
    return img;
}

bool reddish(QRgb c)
{
    return qRed(c) > 150 && qGreen(c) < 100 && qBlue(c) < 100;
}
bool greenish(QRgb c)
{
    return qGreen(c) > 150 && qRed(c) < 100 && qBlue(c) < 100;
}
int countIn(const QImage& img, QRect area, bool (*pred)(QRgb))
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += pred(img.pixel(x, y));
    return n;
}

} // namespace

class tst_cProgressBar : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_palette; // supplies the system colours

    std::unique_ptr<cProgressBar> classic(int value, qint32 back = White, qint32 bar = Red)
    {
        auto b = std::make_unique<cProgressBar>();
        b->setBackColor(back);
        b->setBarColor(bar);
        b->setValue(value);
        return b;
    }

private slots:
    void initTestCase()
    {
        if (!QFontDatabase::families().contains(QStringLiteral("Tahoma")) &&
            QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf")))
            QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
        m_palette = std::make_unique<QWidget>();
        QPalette pal = m_palette->palette();
        pal.setColor(QPalette::Light, kLight);
        pal.setColor(QPalette::Dark, kDark);
        pal.setColor(QPalette::Midlight, kMidlight);
        pal.setColor(QPalette::Shadow, kShadow);
        pal.setColor(QPalette::Button, kButton);
        pal.setColor(QPalette::Highlight, kHighlight);
        m_palette->setPalette(pal);
    }

    void defaultsAndPercent()
    {
        cProgressBar bar;
        QCOMPARE(bar.Tag(), QString());
        QVERIFY(!bar.Segments() && !bar.XpStyle() && !bar.ShowText());
        QCOMPARE(bar.Text(), QString());
        QCOMPARE(bar.TextAlignX(), 1);
        QCOMPARE(bar.TextAlignY(), 1);
        QCOMPARE(bar.Min(), 0);
        QCOMPARE(bar.Max(), 100);
        QCOMPARE(bar.Value(), 0);
        QCOMPARE(bar.BorderStyle(), 1);
        QCOMPARE(bar.Appearance(), 1);
        QCOMPARE(bar.DrawObject(), nullptr);
        QCOMPARE(bar.BackColor(), -1);
        QCOMPARE(bar.ForeColor(), 0);
        QCOMPARE(bar.BarColor(), -1);
        QCOMPARE(bar.BarForeColor(), 0xFFFFFF);
        QCOMPARE(bar.BarPictureMode(), 1);
        QCOMPARE(bar.BackPictureMode(), 1);
        QCOMPARE(bar.Font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(bar.Font().pointSize(), 8);

        // Stored as given, shown clamped.
        bar.setValue(-20);
        QCOMPARE(bar.Value(), -20);
        QCOMPARE(bar.Percent(), 0.0);
        bar.setValue(250);
        QCOMPARE(bar.Percent(), 100.0);
        bar.setValue(25);
        QCOMPARE(bar.Percent(), 25.0);
        // Extremes do not overflow; an empty range is full once reached.
        bar.setMin(INT_MIN);
        bar.setMax(INT_MAX);
        bar.setValue(INT_MAX);
        QCOMPARE(bar.Percent(), 100.0);
        bar.setMin(5);
        bar.setMax(5);
        bar.setValue(4);
        QCOMPARE(bar.Percent(), 0.0);
        bar.setValue(5);
        QCOMPARE(bar.Percent(), 100.0);
        QImage img = render(bar, 20, 10, nullptr);
        QVERIFY(!img.isNull());
    }

    void classicGeometry()
    {
        // 200 x 20 in segments at 50 %: blocks of 8 from x = 1 every 10, the last
        // gap 89..90 at the bar's end 91.
        auto bar = classic(50);
        bar->setSegments(true);
        QImage img = render(*bar, 200, 20, m_palette.get());
        for (int x = 1; x <= 198; ++x) {
            const bool inBlock = x < 91 && (x - 1) % 10 < 8;
            QCOMPARE(img.pixel(x, 10), inBlock ? kRed : kWhite);
        }
        QCOMPARE(img.pixel(0, 0), kDark); // thin sunken border

        // Empty below Min, full above Max (the whole inner area without segments).
        bar->setSegments(false);
        bar->setValue(-5);
        img = render(*bar, 200, 20, m_palette.get());
        QCOMPARE(countIn(img, QRect(1, 1, 198, 18), reddish), 0);
        bar->setValue(500);
        img = render(*bar, 200, 20, m_palette.get());
        QCOMPARE(countIn(img, QRect(1, 1, 198, 18), reddish), 198 * 18);

        // 20 x 100 at 25 %: 1 + 98 * 0.75 = 74.5 rounds to 74; grows from the bottom.
        bar->setValue(25);
        img = render(*bar, 20, 100, m_palette.get());
        QCOMPARE(img.pixel(10, 73), kWhite);
        QCOMPARE(img.pixel(10, 74), kRed);
        QCOMPARE(img.pixel(1, 98), kRed);
        QCOMPARE(img.pixel(18, 98), kRed);
        QCOMPARE(img.pixel(10, 99), kLight); // bottom border

        // Vertical segments: the top edge moves down to whole steps (79), gaps
        // every 10 up from the bottom.
        bar->setSegments(true);
        img = render(*bar, 20, 100, m_palette.get());
        QCOMPARE(img.pixel(10, 78), kWhite);
        QCOMPARE(img.pixel(10, 79), kRed);
        QCOMPARE(img.pixel(10, 88), kRed);
        QCOMPARE(img.pixel(10, 89), kWhite);
        QCOMPARE(img.pixel(10, 90), kWhite);
        QCOMPARE(img.pixel(10, 91), kRed);
        QCOMPARE(img.pixel(10, 98), kRed);

        // A square area is vertical: at 50 % the lower half fills across.
        bar->setSegments(false);
        bar->setValue(50);
        img = render(*bar, 30, 30, m_palette.get());
        QCOMPARE(img.pixel(28, 15), kRed);
        QCOMPARE(img.pixel(1, 15), kRed);
        QCOMPARE(img.pixel(1, 14), kWhite);

        // Rounding goes to the even neighbour on halves: 1 + 195 * 0.5 = 98.5 -> 98.
        img = render(*bar, 197, 20, m_palette.get());
        QCOMPARE(img.pixel(97, 10), kRed);
        QCOMPARE(img.pixel(98, 10), kWhite);
    }

    void captionPasses()
    {
        // Half covered: BarForeColor over the bar, ForeColor beyond it.
        auto bar = classic(50, White, Black);
        bar->setForeColor(Red);
        bar->setBarForeColor(Green);
        bar->setText(QStringLiteral("MMMMMMMMMMMMMMMMMMMM"));
        bar->setShowText(true);
        QImage img = render(*bar, 200, 20, m_palette.get());
        const QRect over(1, 1, 99, 18), beyond(100, 1, 99, 18);
        QVERIFY(countIn(img, over, greenish) > 20);
        QCOMPARE(countIn(img, over, reddish), 0);
        QVERIFY(countIn(img, beyond, reddish) > 20);
        QCOMPARE(countIn(img, beyond, greenish), 0);

        // A colour that cannot be translated keeps the one set before it.
        bar->setBarForeColor(qint32(0x7F000000));
        img = render(*bar, 200, 20, m_palette.get());
        QVERIFY(countIn(img, over, reddish) > 20);

        // No caption without text or without ShowText.
        auto plain = classic(50, White, Black);
        const QImage none = render(*plain, 200, 20, m_palette.get());
        bar->setText(QString());
        QCOMPARE(render(*bar, 200, 20, m_palette.get()), none);
        bar->setText(QStringLiteral("Hello"));
        bar->setShowText(false);
        QCOMPARE(render(*bar, 200, 20, m_palette.get()), none);

        // Classic captions carry one space each side and follow the alignment
        // flags: compare with the same text drawn by hand in the inner area.
        bar->setValue(0);
        bar->setShowText(true);
        const QRect inner(1, 1, 198, 18);
        const struct
        {
            int x, y;
            Qt::Alignment align;
        } cases[] = {{0, 1, Qt::AlignLeft | Qt::AlignVCenter},
                     {1, 0, Qt::AlignHCenter | Qt::AlignTop},
                     {2, 2, Qt::AlignRight | Qt::AlignBottom}};
        for (const auto& c : cases) {
            bar->setTextAlignX(c.x);
            bar->setTextAlignY(c.y);
            img = render(*bar, 200, 20, m_palette.get());
            QImage ref(200, 20, QImage::Format_RGB32);
            ref.fill(kWhite);
            {
                QPainter p(&ref);
                p.setFont(bar->Font());
                p.setPen(QColor(kRed));
                p.drawText(inner, int(c.align) | Qt::TextSingleLine, QStringLiteral(" Hello "));
            }
            QCOMPARE(img.copy(inner), ref.copy(inner));
        }
    }

    void borders_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("appearance");
        QTest::addColumn<QList<QPoint>>("points");
        QTest::addColumn<QList<QRgb>>("colours");
        const QRgb K = qRgb(0, 0, 0), W = kWhite, R = kRed;
        // 20 x 12, full bar in red, white behind.
        QTest::newRow("sunken flat") << 1 << 0 << QList<QPoint>{{0, 0}, {19, 0}, {19, 11}, {0, 11}, {1, 1}}
                                     << QList<QRgb>{K, K, K, K, R};
        QTest::newRow("raised flat") << 2 << 0 << QList<QPoint>{{0, 0}, {19, 11}, {1, 1}}
                                     << QList<QRgb>{K, K, R};
        QTest::newRow("thin sunken") << 1 << 1 << QList<QPoint>{{0, 0},  {19, 0},  {0, 11}, {0, 5},
                                                                {19, 1}, {19, 11}, {1, 11}, {1, 1}}
                                     << QList<QRgb>{kDark, kDark, kDark, kDark, kLight, kLight, kLight, R};
        // Drawn on the shrunken rectangle: the outer ring keeps the background.
        QTest::newRow("thin raised") << 2 << 1 << QList<QPoint>{{0, 0},  {1, 1},   {1, 9},  {17, 1},
                                                                {18, 1}, {18, 10}, {1, 10}, {2, 2}}
                                     << QList<QRgb>{W, kLight, kLight, kLight, kDark, kDark, kDark, R};
        QTest::newRow("3-D sunken") << 1 << 2 << QList<QPoint>{{0, 0}, {0, 5},  {19, 0}, {19, 5}, {0, 11},
                                                               {1, 1}, {18, 5}, {5, 10}, {2, 2}}
                                    << QList<QRgb>{kShadow, kShadow,   kLight,    kLight, kLight,
                                                   kDark,   kMidlight, kMidlight, R};
        QTest::newRow("3-D raised") << 2 << 2
                                    << QList<QPoint>{{0, 0}, {19, 5}, {5, 11}, {1, 1}, {18, 5}, {2, 2}}
                                    << QList<QRgb>{kLight, kShadow, kShadow, kMidlight, kDark, R};
        QTest::newRow("unknown appearance") << 1 << 3 << QList<QPoint>{{0, 0}, {1, 1}} << QList<QRgb>{W, R};
        QTest::newRow("style 3 shrinks only")
            << 3 << 1 << QList<QPoint>{{0, 0}, {19, 5}, {1, 1}, {18, 10}} << QList<QRgb>{W, W, R, R};
        QTest::newRow("style 3, 3-D shrinks by 2")
            << 3 << 2 << QList<QPoint>{{1, 1}, {2, 2}} << QList<QRgb>{W, R};
        QTest::newRow("none") << 0 << 1 << QList<QPoint>{{0, 0}, {19, 11}} << QList<QRgb>{R, R};
    }

    void borders()
    {
        QFETCH(int, style);
        QFETCH(int, appearance);
        QFETCH(QList<QPoint>, points);
        QFETCH(QList<QRgb>, colours);
        auto bar = classic(100);
        bar->setBorderStyle(style);
        bar->setAppearance(appearance);
        const QImage img = render(*bar, 20, 12, m_palette.get());
        for (qsizetype i = 0; i < points.size(); ++i) {
            if (img.pixel(points[i]) != colours[i])
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is #%3, expected #%4")
                                     .arg(points[i].x())
                                     .arg(points[i].y())
                                     .arg(img.pixel(points[i]) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                                     .arg(colours[i] & 0xFFFFFF, 6, 16, QLatin1Char('0'))));
        }
    }

    void coloursAndPictures()
    {
        // System colours come from the target's palette.
        auto bar = classic(50, BtnFace, Highlight);
        QImage img = render(*bar, 20, 10, m_palette.get());
        QCOMPARE(img.pixel(3, 5), kHighlight);
        QCOMPARE(img.pixel(15, 5), kButton);
        // The default -1 names a colour there is none for: no fill happens, so
        // the surface keeps what the last frame left there.
        bar->setBackColor(-1);
        img = render(*bar, 20, 10, m_palette.get());
        QCOMPARE(img.pixel(15, 5), kButton);

        QImage pic(3, 2, QImage::Format_RGB32);
        for (int i = 0; i < 6; ++i)
            pic.setPixel(i % 3, i / 3, qRgb(10 + i * 40, 250 - i * 30, 7));

        // Tiled background from (0, 0); the copy is taken when set.
        bar = classic(0);
        bar->setBorderStyle(0);
        bar->setPicture(pic);
        const QImage original = pic.copy();
        pic.fill(Qt::red);
        pic = original;
        img = render(*bar, 10, 5, nullptr);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 10; ++x)
                QCOMPARE(img.pixel(x, y), pic.pixel(x % 3, y % 2));

        // Stretched: a red|blue picture splits the area in halves.
        QImage halves(2, 1, QImage::Format_RGB32);
        halves.setPixel(0, 0, kRed);
        halves.setPixel(1, 0, kHighlight);
        bar->setBackPictureMode(0);
        bar->setPicture(halves);
        img = render(*bar, 20, 10, nullptr);
        QCOMPARE(img.pixel(0, 9), kRed);
        QCOMPARE(img.pixel(9, 0), kRed);
        QCOMPARE(img.pixel(10, 9), kHighlight);
        QCOMPARE(img.pixel(19, 0), kHighlight);

        // Releasing the picture brings the colour back.
        bar->setPicture(QImage());
        img = render(*bar, 20, 10, nullptr);
        QCOMPARE(img.pixel(10, 5), kWhite);

        // The bar picture is tiled over the whole area but shows only in the bar.
        bar->setValue(50);
        bar->setBarPicture(QPixmap::fromImage(pic));
        img = render(*bar, 20, 10, nullptr);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x)
                QCOMPARE(img.pixel(x, y), x < 10 ? pic.pixel(x % 3, y % 2) : kWhite);
        // Themed too, it stays within the bar instead of covering the groove
        // (1 + 18 = 19 snaps to 11 in steps of 10).
        RecordingStyle style(10);
        bar->setValue(100);
        bar->setBorderStyle(1);
        QWidget host;
        host.setStyle(&style);
        bar->setXpStyle(true);
        img = render(*bar, 20, 10, &host);
        QCOMPARE(img.pixel(15, 5), qRgb(0, 128, 0));
        QCOMPARE(img.pixel(2, 5), pic.pixel(2, 1));
    }

    void themed()
    {
        RecordingStyle style(10);
        QWidget host;
        host.setStyle(&style);
        cProgressBar bar;
        bar.setXpStyle(true);
        bar.setValue(50);
        bar.setText(QStringLiteral("Hello"));
        bar.setShowText(true);

        // The step is the style's chunk; the groove gets the whole area and the
        // bar end snaps as in segments (1 + 198 * 0.5 = 100 -> 91).
        QImage img = render(bar, 200, 20, &host);
        QVERIFY(style.horizontal);
        QCOMPARE(style.groove, QRect(0, 0, 200, 20));
        QCOMPARE(style.contents, QRect(1, 1, 90, 18));
        QCOMPARE(style.labelText, QStringLiteral("Hello")); // no added spaces
        QVERIFY(QRect(1, 1, 198, 18).contains(style.labelRect));
        // No border of its own over the style's frame.
        QCOMPARE(img.pixel(0, 0), qRgb(0, 128, 0));
        QCOMPARE(img.pixel(199, 19), qRgb(0, 128, 0));

        // Vertical: the top edge moves down to whole steps: 74 -> 79.
        bar.setValue(25);
        render(bar, 20, 100, &host);
        QVERIFY(!style.horizontal);
        QCOMPARE(style.contents, QRect(1, 79, 18, 20));

        // A style without a usable chunk metric paints classic.
        for (int metric : {0, -3}) {
            RecordingStyle bad(metric);
            QWidget other;
            other.setPalette(m_palette->palette());
            other.setStyle(&bad);
            bar.setBackColor(White);
            img = render(bar, 200, 20, &other);
            QCOMPARE(bad.groove, QRect());
            QCOMPARE(img.pixel(0, 0), kDark);
            QCOMPARE(img.pixel(150, 3), kWhite);
        }
    }

    void repaintsAndSurfaceReuse()
    {
        cProgressBar bar;
        bar.setValue(10); // no target: nothing to paint
        QCOMPARE(bar.frameCount(), 0);

        auto host = std::make_unique<QWidget>();
        host->resize(200, 20);
        bar.setDrawObject(host.get());
        QCOMPARE(bar.frameCount(), 1);
        const QImage* surface = bar.surface().image();
        QVERIFY(surface);
        QCOMPARE(surface->size(), QSize(200, 20));
        const uchar* bits = surface->constBits();

        // Every setter repaints once, even with an unchanged value; Tag never.
        int frames = bar.frameCount();
        bar.setTag(QStringLiteral("5"));
        QCOMPARE(bar.frameCount(), frames);
        QCOMPARE(bar.Tag(), QStringLiteral("5"));
        bar.setValue(10);
        bar.setValue(10);
        bar.setMin(0);
        bar.setMax(100);
        bar.setXpStyle(true);
        bar.setSegments(false);
        bar.setText(QString());
        bar.setShowText(false);
        bar.setTextAlignX(1);
        bar.setTextAlignY(1);
        bar.setBorderStyle(1);
        bar.setAppearance(1);
        bar.setBackColor(-1);
        bar.setForeColor(0);
        bar.setBarColor(-1);
        bar.setBarForeColor(White);
        bar.setFont(bar.Font());
        bar.setPicture(QImage());
        bar.setBarPicture(QImage());
        bar.setBackPictureMode(1);
        bar.setBarPictureMode(1);
        bar.setDrawObject(host.get());
        QCOMPARE(bar.frameCount(), frames + 22);

        // The frame surface is kept from frame to frame.
        for (int v = 0; v <= 100; v += 5)
            bar.setValue(v);
        QCOMPARE(bar.surface().image()->constBits(), bits);
        // Made anew only when the target grows, kept when it shrinks.
        host->resize(300, 20);
        bar.Draw();
        QCOMPARE(bar.surface().image()->size(), QSize(300, 20));
        host->resize(100, 10);
        bar.Draw();
        QCOMPARE(bar.surface().image()->size(), QSize(300, 20));

        // A zero-sized area copies nothing, not the stale surface.
        QImage target(50, 50, QImage::Format_RGB32);
        target.fill(qRgb(1, 2, 3));
        {
            QPainter p(&target);
            bar.DrawToDC(host.get(), &p, 5, 5, 5, 15);
        }
        QCOMPARE(target.pixel(10, 10), qRgb(1, 2, 3));

        // On screen the composed frame reaches the widget in one blit, without
        // composing it again.
        host->resize(200, 20);
        bar.setXpStyle(false);
        bar.setBackColor(White);
        bar.setBarColor(Red);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        frames = bar.frameCount();
        const int blits = bar.blitCount();
        bar.setValue(50);
        QCOMPARE(bar.frameCount(), frames + 1);
        QCOMPARE(bar.blitCount(), blits + 1);
        const QImage shown = host->grab().toImage();
        QCOMPARE(shown.pixel(20, 10), kRed);
        QCOMPARE(shown.pixel(150, 10), kWhite);

        // The target may go first.
        host.reset();
        QCOMPARE(bar.DrawObject(), nullptr);
        frames = bar.frameCount();
        bar.setValue(60);
        QCOMPARE(bar.frameCount(), frames);
    }
};

QTEST_MAIN(tst_cProgressBar)
#include "tst_cprogressbar.moc"
