#include "app/PackCommand.h"

#include "pack/build/ScriptPackReader.h"
#include "pack/build/clsZip.h"
#include "pack/build/makePack.h"
#include "pack/contents/PackContents.h"
#include "pack/contents/RegistrationMemory.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>
#include <algorithm>

namespace {

const char* const Usage =
    "Usage: bundlesmith [OLD.plsc | ScriptInfo.xml | FOLDER]\n"
    "       bundlesmith pack --name NAME [--description TEXT] [--url URL] [--version V]\n"
    "                        [--com ENTRY]... [--dotnet ENTRY]... [--from SOURCE] [--force]\n"
    "                        -o OUT.plsc PATH...\n"
    "       bundlesmith pack --from FOLDER -o OUT.plsc\n"
    "\n"
    "Without arguments the wizard starts; with a Script Pack, a ScriptInfo.xml or a\n"
    "script folder it starts from that.\n"
    "'pack' builds a Script Pack without a display. Each PATH is a folder (stored under\n"
    "its own name with everything below it) or a file (stored at the root), in the order\n"
    "given; a ScriptInfo.xml among them is the script's own manifest. ENTRY is a file's\n"
    "path in the pack, as the manifest names it (lib\\x.dll).\n"
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
    "  --force             replace OUT when it exists\n"
    "  -o, --output OUT    the pack to write; \".plsc\" is appended when missing\n"
    "  -h, --help          show this text\n"
    "\n"
    "'bundlesmith --version' shows the program's version.\n"
    "\n"
    "Version-control data (.git, .svn, .hg, CVS) and desktop files (Thumbs.db,\n"
    "desktop.ini, .DS_Store, __MACOSX) inside a folder are left out.\n"
    "\n"
    "Exit status: 0 written, 2 bad arguments, 3 refused input, 4 build failed,\n"
    "5 output exists (no --force).\n";

// The build's progress as one line that rewrites itself on a terminal.
class ConsoleBuildView final : public BuildView
{
public:
    ConsoleBuildView(QTextStream& err, bool show) : m_err(err), m_show(show) {}
    ~ConsoleBuildView() override
    {
        if (m_shown)
            m_err << Qt::endl;
    }
    ConsoleBuildView(const ConsoleBuildView&) = delete;
    ConsoleBuildView& operator=(const ConsoleBuildView&) = delete;

    void ShowProgress(qint16 step, const QString& caption) override
    {
        m_value = qBound(0, m_value + step, 100);
        if (!m_show)
            return;
        m_err << "\r\x1b[K" << QStringLiteral("%1% ").arg(m_value, 3) << caption << Qt::flush;
        m_shown = true;
    }
    void DoEvents() override { QCoreApplication::processEvents(); }
    bool CancelRequested() const override { return false; }

private:
    QTextStream& m_err;
    bool m_show;
    bool m_shown = false;
    int m_value = 0;
};

// The wizard's messages are made for a message box (CR LF, an empty line).
QString ConsoleText(QString message)
{
    message.replace(QStringLiteral("\r\n\r\n"), QStringLiteral(" "));
    message.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return message;
}

QStringList MatchKeys(const QStringList& entries)
{
    QStringList keys;
    for (const QString& e : entries)
        keys << RegistrationMemory::MatchKey(e);
    return keys;
}

QStringList Without(const QStringList& entries, const QStringList& keys)
{
    QStringList kept;
    for (const QString& e : entries) {
        if (!keys.contains(RegistrationMemory::MatchKey(e)))
            kept << e;
    }
    return kept;
}

// What "pack" was asked for, once its options are parsed and checked.
struct PackOptions
{
    QCommandLineParser parser;
    QCommandLineOption name{QStringLiteral("name"), QString(), QStringLiteral("NAME")};
    QCommandLineOption description{QStringLiteral("description"), QString(), QStringLiteral("TEXT")};
    QCommandLineOption url{QStringLiteral("url"), QString(), QStringLiteral("URL")};
    QCommandLineOption version{QStringLiteral("version"), QString(), QStringLiteral("V")};
    QCommandLineOption com{QStringLiteral("com"), QString(), QStringLiteral("ENTRY")};
    QCommandLineOption dotNet{QStringLiteral("dotnet"), QString(), QStringLiteral("ENTRY")};
    QCommandLineOption from{QStringLiteral("from"), QString(), QStringLiteral("SOURCE")};
    QCommandLineOption force{QStringList{QStringLiteral("force")}};
    QCommandLineOption output{QStringList{QStringLiteral("o"), QStringLiteral("output")}, QString(),
                              QStringLiteral("OUT")};
    QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}};

    PackOptions()
    {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({name, description, url, version, com, dotNet, from, force, output, help});
    }
    // Empty when the arguments make sense, else why not.
    QString Parse(QStringList args)
    {
        args.removeAt(1); // "pack"
        if (!parser.parse(args))
            return parser.errorText();
        if (parser.isSet(help))
            return QString();
        for (const QCommandLineOption* single : {&name, &description, &url, &version, &from, &output}) {
            if (parser.values(*single).size() > 1)
                return QStringLiteral("--%1 given more than once.").arg(single->names().constLast());
        }
        if (!parser.isSet(output))
            return QStringLiteral("no output pack (-o OUT.plsc).");
        return QString();
    }
};

