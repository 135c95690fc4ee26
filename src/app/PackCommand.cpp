#include "app/PackCommand.h"

#include "app/ConsoleBuildView.h"
#include "app/PackInputs.h"
#include "app/PackOptions.h"
#include "app/PackTarget.h"
#include "pack/build/clsZip.h"
#include "pack/build/makePack.h"
#include "pack/build/makePackXML.h"
#include "pack/contents/PackContents.h"
#include "pack/contents/PathPatterns.h"
#include "pack/contents/RegistrationMemory.h"
#include "platform/Console.h"
#include "version.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

// Texts a user reads, in the user's language.
class Text
{
    Q_DECLARE_TR_FUNCTIONS(PackCommand)
};

namespace {

const char* const Usage = QT_TRANSLATE_NOOP(
    "PackCommand", "Usage: bundlesmith [OLD.plsc | ScriptInfo.xml | FOLDER]\n"
                   "       bundlesmith pack [OPTION]... PATH...\n"
                   "       bundlesmith pack --from FOLDER [OPTION]...\n"
                   "\n"
                   "Without arguments the wizard starts; with a Script Pack, a ScriptInfo.xml or a\n"
                   "script folder it starts from that.\n"
                   "'pack' builds a Script Pack without a display. Each PATH is a folder (stored under\n"
                   "its own name with everything below it) or a file (stored at the root); the pack\n"
                   "holds the folders first, then the files, each in the order given. A ScriptInfo.xml\n"
                   "among them is the script's own manifest. ENTRY is a file's path in the pack, as\n"
                   "the manifest names it (lib\\x.dll or lib/x.dll).\n"
                   "\n"
                   "  --name NAME         script name, 1 to 127 characters\n"
                   "  --description TEXT  description (optional)\n"
                   "  --url URL           about URL (optional)\n"
                   "  --version V         script version (default 1.0)\n"
                   "  --com ENTRY         register ENTRY as a COM object (repeatable)\n"
                   "  --dotnet ENTRY      register ENTRY with the .NET utility (repeatable)\n"
                   "  --from SOURCE       take name, description, URL, version, registrations and the\n"
                   "                      rest of the manifest from an earlier pack, a ScriptInfo.xml\n"
                   "                      or a script folder; the options above override them. Without\n"
                   "                      PATH, a folder's contents (or the ScriptInfo.xml's folder's)\n"
                   "                      are packed at the root, as its author lays them out\n"
                   "  --exclude PATTERN   leave out what matches, by its path in the pack: '*.bak'\n"
                   "                      (a name at any depth), 'docs/**' (a path); repeatable\n"
                   "  --no-default-excludes\n"
                   "                      keep version-control data (.git, .svn, .hg, CVS) and desktop\n"
                   "                      files (Thumbs.db, desktop.ini, .DS_Store, __MACOSX), which\n"
                   "                      are otherwise left out of folders\n"
                   "  --strict            a name left out or a registration not carried over is an\n"
                   "                      error (exit 3), not a warning\n"
                   "  --list              print the entries the pack would hold, with their sizes, and\n"
                   "                      its manifest; write nothing\n"
                   "  -o, --output OUT    the pack to write (\".plsc\" is appended when missing); a\n"
                   "                      folder: NAME-VERSION.plsc in it; default: NAME-VERSION.plsc\n"
                   "                      in the current folder\n"
                   "  --force             replace OUT when it exists\n"
                   "  -q, --quiet         print nothing but errors\n"
                   "  -h, --help          show this text\n"
                   "\n"
                   "'bundlesmith --version' shows the program's version.\n"
                   "\n"
                   "Exit status: 0 written (or listed), 2 bad arguments, 3 refused input, 4 build\n"
                   "failed, 5 output exists (no --force), 130 or 143 interrupted (the old pack is\n"
                   "untouched).\n");

// Qt's own options of the window, and whether each takes a value.
const QList<std::pair<QLatin1String, bool>> WindowOptions = {
    {QLatin1String("platform"), true},        {QLatin1String("platformpluginpath"), true},
    {QLatin1String("platformtheme"), true},   {QLatin1String("plugin"), true},
    {QLatin1String("display"), true},         {QLatin1String("geometry"), true},
    {QLatin1String("qwindowgeometry"), true}, {QLatin1String("qwindowicon"), true},
    {QLatin1String("qwindowtitle"), true},    {QLatin1String("style"), true},
    {QLatin1String("stylesheet"), true},      {QLatin1String("session"), true},
    {QLatin1String("title"), true},           {QLatin1String("name"), true},
    {QLatin1String("reverse"), false},        {QLatin1String("nograb"), false},
    {QLatin1String("dograb"), false},         {QLatin1String("sync"), false},
    {QLatin1String("widgetcount"), false},
};

// The arguments less Qt's window options; false when one is not Qt's.
bool WithoutWindowOptions(const QStringList& arguments, QStringList& rest)
{
    rest = arguments.mid(0, 1);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            rest << a;
            continue;
        }
        const QString option =
            a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1).section(QLatin1Char('='), 0, 0);
        const auto known = std::find_if(WindowOptions.cbegin(), WindowOptions.cend(),
                                        [&option](const auto& o) { return option == o.first; });
        if (known == WindowOptions.cend())
            return false;
        if (known->second && !a.contains(QLatin1Char('=')))
            ++i;
    }
    return true;
}

