#include "widgets/cProgressBar.h"

#include <QFile>
#include <QFontDatabase>
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
                                 {u'K', qRgb(0, 0, 0)},       {u'L', qRgb(255, 255, 0)},
                                 {u'D', qRgb(128, 0, 0)},     {u'M', qRgb(0, 255, 255)},
                                 {u'S', qRgb(0, 0, 128)},     {u'B', qRgb(192, 192, 192)},
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
            horizontal = o->state & State_Horizontal;
            p->fillRect(o->rect, kColour[u'G']);
        } else if (e == CE_ProgressBarContents) {
            contents = p->transform().mapRect(o->rect);
            p->fillRect(o->rect, kColour[u'H']);
        } else if (e == CE_ProgressBarLabel) {
            labelText = qstyleoption_cast<const QStyleOptionProgressBar*>(o)->text;
            labelRect = p->transform().mapRect(o->rect);
        } else {
            QProxyStyle::drawControl(e, o, p, w);
        }
    }
    int m_chunk;
    mutable QRect groove, contents, labelRect;
    mutable QString labelText;
    mutable bool horizontal = false;
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
        if (!QFontDatabase::families().contains(u"Tahoma"_s) &&
            QFile::exists(u"/usr/share/wine/fonts/tahoma.ttf"_s))
            QFontDatabase::addApplicationFont(u"/usr/share/wine/fonts/tahoma.ttf"_s);
        QPalette pal = m_host.palette();
        for (const auto& [role, c] : {std::pair{QPalette::Light, u'L'},
                                      {QPalette::Dark, u'D'},
                                      {QPalette::Midlight, u'M'},
                                      {QPalette::Shadow, u'S'},
                                      {QPalette::Button, u'B'},
                                      {QPalette::Highlight, u'H'}})
            pal.setColor(role, kColour[c]);
        m_host.setPalette(pal);
    }

    void percent()
    {
        cProgressBar bar;
        // Stored as given, shown clamped; extremes do not overflow; an empty range is full once reached.
        for (const auto& [min, max, value, percent] : {std::tuple{0, 100, -20, 0.0},
                                                       {0, 100, 250, 100.0},
                                                       {0, 100, 25, 25.0},
                                                       {INT_MIN, INT_MAX, INT_MAX, 100.0},
                                                       {5, 5, 4, 0.0},
                                                       {5, 5, 5, 100.0}}) {
            bar.setMin(min);
            bar.setMax(max);
            bar.setValue(value);
            QCOMPARE(bar.Value(), value);
            QCOMPARE(bar.Percent(), percent);
        }
    }

    // Classic painting (also where the style has no chunk size), white behind a red bar:
    // "x,y=C" probes, colours as in kColour.
    // Columns: width height value segments border appearance | probes.
    void classicPixels_data()
    {
        QTest::addColumn<QList<int>>("setup");
        QTest::addColumn<QString>("probes");
        const QString table =
            uR"(segments: blocks of 8 from 1 every 10, the last gap at the end 91 | 200 20 50 1 1 1 | 1,10=R 8,10=R 9,10=W 11,10=R 88,10=R 89,10=W 91,10=W 0,0=D
below Min | 200 20 -5 0 1 1 | 1,1=W 100,10=W 198,18=W
above Max | 200 20 500 0 1 1 | 1,1=R 198,18=R
vertical: 1 + 98 * 0.75 = 74.5 rounds to 74, from the bottom | 20 100 25 0 1 1 | 10,73=W 10,74=R 1,98=R 18,98=R 10,99=L
halves round to even: 98.5 | 197 20 50 0 1 1 | 97,10=R 98,10=W
thin sunken | 20 12 100 0 1 1 | 0,0=D 19,0=D 0,11=D 0,5=D 19,1=L 19,11=L 1,11=L 1,1=R
3-D sunken | 20 12 100 0 1 2 | 0,0=S 0,5=S 19,0=L 19,5=L 0,11=L 1,1=D 18,5=M 5,10=M 2,2=R
no border | 20 12 100 0 0 1 | 0,0=R 19,11=R)"_s;
        for (const QString& row : table.split(u'\n')) {
            const QStringList cols = row.split(u" | "_s);
            QList<int> setup;
            for (const QString& n : cols[1].split(u' '))
                setup << n.toInt();
            QTest::newRow(qPrintable(cols[0])) << setup << cols[2];
        }
    }

    void classicPixels()
    {
        QFETCH(QList<int>, setup);
        QFETCH(QString, probes);
        auto bar = classic(setup[2]);
        bar->setSegments(setup[3]);
        bar->setBorderStyle(setup[4]);
        bar->setAppearance(setup[5]);
        const QImage img = render(*bar, {setup[0], setup[1]}, &m_host);
        for (const QString& probe : probes.split(u' ')) {
            const QStringList xy = probe.chopped(2).split(u',');
            const QRgb got = img.pixel(xy[0].toInt(), xy[1].toInt());
            QVERIFY2(got == kColour[probe.back()],
                     qPrintable(u"%1 is #%2"_s.arg(probe).arg(got & 0xFFFFFF, 6, 16)));
        }
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
        QVERIFY(style.horizontal);
        QCOMPARE(style.groove, QRect(0, 0, 200, 20));
        QCOMPARE(style.contents, QRect(1, 1, 90, 18));
        QCOMPARE(style.labelText, u"Hello"_s); // no added spaces
        QVERIFY(QRect(1, 1, 198, 18).contains(style.labelRect));
        QVERIFY(img.pixel(0, 0) == kColour[u'G'] && img.pixel(199, 19) == kColour[u'G']);
        // Vertical: the top edge moves down to whole steps: 74 -> 79.
        bar.setValue(25);
        render(bar, {20, 100}, &host);
        QVERIFY(!style.horizontal);
        QCOMPARE(style.contents, QRect(1, 79, 18, 20));
        // A style without a usable chunk metric paints classic.
        for (int metric : {0, -3}) {
            RecordingStyle bad(metric);
            QWidget other;
            other.setPalette(m_host.palette());
            other.setStyle(&bad);
            bar.setBackColor(White);
            img = render(bar, {200, 20}, &other);
            QCOMPARE(bad.groove, QRect());
            QVERIFY(img.pixel(0, 0) == kColour[u'D'] && img.pixel(150, 3) == kColour[u'W']);
        }
    }

    void oneSurfaceOneBlit()
    {
        cProgressBar bar;
        auto host = std::make_unique<QWidget>();
        host->resize(200, 20);
        bar.setDrawObject(host.get());
        const uchar* bits = bar.surface().image()->constBits();
        // The frame surface is kept from frame to frame, made anew only when the target grows.
        for (int v = 0; v <= 100; v += 5)
            bar.setValue(v);
        QCOMPARE(bar.surface().image()->constBits(), bits);
        host->resize(300, 20);
        bar.Draw();
        host->resize(100, 10);
        bar.Draw();
        QCOMPARE(bar.surface().image()->size(), QSize(300, 20));
        // A zero-sized area copies nothing, not the stale surface.
        QImage target(50, 50, QImage::Format_RGB32);
        target.fill(qRgb(1, 2, 3));
        QPainter p(&target);
        bar.DrawToDC(host.get(), &p, 5, 5, 5, 15);
        p.end();
        QCOMPARE(target.pixel(10, 10), qRgb(1, 2, 3));

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