// The script's manifest from --from and from a ScriptInfo.xml among the
// paths, in that order, each over the last. Returns the manifest among the
// paths (empty when there is none); error is set when one cannot be read.
QString ReadManifests(const PackOptions& o, ScriptPackInfo& info, QString& error)
{
    info.Version = QStringLiteral("1.0");
    if (o.parser.isSet(o.from)) {
        if (!ReadScriptInfo(o.parser.value(o.from), info, error))
            return QString();
        if (info.Version.isNull())
            info.Version = QStringLiteral("1.0");
    }
    QString manifest;
    for (const QString& path : o.parser.positionalArguments()) {
        const QFileInfo file(path);
        if (!file.isFile() || !IsManifestName(file.fileName()))
            continue;
        if (!manifest.isEmpty()) {
            error = QStringLiteral("'%1' and '%2' are both a ScriptInfo.xml; a Script Pack has one.")
                        .arg(manifest, path);
            return QString();
        }
        manifest = path;
        ScriptPackInfo own;
        if (!ReadScriptInfo(path, own, error))
            return QString();
        // The author's own manifest says what it says; an earlier pack still
        // lends the version and the registrations it does not name.
        info.Name = own.Name;
        info.Description = own.Description;
        info.AboutUrl = own.AboutUrl;
        info.Kept = own.Kept;
        if (!own.Version.isNull())
            info.Version = own.Version;
        if (!own.OleFiles.isEmpty() || !own.DotNetFiles.isEmpty()) {
            info.OleFiles = own.OleFiles;
            info.DotNetFiles = own.DotNetFiles;
        }
    }
    return manifest;
}

// The options that override the manifests. Empty when they fit, else why not.
QString ApplyOptions(const PackOptions& o, ScriptPackInfo& info, QStringList& given)
{
    const QCommandLineParser& p = o.parser;
    if (p.isSet(o.name))
        info.Name = p.value(o.name);
    if (p.isSet(o.description))
        info.Description = p.value(o.description);
    if (p.isSet(o.url))
        info.AboutUrl = p.value(o.url);
    if (p.isSet(o.version))
        info.Version = p.value(o.version);
    if (info.Name.isEmpty())
        return QStringLiteral("no script name (--name NAME).");
    if (info.Name.length() > 127)
        return QStringLiteral("Script Name can be maximum of 127 characters");

    // Registrations named here replace those of the manifests, list by list;
    // an entry named here for one list is taken out of the other.
    const QStringList comGiven = p.values(o.com);
    const QStringList dotNetGiven = p.values(o.dotNet);
    const QStringList comKeys = MatchKeys(comGiven);
    for (const QString& entry : dotNetGiven) {
        if (comKeys.contains(RegistrationMemory::MatchKey(entry)))
            return QStringLiteral("'%1' cannot be registered both as COM and as .NET.").arg(entry);
    }
    if (p.isSet(o.com))
        info.OleFiles = comGiven;
    if (p.isSet(o.dotNet))
        info.DotNetFiles = dotNetGiven;
    info.OleFiles = Without(info.OleFiles, MatchKeys(dotNetGiven));
    info.DotNetFiles = Without(info.DotNetFiles, comKeys);
    given = comGiven + dotNetGiven;
    return QString();
}