// The wizard's messages are made for a message box (CR LF, an empty line).
QString ConsoleText(QString message)
{
    message.replace(QStringLiteral("\r\n\r\n"), QStringLiteral(" "));
    message.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return message;
}

int Interrupted(QTextStream& err)
{
    err << Text::tr("bundlesmith pack: interrupted; no pack was written, and an old one is as it was.")
        << Qt::endl;
    return 128 + Console::Interrupted();
}

int List(const ScriptPackInfo& info, const PackContents& contents, QTextStream& out)
{
    const RegistrationEntries reg = PackBuild::CollectRegistrations(contents);
    QString xml = makePackXML(info.Name, info.Description, info.AboutUrl, reg.HasComFiles, reg.ComFiles,
                              reg.HasDotNetFiles, reg.DotNetFiles, info.Version, info.Kept);
    for (const ListedEntry& e : PackEntries(contents, xml.toUtf8().size()))
        out << QStringLiteral("%1  ").arg(e.size, 10) << e.name << '\n';
    out << '\n' << xml.replace(QStringLiteral("\r\n"), QStringLiteral("\n")) << Qt::flush;
    return ExitWritten;
}

int Build(const ScriptPackInfo& info, const QString& target, const QString& reuseFrom,
          const PackContents& contents, QTextStream& out, QTextStream& err, int columns, bool quiet)
{
    PackRequest request;
    request.ScriptName = info.Name;
    request.ScriptDesc = info.Description;
    request.ScriptURL = info.AboutUrl;
    request.ScriptVersion = info.Version;
    request.PackPath = target;
    request.Contents = &contents;
    request.Kept = info.Kept;
    request.ReuseFrom = reuseFrom;
    clsZip zip;
    bool ok = false;
    QString why;
    {
        ConsoleBuildView view(err, columns);
        PackBuild build(zip, view);
        ok = build.makePack(request);
        why = build.LastError();
    }
    if (!ok && Console::Interrupted())
        return Interrupted(err);
    if (!ok) {
        err << Text::tr("There was an error creating the Script Pack.") << Qt::endl;
        if (!why.isEmpty())
            err << why << Qt::endl;
        return ExitBuildFailed;
    }
    if (!quiet)
        out << request.PackPath << Qt::endl;
    return ExitWritten;
}

// Checks the registrations against the files added: one asked for here must
// name a file of the pack; one carried over from a manifest may name a file
// this release dropped, which is said.
void CheckRegistrations(const PackOptions& o, const ScriptPackInfo& info, const QStringList& given,
                        const PackContents& contents, const PackAddHooks& hooks,
                        const std::function<void(const QString&)>& warn)
{
    for (const QString& entry : Unmatched(given, contents)) {
        const QStringList nearest = NearestEntries(entry, contents);
        hooks.refuse(Text::tr("No file of the Script Pack is named '%1'.").arg(entry) +
                     (nearest.isEmpty() ? QString()
                                        : Text::tr(" Nearest: %1.").arg(nearest.join(QStringLiteral(", ")))));
    }
    QStringList remembered;
    for (const QString& entry : info.OleFiles + info.DotNetFiles) {
        if (!given.contains(entry))
            remembered << entry;
    }
    const QString source = o.isSet(o.from) ? o.value(o.from) : QStringLiteral("ScriptInfo.xml");
    for (const QString& entry : Unmatched(remembered, contents))
        warn(Text::tr("'%1' was registered in '%2', but no file of the Script Pack is named so; it is "
                      "not registered now.")
                 .arg(entry, source));
}

