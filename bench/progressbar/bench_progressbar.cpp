// Times frames of a 400 x 25 classic bar with a caption: composing alone, and
// composing plus the copy into a target image. Prints microseconds per frame
// and whether the frame surface stayed the same allocation throughout.
#include "widgets/cProgressBar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    if (QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf")))
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
    const int frames = argc > 1 ? std::atoi(argv[1]) : 20000;

    cProgressBar bar;
    bar.setBackColor(0xFFFFFF);
    bar.setBarColor(0xC07000);
    bar.setShowText(true);
    bar.setText(QStringLiteral("Adding File:  ScriptMain.js"));
    bar.setSegments(true);

    QImage target(400, 25, QImage::Format_RGB32);
    QPainter painter(&target);
    bar.DrawToDC(nullptr, &painter, 0, 0, 400, 25); // warm-up: makes the surface
    const uchar* bits = bar.surface().image()->constBits();

    const auto run = [&](QPainter* dc) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < frames; ++i) {
            bar.setValue(i % 101); // no target: only the value changes
            bar.DrawToDC(nullptr, dc, 0, 0, 400, 25);
        }
        return double(t.nsecsElapsed()) / 1000.0 / frames;
    };
    for (bool segments : {true, false}) {
        bar.setSegments(segments);
        const double compose = run(nullptr);
        const double withCopy = run(&painter);
        std::printf(
            "400x25 classic, caption, segments %-3s: compose %.1f us/frame, compose+copy %.1f us/frame "
            "(budget 200 us: %.0fx headroom)\n",
            segments ? "on" : "off", compose, withCopy, 200.0 / withCopy);
    }
    std::printf("frame surface reused across %d frames: %s\n", 4 * frames,
                bar.surface().image()->constBits() == bits ? "yes" : "NO");
    return 0;
}