// The paths in the order given, or the script folder's contents when there
// are none; the author's manifest is not one of the files.
void AddInputs(const PackOptions& o, const ScriptPackInfo& info, const QString& manifest,
               PackContents& contents, const PackAddHooks& hooks, QTextStream& err)
{
    const QStringList paths = o.parser.positionalArguments();
    if (paths.isEmpty()) {
        if (contents.AddFolderContents(info.ScriptFolder, info.ManifestFile, hooks) ==
            PackContents::FolderResult::Unreadable)
            hooks.refuse(QStringLiteral("The folder '%1' cannot be read.").arg(info.ScriptFolder));
        return;
    }
    for (const QString& path : paths) {
        const QFileInfo fi(path);
        if (path == manifest) {
            continue;
        } else if (!fi.exists()) {
            hooks.refuse(QStringLiteral("'%1' does not exist.").arg(path));
        } else if (fi.isDir()) {
            ScriptPackInfo own;
            QString unreadable;
            if (ReadScriptInfo(path, own, unreadable))
                err << "bundlesmith pack: '" << path << "' holds its own ScriptInfo.xml, packed under the "
                    << "folder's name, where the host does not read it; 'pack --from " << path
                    << "' makes it the script's manifest." << Qt::endl;
            const auto result =
                contents.AddFolderToTree(NormalizeFolderPath(fi.absoluteFilePath()), -1, hooks);
            if (result == PackContents::FolderResult::Unreadable)
                hooks.refuse(QStringLiteral("The folder '%1' cannot be read.").arg(path));
        } else {
            contents.AddFileToTree(fi.absoluteFilePath(), -1, hooks);
        }
    }
}

// A registration asked for here must name a file of the pack; one
// remembered from a manifest may name a file this release dropped.
// Looked for among the files, not the other way round: the pack may hold
// a hundred thousand names and the build needs the memory more.
void CheckGivenEntries(const QStringList& given, const PackContents& contents, const PackAddHooks& hooks)
{
    const QStringList givenKeys = MatchKeys(given);
    QSet<QString> unmatched(givenKeys.cbegin(), givenKeys.cend());
    for (int index : contents.liveNodes()) {
        if (unmatched.isEmpty())
            break;
        unmatched.remove(RegistrationMemory::MatchKey(RegistrationMemory::ManifestEntry(contents, index)));
    }
    for (const QString& entry : given) {
        if (unmatched.contains(RegistrationMemory::MatchKey(entry)))
            hooks.refuse(QStringLiteral("No file of the Script Pack is named '%1'.").arg(entry));
    }
}

int Build(const ScriptPackInfo& info, const QString& target, const PackContents& contents, QTextStream& out,
          QTextStream& err, bool progress)
{
    PackRequest request;
    request.ScriptName = info.Name;
    request.ScriptDesc = info.Description;
    request.ScriptURL = info.AboutUrl;
    request.ScriptVersion = info.Version;
    request.PackPath = target;
    request.Contents = &contents;
    request.Kept = info.Kept;
    clsZip zip;
    bool ok = false;
    QString why;
    {
        ConsoleBuildView view(err, progress);
        PackBuild build(zip, view);
        ok = build.makePack(request);
        why = build.LastError();
    }
    if (!ok) {
        err << "There was an error creating the Script Pack." << Qt::endl;
        if (!why.isEmpty())
            err << why << Qt::endl;
        return ExitBuildFailed;
    }
    out << request.PackPath << Qt::endl;
    return ExitWritten;
}