int RunPack(const QStringList& arguments, QTextStream& out, QTextStream& err, bool progress)
{
    auto bad = [&err](const QString& why) {
        err << Text::tr("bundlesmith pack: %1\nTry 'bundlesmith pack --help'.").arg(why) << Qt::endl;
        return ExitBadArguments;
    };
    PackOptions o;
    if (const QString why = o.Parse(arguments); !why.isEmpty())
        return bad(why);
    if (o.isSet(o.help)) {
        out << Text::tr(Usage) << Qt::flush;
        return ExitWritten;
    }
    const bool quiet = o.isSet(o.quiet), strict = o.isSet(o.strict);

    ScriptPackInfo info;
    QString error;
    const QString manifest = ReadManifests(o, info, error);
    if (!error.isEmpty()) {
        err << error << Qt::endl;
        return ExitRefused;
    }
    if (o.paths().isEmpty() && info.ScriptFolder.isEmpty())
        return bad(Text::tr("no file or folder to pack."));
    QStringList given;
    if (const QString why = ApplyOptions(o, info, given); !why.isEmpty())
        return bad(why);

    QString target;
    if (!o.isSet(o.list)) {
        const QString output = o.value(o.output);
        const QStringList inputs = o.paths() << o.value(o.from);
        target = PackTarget(o.isSet(o.output) ? &output : nullptr, info.Name, info.Version, inputs, error);
        if (target.isEmpty())
            return bad(error);
        if (QFileInfo::exists(target) && !o.isSet(o.force)) {
            err << Text::tr("bundlesmith pack: '%1' exists; --force replaces it.").arg(target) << Qt::endl;
            return ExitOutputExists;
        }
    }

    PackContents contents;
    RegistrationMemory memory(contents);
    memory.Remember(info.OleFiles, info.DotNetFiles);
    bool refused = false;
    int warnings = 0;
    const std::function<void(const QString&)> warn = [&](const QString& message) {
        ++warnings;
        if (strict || !quiet)
            err << Text::tr("bundlesmith pack: %1").arg(message) << Qt::endl;
    };
    const PathPatterns exclude(o.parser.values(o.exclude));
    PackAddHooks hooks;
    hooks.refuse = [&](const QString& message) {
        refused = true;
        err << ConsoleText(message) << Qt::endl;
    };
    // Left out inside a folder, as the wizard leaves it out: said, one name a line, and packed without.
    hooks.skipped = [&](QString message) {
        warn(message.replace(QStringLiteral("\r\n\r\n"), QStringLiteral("\n  "))
                 .replace(QStringLiteral("\r\n"), QStringLiteral("\n  ")));
    };
    hooks.yield = [] { return Console::Interrupted() == 0; };
    hooks.defaultExcludes = !o.isSet(o.noDefaultExcludes);
    hooks.exclude = exclude.isEmpty() ? nullptr : &exclude;
    AddInputs(o, info, manifest, contents, hooks, warn);
    if (Console::Interrupted())
        return Interrupted(err);
    CheckRegistrations(o, info, given, contents, hooks, warn);
    if (refused || (strict && warnings > 0))
        return ExitRefused;
    if (o.isSet(o.list))
        return List(info, contents, out);
    const int columns = progress && !quiet ? qMax(Console::Columns(), 20) : 0;
    // A pack named by --from lends the entries of files unchanged since it was made.
    const QString reuseFrom = o.isSet(o.from) && info.ScriptFolder.isEmpty() ? o.value(o.from) : QString();
    return Build(info, target, reuseFrom, contents, out, err, columns, quiet);
}

} // namespace

bool IsCommandLine(const QStringList& arguments)
{
    // The window takes Qt's own options and at most one thing to start from,
    // and needs a display; anything else is for the command line to answer,
    // if only with its usage.
    QStringList rest;
    if (!WithoutWindowOptions(arguments, rest) || rest.size() > 2)
        return true;
    if (rest.size() == 2 && (rest.at(1) == QLatin1String("pack") || rest.at(1) == QLatin1String("help")))
        return true;
    return !Console::HasDisplay(arguments);
}

int RunCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err, bool progress)
{
    const QString first = arguments.value(1);
    if (first == QLatin1String("pack"))
        return RunPack(arguments, out, err, progress);
    if (first == QLatin1String("--version") && arguments.size() == 2) {
        out << "Bundlesmith " << BUNDLESMITH_VERSION_MAJOR << '.' << BUNDLESMITH_VERSION_MINOR << '.'
            << BUNDLESMITH_VERSION_REVISION << Qt::endl;
        return ExitWritten;
    }
    if ((first == QLatin1String("--help") || first == QLatin1String("-h") ||
         first == QLatin1String("help")) &&
        arguments.size() == 2) {
        out << Text::tr(Usage) << Qt::flush;
        return ExitWritten;
    }
    QStringList rest;
    if (WithoutWindowOptions(arguments, rest) && rest.size() <= 2) {
        err << Text::tr("bundlesmith: there is no display to show the window on; 'bundlesmith pack' builds a "
                        "Script Pack without one.")
            << Qt::endl;
        return ExitBadArguments;
    }
    const QString unknown = rest.size() > 1 ? rest.at(1) : arguments.value(1);
    err << Text::tr("bundlesmith: '%1' is neither a command nor an option; 'bundlesmith --help' lists them.")
               .arg(unknown)
        << Qt::endl;
    return ExitBadArguments;
}
