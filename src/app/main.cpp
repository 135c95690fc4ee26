#include "app/PackCommand.h"
#include "platform/Console.h"
#include "platform/Language.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#ifdef BUNDLESMITH_WIZARD_LINKED
#include "wizard/Module1.h"
#else
#include <climits>
#include <dlfcn.h>
#include <string>
#endif

namespace {

#ifndef BUNDLESMITH_WIZARD_LINKED
// The window lives in a module of its own: a command-line run then never loads
// Qt Gui, Qt Widgets and the libraries they pull in, which used to be half of
// its start-up. It is looked for relative to the running executable (the
// real file, whatever name or folder it was started by): beside it, as the
// build writes them, and in ../lib/bundlesmith, as they are installed. No
// folder of the machine that built it is written into the program.
int RunWindow(int argc, char** argv)
{
    std::string candidates[2];
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string folder(self, static_cast<size_t>(length));
        folder.erase(folder.find_last_of('/') + 1);
        candidates[0] = folder + BUNDLESMITH_WIZARD_FILE;
        candidates[1] = folder + "../lib/bundlesmith/" + BUNDLESMITH_WIZARD_FILE;
    }

    std::string reason;
    bool reasonIsThere = false;
    for (const std::string& path : candidates) {
        if (path.empty())
            continue;
        if (void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            using Entry = int (*)(int, char**);
            if (auto entry = reinterpret_cast<Entry>(dlsym(module, "bundlesmith_wizard_main")))
                return entry(argc, argv);
        }
        // A module that is there but does not load says more than one that is missing.
        const char* error = dlerror();
        const bool there = access(path.c_str(), F_OK) == 0;
        if (reason.empty() || (there && !reasonIsThere)) {
            reason = error ? error : path;
            reasonIsThere = there;
        }
    }
    std::fprintf(stderr, "bundlesmith: cannot open the window: %s\n", reason.c_str());
    return EXIT_FAILURE;
}
#else
int RunWindow(int argc, char** argv)
{
    return Main(argc, argv);
}
#endif

} // namespace

int main(int argc, char** argv)
{
#ifndef Q_OS_WIN
    // With TZ unset the C library checks /etc/localtime again on every
    // local-time conversion, several per packed file; named, the zone is
    // read once. Qt takes this value to mean the system's zone, as unset does.
    if (std::getenv("TZ") == nullptr)
        setenv("TZ", ":/etc/localtime", 1);
#endif
    // Each as given, a leading U+FEFF too (Qt's own conversion drops it):
    // it may begin a file's name.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        QStringDecoder decoder(QStringConverter::System, QStringConverter::Flag::ConvertInitialBom);
        arguments << decoder.decode(QByteArrayView(argv[i]));
    }
    if (!IsCommandLine(arguments))
        return RunWindow(argc, argv);

    // The command line needs no display: a build server has none.
    QCoreApplication app(argc, argv);
    Console::CatchInterrupts();
    Language::InstallTranslations();
    QCoreApplication::setApplicationName(QStringLiteral("Bundlesmith"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunCommandLine(arguments, out, err, isatty(fileno(stderr)) != 0);
}