int RunPack(const QStringList& arguments, QTextStream& out, QTextStream& err, bool progress)
{
    auto bad = [&err](const QString& why) {
        err << "bundlesmith pack: " << why << "\nTry 'bundlesmith pack --help'." << Qt::endl;
        return ExitBadArguments;
    };
    PackOptions o;
    if (const QString why = o.Parse(arguments); !why.isEmpty())
        return bad(why);
    if (o.parser.isSet(o.help)) {
        out << Usage << Qt::flush;
        return ExitWritten;
    }

    ScriptPackInfo info;
    QString error;
    const QString manifest = ReadManifests(o, info, error);
    if (!error.isEmpty()) {
        err << error << Qt::endl;
        return ExitRefused;
    }
    if (o.parser.positionalArguments().isEmpty() && info.ScriptFolder.isEmpty())
        return bad(QStringLiteral("no file or folder to pack."));
    QStringList given;
    if (const QString why = ApplyOptions(o, info, given); !why.isEmpty())
        return bad(why);

    QString target = o.parser.value(o.output);
    if (!target.endsWith(QStringLiteral(".plsc"), Qt::CaseSensitive))
        target += QStringLiteral(".plsc");
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir())
        return bad(QStringLiteral("'%1' is a folder.").arg(target));
    if (targetInfo.exists() && !o.parser.isSet(o.force)) {
        err << "bundlesmith pack: '" << target << "' exists; --force replaces it." << Qt::endl;
        return ExitOutputExists;
    }

    PackContents contents;
    RegistrationMemory memory(contents);
    memory.Remember(info.OleFiles, info.DotNetFiles);
    bool refused = false;
    PackAddHooks hooks;
    hooks.refuse = [&](const QString& message) {
        refused = true;
        err << ConsoleText(message) << Qt::endl;
    };
    // Left out inside a folder, as the wizard leaves it out: said, one name a line, and packed without.
    hooks.skipped = [&err](QString message) {
        message.replace(QStringLiteral("\r\n\r\n"), QStringLiteral("\n  "));
        message.replace(QStringLiteral("\r\n"), QStringLiteral("\n  "));
        err << message << Qt::endl;
    };
    AddInputs(o, info, manifest, contents, hooks, err);
    CheckGivenEntries(given, contents, hooks);
    if (refused)
        return ExitRefused;
    return Build(info, targetInfo.absoluteFilePath(), contents, out, err, progress);
}

} // namespace

bool IsCommandLine(const QStringList& arguments)
{
    if (arguments.size() < 2)
        return false;
    static const QStringList words = {QStringLiteral("pack"), QStringLiteral("--help"), QStringLiteral("-h"),
                                      QStringLiteral("--version")};
    if (words.contains(arguments.at(1)))
        return true;
    // More than the one pack the wizard can start from is a mistake to report
    // without a display; the window's own options (-platform ...) still go to the wizard.
    return arguments.size() > 2 &&
           std::none_of(arguments.cbegin() + 1, arguments.cend(),
                        [](const QString& a) { return a.startsWith(QLatin1Char('-')); });
}

int RunCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err, bool progress)
{
    const QString first = arguments.value(1);
    if (first == QLatin1String("pack"))
        return RunPack(arguments, out, err, progress);
    if (first == QLatin1String("--version")) {
        out << "Bundlesmith " << BUNDLESMITH_VERSION_MAJOR << '.' << BUNDLESMITH_VERSION_MINOR << '.'
            << BUNDLESMITH_VERSION_REVISION << Qt::endl;
        return ExitWritten;
    }
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        out << Usage << Qt::flush;
        return ExitWritten;
    }
    err << Usage << Qt::flush;
    return ExitBadArguments;
}
