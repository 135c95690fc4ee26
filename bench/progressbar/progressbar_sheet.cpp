// Renders a sheet of progress bar variants to a PNG (default
// docs/progressbar-sheet.png) so their look can be checked by eye.
#include "widgets/cProgressBar.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QStyleFactory>
#include <functional>
#include <memory>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf")))
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("progressbar-sheet.png");

    QImage sheet(560, 470, QImage::Format_RGB32);
    sheet.fill(QApplication::palette().color(QPalette::Window));
    QPainter p(&sheet);
    QFont labelFont(QStringLiteral("Tahoma"));
    labelFont.setPointSize(8);
    QWidget host; // palette and style source
    QWidget fusionHost;
    fusionHost.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    int y = 8;
    const auto row = [&](const QString& label, int w, int h, QWidget* hWnd,
                         const std::function<void(cProgressBar&)>& setup) {
        p.setFont(labelFont);
        p.setPen(Qt::black);
        p.drawText(QRect(8, y, 140, h), Qt::AlignVCenter | Qt::AlignLeft, label);
        cProgressBar bar;
        bar.setBackColor(0xFFFFFF);
        bar.setBarColor(0xC07000);
        bar.setValue(50);
        setup(bar);
        bar.DrawToDC(hWnd, &p, 150, y, 150 + w, y + h);
        y += h + 8;
    };
    QImage tile(6, 6, QImage::Format_RGB32);
    for (int i = 0; i < 36; ++i)
        tile.setPixel(i % 6, i / 6, ((i % 6) + (i / 6)) % 2 ? qRgb(250, 220, 120) : qRgb(230, 160, 60));
    QImage gradient(64, 1, QImage::Format_RGB32);
    for (int x = 0; x < 64; ++x)
        gradient.setPixel(x, 0, qRgb(40 + x * 3, 200 - x * 2, 90));

    row("classic", 400, 20, &host, [](cProgressBar&) {});
    row("segments 50 %", 400, 20, &host, [](cProgressBar& b) { b.setSegments(true); });
    row("caption centred", 400, 20, &host, [](cProgressBar& b) {
        b.setShowText(true);
        b.setText(QStringLiteral("Adding File:  ScriptMain.js"));
    });
    row("caption left, segments", 400, 20, &host, [](cProgressBar& b) {
        b.setSegments(true);
        b.setShowText(true);
        b.setTextAlignX(0);
        b.setForeColor(0x800000);
        b.setText(QStringLiteral("Adding File:  Tom & Jerry.js"));
    });
    row("flat border", 400, 20, &host, [](cProgressBar& b) { b.setAppearance(0); });
    row("raised thin", 400, 20, &host, [](cProgressBar& b) { b.setBorderStyle(2); });
    row("sunken 3-D", 400, 20, &host, [](cProgressBar& b) { b.setAppearance(2); });
    row("raised 3-D", 400, 20, &host, [](cProgressBar& b) {
        b.setBorderStyle(2);
        b.setAppearance(2);
    });
    row("system colours", 400, 20, &host, [](cProgressBar& b) {
        b.setBackColor(qint32(0x8000000F));
        b.setBarColor(qint32(0x8000000D));
        b.setShowText(true);
        b.setText(QStringLiteral("75 %"));
        b.setValue(75);
    });
    row("pictures tiled / stretched", 400, 20, &host, [&](cProgressBar& b) {
        b.setPicture(tile);
        b.setBarPicture(gradient);
        b.setBarPictureMode(0);
    });
    row("themed (Fusion), caption", 400, 20, &fusionHost, [](cProgressBar& b) {
        b.setXpStyle(true);
        b.setShowText(true);
        b.setText(QStringLiteral("Adding File:  ScriptMain.js"));
    });
    row("themed 20 %", 400, 20, &fusionHost, [](cProgressBar& b) {
        b.setXpStyle(true);
        b.setValue(20);
    });
    const int top = y;
    int x = 150;
    for (int v : {25, 60, 100}) {
        for (bool seg : {false, true}) {
            cProgressBar bar;
            bar.setBackColor(0xFFFFFF);
            bar.setBarColor(0xC07000);
            bar.setSegments(seg);
            bar.setValue(v);
            bar.DrawToDC(&host, &p, x, top, x + 20, top + 100);
            x += 28;
        }
    }
    cProgressBar themedV;
    themedV.setXpStyle(true);
    themedV.setValue(40);
    themedV.DrawToDC(&fusionHost, &p, x + 10, top, x + 30, top + 100);
    p.setFont(labelFont);
    p.setPen(Qt::black);
    p.drawText(QRect(8, top, 140, 100), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("vertical 25/60/100 %,\nplain and segments,\nthemed 40 %"));
    p.end();
    return sheet.save(out) ? 0 : 1;
}
