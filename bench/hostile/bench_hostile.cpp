// Hostile names and faults through PackContents + PackBuild, judged from the
// disk: a case is a wrong pack when the build reports success and the pack is
// not exactly what the user chose (see run.sh). Prints one line per wrong
// case and the totals.
#include "pack/build/clsZip.h"
#include "pack/build/makePack.h"
#include "pack/contents/PackContents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

namespace fs = std::filesystem;

namespace {

class View final : public BuildView
{
public:
    void ShowProgress(qint16, const QString& caption) override
    {
        if (onCaption)
            onCaption(caption);
    }
    void DoEvents() override
    {
        if (onIdle)
            onIdle();
    }
    bool CancelRequested() const override { return false; }
    std::function<void(const QString&)> onCaption;
    std::function<void()> onIdle;
};

void put(const fs::path& p, const std::string& bytes)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

QString q(const fs::path& p)
{
    return QFile::decodeName(QByteArray::fromStdString(p.string()));
}

struct Pack
{
    bool ok = false;
    QMap<QString, QByteArray> files; // entry name -> data
    QStringList dirs;
};

Pack readPack(const fs::path& path)
{
    Pack pack;
    int err = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_RDONLY, &err);
    if (za == nullptr)
        return pack;
    pack.ok = true;
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
        const QString name = QString::fromUtf8(zip_get_name(za, zip_uint64_t(i), 0));
        if (name.endsWith(u'/')) {
            pack.dirs << name;
            continue;
        }
        zip_stat_t st;
        zip_stat_index(za, zip_uint64_t(i), 0, &st);
        QByteArray data(qsizetype(st.size), '\0');
        zip_file_t* f = zip_fopen_index(za, zip_uint64_t(i), 0);
        if (f == nullptr || zip_fread(f, data.data(), st.size) != zip_int64_t(st.size))
            pack.ok = false;
        if (f)
            zip_fclose(f);
        pack.files.insert(name, data);
    }
    zip_discard(za);
    return pack;
}

// What the user chose: for each accepted item, the files on disk under it
// (raw names), less those a message told the user were left out.
struct Chosen
{
    QMap<QString, QByteArray> files;
    QSet<QString> unreadable; // entry names whose raw name is not UTF-8: never a right pack holding them
};

void chooseFolder(const fs::path& folder, const QStringList& messages, Chosen& out)
{
    const fs::path base = folder.parent_path();
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        if (!it->is_regular_file())
            continue;
        const std::string rel = fs::relative(it->path(), base).string();
        const QString name = QString::fromUtf8(rel);
        bool announced = false;
        for (const fs::path& part : fs::relative(it->path(), folder))
            for (const QString& m : messages)
                announced = announced || m.contains(QString::fromUtf8(part.filename().string()));
        if (announced)
            continue;
        if (QString::fromUtf8(rel).toUtf8().toStdString() != rel)
            out.unreadable.insert(name);
        out.files.insert(name, QByteArray::fromStdString(slurp(it->path())));
    }
}

bool unsafeName(const QString& n)
{
    return n.startsWith(u'/') || n.contains(u'\\') || (n.size() > 1 && n[1] == u':') ||
           n.split(u'/').contains(QStringLiteral(".."));
}

struct Tally
{
    int cases = 0;
    int wrong = 0;
    int targetFaults = 0;
};

struct Build
{
    bool ok = false;
    QString error;
};

int g_failedBuilds = 0;

Build build(PackContents& c, const fs::path& target, View& view)
{
    for (int i : c.liveNodes())
        if (c.node(i).Kind != PackNodeKind::Folder && !c.Text(i).endsWith(QLatin1String(".plsc")))
            c.SetChecked(PackList::Reg1, i, true);
    clsZip zip;
    PackBuild pb(zip, view);
    PackRequest r;
    r.ScriptName = QStringLiteral("Hostile");
    r.ScriptVersion = QStringLiteral("1.0");
    r.PackPath = q(target);
    r.Contents = &c;
    Build b;
    b.ok = pb.makePack(r);
    b.error = pb.LastError();
    // Every pack kept, numbered in build order, to compare two versions' packs.
    static int built = 0;
    ++built;
    if (b.ok && qEnvironmentVariableIsSet("BUNDLESMITH_HOSTILE_KEEP"))
        QFile::copy(q(target), qEnvironmentVariable("BUNDLESMITH_HOSTILE_KEEP") + u'/' +
                                   QString::number(built) + QStringLiteral(".plsc"));
    if (!b.ok) {
        ++g_failedBuilds;
        std::printf("failed (said why): %s\n", qPrintable(b.error));
    }
    return b;
}

