// Usage: bench_zip BASE FOLDER ARCHIVE
// One folder run as the pack build makes it (folder names, recursion,
// directory entries, comment): BASE is the folder holding FOLDER. Prints the
// code and the wall time of the run alone.
#include "pack/build/clsZip.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: bench_zip BASE FOLDER ARCHIVE\n");
        return 2;
    }
    clsZip zip;
    zip.setZipFile(args.at(3));
    zip.setBasePath(args.at(1));
    zip.setStoreFolderNames(true);
    zip.setRecurseSubDirs(true);
    zip.setStoreDirectories(true);
    zip.setAddComment(true);
    qint64 added = 0;
    QObject::connect(&zip, &clsZip::Progress, &app, [&](qint32, const QString& m) {
        if (m.startsWith(QLatin1String("  adding: ")) || m.startsWith(QLatin1String("updating: ")))
            ++added;
        else
            std::fprintf(stderr, "%s\n", qPrintable(m));
    });
    QObject::connect(&zip, &clsZip::CommentRequest, &app,
                     [](QString& c, bool&) { c = QStringLiteral("ScriptPack created using Bundlesmith"); });
    zip.AddFileSpec(args.at(2) + QStringLiteral("\\*.*"));
    QElapsedTimer t;
    t.start();
    zip.Zip();
    std::printf("code %d, %lld entries written, %.3f s\n", zip.LastResult(), static_cast<long long>(added),
                t.nsecsElapsed() / 1e9);
    return zip.Success() ? 0 : 1;
}
