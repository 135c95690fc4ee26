// Adds folder trees of growing size through the wizard window (all three
// views attached, window shown on the files page) and prints the times.
#include "pack/contents/PackContents.h"
#include "wizard/frmPackage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

namespace {

// files spread evenly over `folders` folders: 20 top folders under the root, the rest below them.
void MakeTree(const QString& root, int files, int folders)
{
    QStringList dirs{root};
    for (int i = 1; i < folders; ++i) {
        const QString parent = i <= 20 ? root : dirs[1 + (i - 21) % 20];
        dirs << parent + QStringLiteral("/d%1").arg(i);
        QDir().mkpath(dirs.constLast());
    }
    for (int i = 0; i < files; ++i) {
        QFile f(dirs[i % folders] + QStringLiteral("/file%1.js").arg(i));
        f.open(QIODevice::WriteOnly);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int folders = 500;
    double base = 0;
    int baseFiles = 0;
    for (int files : {5000, 10000, 20000}) {
        QTemporaryDir tmp;
        const QString root = tmp.path() + QStringLiteral("/pack");
        MakeTree(root, files, folders);
        double best = 1e9;
        for (int run = 0; run < 3; ++run) {
            frmPackage form;
            form.show();
            form.ShowPage(2);
            QApplication::processEvents();
            QElapsedTimer t;
            t.start();
            form.AddFolderToTree(root);
            QApplication::processEvents(); // the views lay out what was added
            best = qMin(best, t.nsecsElapsed() / 1e6);
            if (form.contents->FileCount() != files)
                std::fprintf(stderr, "expected %d files, got %d\n", files, form.contents->FileCount());
        }
        if (!baseFiles) {
            base = best;
            baseFiles = files;
        }
        std::printf("%6d files in %d folders: %8.1f ms  (%.2f us/file, x%.2f time for x%.0f files)\n", files,
                    folders, best, best * 1000 / files, best / base, double(files) / baseFiles);
    }
    return 0;
}