// A wrong pack: reported as built, yet not what was chosen.
QString judge(const Build& b, const fs::path& target, const Chosen& chosen)
{
    if (!b.ok)
        return QString();
    const Pack pack = readPack(target);
    if (!pack.ok)
        return QStringLiteral("unreadable pack");
    QSet<QString> lower;
    for (const QString& n : pack.files.keys() + pack.dirs) {
        if (unsafeName(n))
            return QStringLiteral("unsafe entry ") + n;
        QString key = n.toLower();
        if (key.endsWith(u'/'))
            key.chop(1);
        if (lower.contains(key))
            return QStringLiteral("two entries named ") + n;
        lower.insert(key);
    }
    const QString xml = QString::fromUtf8(pack.files.value(QStringLiteral("ScriptInfo.xml")));
    static const QRegularExpression fileName(QStringLiteral("<FileName>([^<]*)</FileName>"));
    for (auto m = fileName.globalMatch(xml); m.hasNext();) {
        QString n = m.next().captured(1).replace(u'\\', u'/');
        n.replace(QStringLiteral("&quot;"), QStringLiteral("\""))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&apos;"), QStringLiteral("'"))
            .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        if (!pack.files.contains(n))
            return QStringLiteral("manifest names a missing entry ") + n;
    }
    for (auto it = chosen.files.cbegin(); it != chosen.files.cend(); ++it) {
        if (chosen.unreadable.contains(it.key()))
            return QStringLiteral("a name that is not UTF-8 was dropped silently");
        if (!pack.files.contains(it.key()))
            return QStringLiteral("missing ") + it.key();
        if (pack.files.value(it.key()) != it.value())
            return QStringLiteral("other bytes in ") + it.key();
    }
    for (const QString& n : pack.files.keys())
        if (n != QStringLiteral("ScriptInfo.xml") && !chosen.files.contains(n))
            return QStringLiteral("not chosen: ") + n;
    return QString();
}

const std::vector<std::string> kNames = {" lib ",
                                         "lib ",
                                         " lib",
                                         "a*.js",
                                         "q?.js",
                                         "*",
                                         "x\\y.js",
                                         "my\\dir",
                                         "..\\..\\evil.js",
                                         "C:",
                                         "CON",
                                         "con.txt",
                                         "NUL.js",
                                         "COM1.dll",
                                         "LPT9",
                                         "trail.",
                                         "...",
                                         "tab\tname",
                                         "ctl\x01",
                                         "colon:js",
                                         "quo\"te",
                                         "lt<js",
                                         "gt>js",
                                         "pi|pe",
                                         "\xff\xfe"
                                         "bad",
                                         "ScriptInfo.xml",
                                         "ok.js",
                                         "\xc3\xbcn\xc3\xaf.js",
                                         std::string(250, 'n')};

