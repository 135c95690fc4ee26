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
    "Usage: bundlesmith [OLD.plsc]\n"
    "       bundlesmith pack --name NAME [--description TEXT] [--url URL] [--version V]\n"
    "                        [--com ENTRY]... [--dotnet ENTRY]... [--from OLD.plsc] [--force]\n"
    "                        -o OUT.plsc PATH...\n"
    "\n"
    "Without arguments the wizard starts; with a Script Pack it starts from that pack.\n"
    "'pack' builds a Script Pack without a display. Each PATH is a folder (stored under\n"
    "its own name with everything below it) or a file (stored at the root), in the order\n"
    "given. ENTRY is a file's path in the pack, as the manifest names it (lib\\x.dll).\n"
    "\n"
    "  --name NAME         script name, 1 to 127 characters\n"
    "  --description TEXT  description (optional)\n"
    "  --url URL           about URL (optional)\n"
    "  --version V         script version (default 1.0)\n"
    "  --com ENTRY         register ENTRY as a COM object (repeatable)\n"
    "  --dotnet ENTRY      register ENTRY with the .NET utility (repeatable)\n"
    "  --from OLD.plsc     take name, description, URL, version and registrations from\n"
    "                      an earlier pack; the options above override them\n"
    "  --force             replace OUT when it exists\n"
    "  -o, --output OUT    the pack to write; \".plsc\" is appended when missing\n"
    "  -h, --help          show this text\n"
    "\n"
    "'bundlesmith --version' shows the program's version.\n"
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

int RunPack(const QStringList& arguments, QTextStream& out, QTextStream& err, bool progress)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption name(QStringLiteral("name"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption description(QStringLiteral("description"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption url(QStringLiteral("url"), QString(), QStringLiteral("URL"));
    const QCommandLineOption version(QStringLiteral("version"), QString(), QStringLiteral("V"));
    const QCommandLineOption com(QStringLiteral("com"), QString(), QStringLiteral("ENTRY"));
    const QCommandLineOption dotNet(QStringLiteral("dotnet"), QString(), QStringLiteral("ENTRY"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("OLD"));
    const QCommandLineOption force(QStringList{QStringLiteral("force")});
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")}, QString(),
                                    QStringLiteral("OUT"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOptions({name, description, url, version, com, dotNet, from, force, output, help});

    auto bad = [&err](const QString& why) {
        err << "bundlesmith pack: " << why << "\nTry 'bundlesmith pack --help'." << Qt::endl;
        return ExitBadArguments;
    };
    QStringList args = arguments;
    args.removeAt(1); // "pack"
    if (!parser.parse(args))
        return bad(parser.errorText());
    if (parser.isSet(help)) {
        out << Usage << Qt::flush;
        return ExitWritten;
    }
    for (const QCommandLineOption* single : {&name, &description, &url, &version, &from, &output}) {
        if (parser.values(*single).size() > 1)
            return bad(QStringLiteral("--%1 given more than once.").arg(single->names().constLast()));
    }
    if (!parser.isSet(output))
        return bad(QStringLiteral("no output pack (-o OUT.plsc)."));
    if (parser.positionalArguments().isEmpty())
        return bad(QStringLiteral("no file or folder to pack."));

    ScriptPackInfo info;
    info.Version = QStringLiteral("1.0");
    if (parser.isSet(from)) {
        QString why;
        if (!ReadScriptPack(parser.value(from), info, why)) {
            err << "'" << parser.value(from) << "' is not a readable Script Pack: " << why << Qt::endl;
            return ExitRefused;
        }
        if (info.Version.isNull())
            info.Version = QStringLiteral("1.0");
    }
    if (parser.isSet(name))
        info.Name = parser.value(name);
    if (parser.isSet(description))
        info.Description = parser.value(description);
    if (parser.isSet(url))
        info.AboutUrl = parser.value(url);
    if (parser.isSet(version))
        info.Version = parser.value(version);
    if (info.Name.isEmpty())
        return bad(QStringLiteral("no script name (--name NAME)."));
    if (info.Name.length() > 127)
        return bad(QStringLiteral("Script Name can be maximum of 127 characters"));

    // Registrations named here replace those of the old pack, list by list;
    // an entry named here for one list is taken out of the other.
    const QStringList comGiven = parser.values(com);
    const QStringList dotNetGiven = parser.values(dotNet);
    const QStringList comKeys = MatchKeys(comGiven);
    for (const QString& entry : dotNetGiven) {
        if (comKeys.contains(RegistrationMemory::MatchKey(entry)))
            return bad(QStringLiteral("'%1' cannot be registered both as COM and as .NET.").arg(entry));
    }
    if (parser.isSet(com))
        info.OleFiles = comGiven;
    if (parser.isSet(dotNet))
        info.DotNetFiles = dotNetGiven;
    info.OleFiles = Without(info.OleFiles, MatchKeys(dotNetGiven));
    info.DotNetFiles = Without(info.DotNetFiles, comKeys);

    QString target = parser.value(output);
    if (!target.endsWith(QStringLiteral(".plsc"), Qt::CaseSensitive))
        target += QStringLiteral(".plsc");
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir())
        return bad(QStringLiteral("'%1' is a folder.").arg(target));
    if (targetInfo.exists() && !parser.isSet(force)) {
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
    for (const QString& path : parser.positionalArguments()) {
        const QFileInfo fi(path);
        if (!fi.exists()) {
            hooks.refuse(QStringLiteral("'%1' does not exist.").arg(path));
        } else if (fi.isDir()) {
            const auto result =
                contents.AddFolderToTree(NormalizeFolderPath(fi.absoluteFilePath()), -1, hooks);
            if (result == PackContents::FolderResult::Unreadable)
                hooks.refuse(QStringLiteral("The folder '%1' cannot be read.").arg(path));
        } else {
            contents.AddFileToTree(fi.absoluteFilePath(), -1, hooks);
        }
    }
    // A registration asked for here must name a file of the pack; one
    // remembered from the old pack may name a file this release dropped.
    // Looked for among the files, not the other way round: the pack may hold
    // a hundred thousand names and the build needs the memory more.
    const QStringList given = comGiven + dotNetGiven;
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
    if (refused)
        return ExitRefused;

    PackRequest request;
    request.ScriptName = info.Name;
    request.ScriptDesc = info.Description;
    request.ScriptURL = info.AboutUrl;
    request.ScriptVersion = info.Version;
    request.PackPath = targetInfo.absoluteFilePath();
    request.Contents = &contents;
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
