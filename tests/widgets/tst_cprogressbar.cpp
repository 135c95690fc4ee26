#include "widgets/cProgressBar.h"

#include <QAccessible>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionProgressBar>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// OLE colours are 0x00BBGGRR; the system colours come from the palette below.
constexpr qint32 White = 0xFFFFFF, Red = 0x0000FF;
const QHash<QChar, QRgb> kColour{{u'W', qRgb(255, 255, 255)}, {u'R', qRgb(255, 0, 0)},
                                 {u'L', qRgb(255, 255, 0)},   {u'D', qRgb(128, 0, 0)},
                                 {u'H', qRgb(0, 0, 255)},     {u'G', qRgb(0, 128, 0)}};

// Paints the groove in one colour (G) and the bar in another (H), and records what it was asked.
class RecordingStyle : public QProxyStyle
{
public:
    explicit RecordingStyle(int chunk) : QProxyStyle(QStyleFactory::create(u"Fusion"_s)), m_chunk(chunk) {}
    int pixelMetric(PixelMetric m, const QStyleOption* o, const QWidget* w) const override
    {
        return m == PM_ProgressBarChunkWidth ? m_chunk : QProxyStyle::pixelMetric(m, o, w);
    }
    void drawControl(ControlElement e, const QStyleOption* o, QPainter* p, const QWidget* w) const override
    {
        if (e == CE_ProgressBarGroove) {
            groove = p->transform().mapRect(o->rect);
            p->fillRect(o->rect, kColour[u'G']);
        } else if (e == CE_ProgressBarContents) {
            contents = p->transform().mapRect(o->rect);
            p->fillRect(o->rect, kColour[u'H']);
        } else {
            QProxyStyle::drawControl(e, o, p, w);
        }
    }
    int m_chunk;
    mutable QRect groove, contents;
};

QImage render(cProgressBar& bar, QSize size, QWidget* host)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(qRgb(1, 2, 3));
    QPainter p(&img);
    bar.DrawToDC(host, &p, 0, 0, size.width(), size.height());
    return img;
}

} // namespace

class tst_cProgressBar : public QObject
{
    Q_OBJECT

    QWidget m_host; // its palette supplies the system colours

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
        QPalette pal = m_host.palette();
        pal.setColor(QPalette::Dark, kColour[u'D']);
        pal.setColor(QPalette::Light, kColour[u'L']);
        m_host.setPalette(pal);
    }

    // A screen reader finds a progress bar on the surface, with the bar's value.
    void accessible()
    {
        QWidget surface;
        cProgressBar bar;
        bar.setDrawObject(&surface);
        bar.setMax(200);
        bar.setValue(50);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&surface);
        QVERIFY(a && a->valueInterface());
        QCOMPARE(a->role(), QAccessible::ProgressBar);
        QCOMPARE(a->valueInterface()->currentValue().toInt(), 50);
        QCOMPARE(a->valueInterface()->maximumValue().toInt(), 200);
        QCOMPARE(a->text(QAccessible::Value), u"25%"_s);
    }

    void themed()
    {
        RecordingStyle style(10);
        QWidget host;
        host.setStyle(&style);
        cProgressBar bar;
        bar.setXpStyle(true);
        bar.setValue(50);
        bar.setText(u"Hello"_s);
        bar.setShowText(true);
        // The step is the style's chunk; the groove gets the whole area and the bar end snaps
        // as in segments (1 + 198 * 0.5 = 100 -> 91); no border of its own over the style's.
        QImage img = render(bar, {200, 20}, &host);
        QCOMPARE(style.groove, QRect(0, 0, 200, 20));
        QCOMPARE(style.contents, QRect(1, 1, 90, 18));
        QVERIFY(img.pixel(0, 0) == kColour[u'G'] && img.pixel(199, 19) == kColour[u'G']);
        // A style without a usable chunk metric paints classic: a thin sunken border, the bar
        // end rounded to even (1 + 198 * 0.5 = 100), white beyond.
        bar.setBackColor(White);
        bar.setBarColor(Red);
        bar.setValue(50);
        for (int metric : {0, -3}) {
            RecordingStyle bad(metric);
            QWidget other;
            other.setPalette(m_host.palette());
            other.setStyle(&bad);
            img = render(bar, {200, 20}, &other);
            QCOMPARE(bad.groove, QRect());
            QVERIFY(img.pixel(0, 0) == kColour[u'D'] && img.pixel(199, 19) == kColour[u'L']);
            QVERIFY(img.pixel(1, 2) == kColour[u'R'] && img.pixel(99, 2) == kColour[u'R']);
            QVERIFY(img.pixel(100, 2) == kColour[u'W'] && img.pixel(198, 18) == kColour[u'W']);
        }
    }

    void oneSurfaceOneBlit()
    {
        cProgressBar bar;
        auto host = std::make_unique<QWidget>();
        host->resize(200, 20);
        bar.setDrawObject(host.get());
        // On screen each change is composed once and reaches the widget in one blit.
        host->resize(200, 20);
        bar.setBackColor(White);
        bar.setBarColor(Red);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        const int frames = bar.frameCount(), blits = bar.blitCount();
        bar.setValue(50);
        QVERIFY(bar.frameCount() == frames + 1 && bar.blitCount() == blits + 1);
        const QImage shown = host->grab().toImage();
        QVERIFY(shown.pixel(20, 10) == kColour[u'R'] && shown.pixel(150, 10) == kColour[u'W']);
        // The target may go first.
        host.reset();
        QCOMPARE(bar.DrawObject(), nullptr);
        bar.setValue(60);
        QCOMPARE(bar.frameCount(), frames + 1);
    }
};

QTEST_MAIN(tst_cProgressBar)
#include "tst_cprogressbar.moc"