// Files beside the chosen ones that must never get in.
void decoys(const fs::path& dir)
{
    put(dir / "lib" / "private.key", "secret");
    put(dir / "x" / "y.js", "other file");
    put(dir / "my" / "dir" / "z.js", "other folder");
    put(dir / "decoy.key", "decoy");
    put(dir / "top" / "main.js", "script");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Tally t;
    QTemporaryDir tmp;
    // Read-only packs and names Qt cannot list must not stop the clean-up.
    const auto cleanup = qScopeGuard([&tmp] {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(tmp.path().toStdString(), ec);
             it != fs::recursive_directory_iterator(); it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(tmp.path().toStdString(), ec);
    });
    const fs::path root = tmp.path().toStdString();
    int caseNo = 0;
    auto report = [&](const QString& what, const QString& why) {
        ++t.cases;
        if (!why.isEmpty()) {
            ++t.wrong;
            std::printf("WRONG  %s: %s\n", qPrintable(what), qPrintable(why));
        }
    };

    // Names x where they appear.
    const char* places[] = {"loose file", "file in folder", "sub-folder", "top-level folder"};
    for (const std::string& name : kNames) {
        for (int place = 0; place < 4; ++place) {
            const fs::path dir = root / ("c" + std::to_string(++caseNo));
            const fs::path src = dir / "src";
            decoys(src);
            PackContents c;
            QStringList messages;
            PackAddHooks hooks;
            hooks.refuse = [&messages](const QString& m) { messages << m; };
            Chosen chosen;
            fs::path item;
            switch (place) {
            case 0:
                item = src / name;
                put(item, "chosen " + name);
                if (c.AddFileToTree(q(item), -1, hooks) >= 0)
                    chosen.files.insert(QString::fromUtf8(name), QByteArray::fromStdString("chosen " + name));
                break;
            case 1:
            case 2:
                item = src / "top";
                put(place == 1 ? item / name : item / name / "f.js", "chosen");
                if (c.AddFolderToTree(q(item), -1, hooks) == PackContents::FolderResult::Added)
                    chooseFolder(item, messages, chosen);
                break;
            default:
                item = src / name;
                put(item / "f.js", "chosen");
                if (c.AddFolderToTree(q(item), -1, hooks) == PackContents::FolderResult::Added)
                    chooseFolder(item, messages, chosen);
                break;
            }
            View view;
            const fs::path target = dir / "out.plsc";
            const Build b = build(c, target, view);
            QString label = QString::fromUtf8(name.size() > 30 ? name.substr(0, 8) + "...(long)" : name);
            label.replace(u'\t', QStringLiteral("\\t")).replace(QChar(1), QStringLiteral("\\x01"));
            report(QStringLiteral("'%1' as %2").arg(label, QLatin1String(places[place])),
                   judge(b, target, chosen));
        }
    }

    // Faults between the add and the build, and names that clash.
    struct Fault
    {
        const char* what;
        std::function<void(const fs::path& src, PackContents& c, PackAddHooks& h, Chosen& chosen, View& v)>
            run;
    };
    const std::vector<Fault> faults = {
        {"ticked loose file deleted",
         [](const fs::path& s, PackContents& c, PackAddHooks& h, Chosen& ch, View&) {
             put(s / "a.js", "a");
             c.AddFileToTree(q(s / "a.js"), -1, h);
             ch.files.insert(QStringLiteral("a.js"), "a");
             fs::remove(s / "a.js");
         }},
        {"ticked file in folder deleted",
         [](const fs::path& s, PackContents& c, PackAddHooks& h, Chosen& ch, View&) {
             put(s / "top" / "a.js", "a");
             c.AddFolderToTree(q(s / "top"), -1, h);
             chooseFolder(s / "top", {}, ch);
             fs::remove(s / "top" / "a.js");
         }},
        {"ticked file replaced by a folder",
         [](const fs::path& s, PackContents& c, PackAddHooks& h, Chosen& ch, View&) {
             put(s / "top" / "a.js", "a");
             c.AddFolderToTree(q(s / "top"), -1, h);
             chooseFolder(s / "top", {}, ch);
             fs::remove(s / "top" / "a.js");
             put(s / "top" / "a.js" / "inner.js", "i");
         }},
        {"file created in a folder after the add",
         [](const fs::path& s, PackContents& c, PackAddHooks& h, Chosen& ch, View&) {
             put(s / "top" / "a.js", "a");
             c.AddFolderToTree(q(s / "top"), -1, h);
             chooseFolder(s / "top", {}, ch);
             put(s / "top" / "late.key", "late");
         }},
        {"two top-level folders named lib",
         [](const fs::path& s, PackContents& c, PackAddHooks& h, Chosen& ch, View&) {
             put(s / "a" / "lib" / "x.js", "first");
             put(s / "b" / "lib" / "x.js", "second");
             QStringList m;
             h.refuse = [&m](const QString& t) { m << t; };
             if (c.AddFolderToTree(q(s / "a" / "lib"), -1, h) == PackContents::FolderResult::Added)
                 chooseFolder(s / "a" / "lib", m, ch);
             if (c.AddFolderToTree(q(s / "b" / "lib"), -1, h) == PackContents::FolderResult::Added)
                 ch.files.insert(QStringLiteral("lib/x.js (second)"), "second");
         }},
        {"loose file lib beside folder lib",
         [](const fs::path& s, PackContents& c, PackAddHooks& h, Chosen& ch, View&) {
             put(s / "lib", "file");
             put(s / "d" / "lib" / "x.js", "x");
             if (c.AddFileToTree(q(s / "lib"), -1, h) >= 0)
                 ch.files.insert(QStringLiteral("lib"), "file");
             if (c.AddFolderToTree(q(s / "d" / "lib"), -1, h) == PackContents::FolderResult::Added)
                 chooseFolder(s / "d" / "lib", {}, ch);
         }},
        {"top-level names differing in case",
         [](const fs::path& s, PackContents& c, PackAddHooks& h, Chosen& ch, View&) {
             put(s / "Lib" / "x.js", "x");
             put(s / "e" / "lib" / "y.js", "y");
             if (c.AddFolderToTree(q(s / "Lib"), -1, h) == PackContents::FolderResult::Added)
                 chooseFolder(s / "Lib", {}, ch);
             if (c.AddFolderToTree(q(s / "e" / "lib"), -1, h) == PackContents::FolderResult::Added)
                 chooseFolder(s / "e" / "lib", {}, ch);
         }},
        {"names in one folder differing in case",
         [](const fs::path& s, PackContents& c, PackAddHooks& h, Chosen& ch, View&) {
             put(s / "top" / "A.js", "upper");
             put(s / "top" / "a.js", "lower");
             QStringList m;
             h.refuse = [&m](const QString& t) { m << t; };
             if (c.AddFolderToTree(q(s / "top"), -1, h) == PackContents::FolderResult::Added)
                 chooseFolder(s / "top", m, ch);
         }},
        {"file shrinks while it is read",
         [](const fs::path& s, PackContents& c, PackAddHooks& h, Chosen& ch, View& v) {
             const fs::path big = s / "big.bin";
             put(big, std::string(12 << 20, 'A'));
             c.AddFileToTree(q(big), -1, h);
             auto armed = std::make_shared<bool>(false);
             v.onCaption = [armed](const QString& cap) {
                 if (cap.endsWith(QStringLiteral("big.bin")))
                     *armed = true;
             };
             v.onIdle = [armed, big] {
                 if (*armed) {
                     *armed = false;
                     put(big, std::string(6 << 20, 'B'));
                 }
             };
             ch.files.insert(QStringLiteral("big.bin"), QByteArray(12 << 20, 'A')); // or all B
         }},
    };
    for (const Fault& f : faults) {
        const fs::path dir = root / ("f" + std::to_string(++caseNo));
        const fs::path src = dir / "src";
        fs::create_directories(src);
        PackContents c;
        PackAddHooks hooks;
        Chosen chosen;
        View view;
        f.run(src, c, hooks, chosen, view);
        const fs::path target = dir / "out.plsc";
        const Build b = build(c, target, view);
        QString why = judge(b, target, chosen);
        if (QLatin1String(f.what).startsWith(QLatin1String("file shrinks")) && b.ok) {
            const QByteArray got = readPack(target).files.value(QStringLiteral("big.bin"));
            why = got == QByteArray(12 << 20, 'A') || got == QByteArray(6 << 20, 'B')
                      ? QString()
                      : QStringLiteral("stored torn (%1 bytes)").arg(got.size());
        }
        if (QLatin1String(f.what).startsWith(QLatin1String("two top-level")) && b.ok &&
            chosen.files.contains(QStringLiteral("lib/x.js (second)")))
            why = QStringLiteral("both folders accepted; one overwrote the other");
        report(QLatin1String(f.what), why);
    }

    // The target.
    auto targetCase = [&](const QString& what, const std::function<QString()>& run) {
        ++t.cases;
        const QString why = run();
        if (!why.isEmpty()) {
            ++t.targetFaults;
            std::printf("FAULT  %s: %s\n", qPrintable(what), qPrintable(why));
        }
    };
    targetCase(QStringLiteral("rebuild with the target inside the added folder"), [&] {
        const fs::path s = root / "t1";
        put(s / "top" / "a.js", "a");
        put(s / "top" / "pack.plsc", "yesterday's pack");
        PackContents c;
        c.AddFolderToTree(q(s / "top"), -1);
        View v;
        const Build b = build(c, s / "top" / "pack.plsc", v);
        if (b.ok && readPack(s / "top" / "pack.plsc").files.contains(QStringLiteral("top/pack.plsc")))
            return QStringLiteral("the old pack nested in the new one");
        return QString();
    });
    targetCase(QStringLiteral("target is a chosen loose file"), [&] {
        const fs::path s = root / "t2";
        put(s / "a.plsc", "a chosen file");
        PackContents c;
        c.AddFileToTree(q(s / "a.plsc"), -1);
        View v;
        const Build b = build(c, s / "a.plsc", v);
        const Pack p = readPack(s / "a.plsc");
        if (b.ok && p.files.contains(QStringLiteral("a.plsc")))
            return QStringLiteral("the target packed into itself");
        return QString();
    });
    targetCase(QStringLiteral("private old pack (0600)"), [&] {
        const fs::path s = root / "t3";
        put(s / "a.js", "a");
        put(s / "p.plsc", "old");
        fs::permissions(s / "p.plsc", fs::perms::owner_read | fs::perms::owner_write);
        PackContents c;
        c.AddFileToTree(q(s / "a.js"), -1);
        View v;
        const Build b = build(c, s / "p.plsc", v);
        const auto perms = fs::status(s / "p.plsc").permissions();
        if (b.ok && perms != (fs::perms::owner_read | fs::perms::owner_write))
            return QStringLiteral("permissions widened to %1").arg(int(perms), 0, 8);
        return QString();
    });
    targetCase(QStringLiteral("read-only old pack"), [&] {
        const fs::path s = root / "t4";
        put(s / "a.js", "a");
        put(s / "p.plsc", "old");
        fs::permissions(s / "p.plsc", fs::perms::owner_read);
        PackContents c;
        c.AddFileToTree(q(s / "a.js"), -1);
        View v;
        const Build b = build(c, s / "p.plsc", v);
        if (slurp(s / "p.plsc") != "old")
            return b.ok ? QStringLiteral("replaced, and success reported") : QStringLiteral("replaced");
        return QString();
    });
    for (int len = 243; len <= 255; ++len) {
        targetCase(QStringLiteral("pack name of %1 bytes").arg(len), [&, len] {
            const fs::path s = root / ("t5-" + std::to_string(len));
            put(s / "a.js", "a");
            PackContents c;
            c.AddFileToTree(q(s / "a.js"), -1);
            View v;
            const Build b = build(c, s / (std::string(len - 5, 'p') + ".plsc"), v);
            return b.ok ? QString() : QStringLiteral("failed: ") + b.error;
        });
    }
    targetCase(QStringLiteral("temporaries of a killed build"), [&] {
        const fs::path s = root / "t6";
        for (int i = 0; i < 400; ++i)
            put(s / "top" / ("f" + std::to_string(i) + ".bin"),
                std::string(size_t(200000 + i), char('a' + i % 26)));
        const pid_t child = fork();
        if (child == 0) {
            PackContents c;
            c.AddFolderToTree(q(s / "top"), -1);
            View v;
            build(c, s / "p.plsc", v);
            _exit(0);
        }
        usleep(150000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        PackContents c;
        c.AddFileToTree(q(s / "top" / "f1.bin"), -1);
        View v;
        build(c, s / "p.plsc", v);
        QStringList left;
        for (const auto& e : fs::directory_iterator(s))
            if (e.path().filename() != "top" && e.path().filename() != "p.plsc")
                left << q(e.path().filename());
        return left.isEmpty() ? QString() : QStringLiteral("left behind: ") + left.join(u' ');
    });

    std::printf("cases tried: %d, wrong packs: %d, target faults: %d (builds that reported failure: %d)\n",
                t.cases, t.wrong, t.targetFaults, g_failedBuilds);
    return 0;
}
