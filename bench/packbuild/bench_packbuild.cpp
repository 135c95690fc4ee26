// Usage: bench_packbuild SRC PACK [--every-caption]
// Adds every folder in SRC to a real wizard window on its files page, then
// builds the pack from the save page as Next does. Prints, for the add and for
// the build, the wall time, how often the page painted and the longest stretch
// without a paint (from the start to the first paint, between paints, and from
// the last to the end), and the longest stretches over 50 ms with what the
// progress page said on either side.
// --every-caption shows every file's caption as it comes, for comparison.
#include "wizard/Fonts.h"
#include "wizard/frmPackage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Notes the time of every paint of the progress page's two widgets.
class PaintClock final : public QObject
{
public:
    explicit PaintClock(const QElapsedTimer& clock) : m_clock(clock) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && armed) {
            stamps.append(m_clock.nsecsElapsed());
            labels.append(label ? label->text() : QString());
        }
        return QObject::eventFilter(watched, event);
    }
    bool armed = false;
    QList<qint64> stamps;
    // What the page said at each paint, to tell where a long gap fell.
    const QLabel* label = nullptr;
    QStringList labels;

    // The longest gaps over 50 ms, longest first, with the time they began and
    // what the page said before and after.
    void PrintSlowGaps(const char* what, qint64 end) const
    {
        struct Gap
        {
            qint64 length, at;
            QString before, after;
        };
        QList<Gap> gaps;
        qint64 last = 0;
        QString before = QStringLiteral("(start)");
        for (qsizetype i = 0; i <= stamps.size(); ++i) {
            const qint64 t = i < stamps.size() ? stamps.at(i) : end;
            const QString after = i < stamps.size() ? labels.at(i) : QStringLiteral("(end)");
            if (t - last > 50'000'000)
                gaps.append(Gap{t - last, last, before, after});
            last = t;
            before = after;
        }
        std::sort(gaps.begin(), gaps.end(), [](const Gap& a, const Gap& b) { return a.length > b.length; });
        for (qsizetype i = 0; i < gaps.size() && i < 5; ++i)
            std::printf("  %s gap %.1f ms at %.3f s: '%s' -> '%s'\n", what, gaps.at(i).length / 1e6,
                        gaps.at(i).at / 1e9, qPrintable(gaps.at(i).before), qPrintable(gaps.at(i).after));
    }

    qint64 LongestGap(qint64 end) const
    {
        qint64 worst = stamps.isEmpty() ? end : stamps.first();
        for (qsizetype i = 1; i < stamps.size(); ++i)
            worst = qMax(worst, stamps.at(i) - stamps.at(i - 1));
        if (!stamps.isEmpty())
            worst = qMax(worst, end - stamps.last());
        return worst;
    }

private:
    const QElapsedTimer& m_clock;
};

} // namespace

int main(int argc, char** argv)
{
    // The time zone named once, as the program's own main does.
    if (std::getenv("TZ") == nullptr)
        setenv("TZ", ":/etc/localtime", 1);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool everyCaption = args.size() == 4 && args.at(3) == QStringLiteral("--every-caption");
    if (args.size() != 3 && !everyCaption) {
        std::fprintf(stderr, "usage: bench_packbuild SRC PACK [--every-caption]\n");
        return 2;
    }
    Fonts::RegisterWindowFonts();
    frmPackage form;
    form.show();
    if (everyCaption)
        form.ProgressPaintIntervalMs = 0;
    form.txtScriptName->setText(QStringLiteral("Benchmark"));
    // Something keeps asking for a repaint, as a window dragged across this
    // one would, so a paint lands each time the add or the build lets the loop run.
    QTimer expose;
    expose.setInterval(10);
    expose.start();

    form.ShowPage(2);
    QApplication::processEvents();
    QElapsedTimer addClock;
    PaintClock addPaints(addClock);
    form.tvFiles->viewport()->installEventFilter(&addPaints);
    const auto exposeFiles =
        QObject::connect(&expose, &QTimer::timeout, form.tvFiles->viewport(), qOverload<>(&QWidget::update));
    addClock.start();
    addPaints.armed = true;
    const QDir src(args.at(1));
    for (const QString& folder : src.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!form.AddFolderToTree(src.filePath(folder))) {
            std::fprintf(stderr, "could not add %s\n", qPrintable(folder));
            return 1;
        }
    }
    addPaints.armed = false;
    const qint64 addEnd = addClock.nsecsElapsed();
    QObject::disconnect(exposeFiles);
    std::printf("add %.3f s, %lld paints, longest gap %.1f ms\n", addEnd / 1e9,
                static_cast<long long>(addPaints.stamps.size()), addPaints.LongestGap(addEnd) / 1e6);
    addPaints.PrintSlowGaps("add", addEnd);
    form.ShowPage(5);
    form.txtPackPath->setText(args.at(2));

    QElapsedTimer clock;
    PaintClock paints(clock);
    paints.label = form.lblProgress;
    form.picProgress->installEventFilter(&paints);
    form.lblProgress->installEventFilter(&paints);
    QObject::connect(&expose, &QTimer::timeout, form.picProgress, qOverload<>(&QWidget::update));
    // BENCH_SHOT=file.png keeps a picture of the window a second and a half into the build.
    const QString shot = qEnvironmentVariable("BENCH_SHOT");
    if (!shot.isEmpty())
        QTimer::singleShot(1500, &form, [&form, shot] { form.grab().save(shot); });
    clock.start();
    paints.armed = true;
    form.cmdNext_Click();
    paints.armed = false;
    const qint64 end = clock.nsecsElapsed();

    const qint64 worst = paints.LongestGap(end);
    const bool ok = form.lblHooray->text().startsWith(QStringLiteral("Script Pack has"));
    std::printf("build %.3f s, %lld paints, longest gap %.1f ms, %s\n", end / 1e9,
                static_cast<long long>(paints.stamps.size()), worst / 1e6, ok ? "built" : "FAILED");
    paints.PrintSlowGaps("build", end);
    return ok ? 0 : 1;
}
