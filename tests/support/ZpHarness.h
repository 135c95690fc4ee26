#pragma once

#include "platform/ZipLibrary.h"
#include "support/TestFiles.h"
#include "zip/StatCache.h"

#include <QObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <functional>
#include <vector>

// What the library told the callbacks ("print:TEXT", "service:NAME", "comment", "idle"), and the answers.
struct ZpCalls
{
    QStringList events;
    std::function<qint32(const QString&)> onService = [](const QString&) { return 0; };
    std::function<void()> onIdle = [] {};
    QByteArray comment; // empty: answer 1 (no comment)
    QStringList messages() const
    {
        return QStringList(events.filter(QStringLiteral("print:")))
            .replaceInStrings(QStringLiteral("print:"), QString());
    }
};

inline ZpCalls* g_zpCalls = nullptr;

inline const ZpCallbacks kZpCallbacks{
    [](const char* text, qint32 len) {
        g_zpCalls->events << QStringLiteral("print:") + QString::fromUtf8(text, len);
        return 0;
    },
    [](char* buf) {
        g_zpCalls->events << QStringLiteral("comment");
        qstrncpy(buf, g_zpCalls->comment.constData(), 256);
        return g_zpCalls->comment.isEmpty() ? 1 : 0;
    },
    nullptr,
    [](const char* name, qint32 len) {
        const QString n = QString::fromUtf8(name, len);
        g_zpCalls->events << QStringLiteral("service:") + n;
        return g_zpCalls->onService(n);
    },
    [] {
        g_zpCalls->onIdle();
        if (g_zpCalls->events.value(g_zpCalls->events.size() - 1) != QStringLiteral("idle"))
            g_zpCalls->events << QStringLiteral("idle");
        return 0;
    }};

// The tests of the archiver's runs share one tree of files and a way to run
// the library over specs; each test class derives from this and calls
// makeTree() from initTestCase (when it uses the tree) and reset() from init.
class ZpFixture : public QObject
{
protected:
    ZpFixture()
    {
        // The stat caches of the archives made here go to a folder of this test's own:
        // tests running side by side must not see each other's, nor the user's.
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("cache"))));
    }

    QTemporaryDir m_dir;
    ZpCalls m_calls;
    ZpOptions m_opt;
    QByteArray m_root;

    QString tree() const { return m_dir.filePath(QStringLiteral("tree")); }
    QString zipPath() const { return m_dir.filePath(QStringLiteral("out/pack.plsc")); }
    QStringList names(const QString& zip = {}) const
    {
        return readArchive(zip.isEmpty() ? zipPath() : zip).names;
    }
    // The archive's names joined by ';', or "<no file>".
    QString entries() const
    {
        return QFile::exists(zipPath()) ? names().join(u';') : QStringLiteral("<no file>");
    }
    QStringList strayFiles() const
    {
        return QDir(m_dir.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden);
    }

    qint32 run(const QStringList& specs, const QString& zip = QString(), bool prefetch = false)
    {
        ZpInit(&kZpCallbacks);
        m_opt.szRootDir = m_root.isEmpty() ? nullptr : m_root.constData();
        ZpSetOptions(&m_opt);
        std::vector<QByteArray> texts;
        for (const QString& s : specs)
            texts.push_back(s.toUtf8());
        std::vector<const char*> table(specs.size() + 2, nullptr);
        for (size_t i = 0; i < texts.size(); ++i)
            table[i] = texts[i].constData();
        if (prefetch) {
            ZpPrefetch(&m_opt, qint32(specs.size()), table.data());
            return 0;
        }
        const QByteArray path = (zip.isEmpty() ? zipPath() : zip).toUtf8();
        return ZpArchive(qint32(specs.size()), path.constData(), table.data());
    }
    // More files than the workers hold at once, listed out of name order.
    static QStringList many()
    {
        QStringList files;
        for (int i = 0; i < 300; ++i)
            files << QStringLiteral("many/%1").arg(i * 7 % 300);
        return files;
    }

    void makeTree()
    {
        QVERIFY(m_dir.isValid());
        const QString t = tree();
        writeFile(t + QStringLiteral("/top/b.js"), "var b;\n");
        writeFile(t + QStringLiteral("/top/a.txt"), QByteArray(5000, 'a'));
        writeFile(t + QStringLiteral("/top/noext"), "x");
        writeFile(t + QStringLiteral("/top/sub/c.bin"), QByteArray("\x00\x01\x02", 3));
        writeFile(t + QStringLiteral("/top/sub/deeper/d"), "d");
        writeFile(t + QStringLiteral("/top/.hidden"), "h");
        writeFile(t + QStringLiteral("/loose.txt"), "loose");
        writeFile(t + QStringLiteral("/other/x.txt"), "other x");
        writeFile(t + QStringLiteral("/other/top/x.txt"), "same name, other file");
        writeFile(t + QStringLiteral("/Ünïcode/é.txt"), "u");
        writeFile(t + QStringLiteral("/other/loose.txt"), "other loose");
        writeFile(m_dir.filePath(QStringLiteral("outside.txt")), "outside");
        for (const QString& f : many())
            writeFile(t + u'/' + f, QByteArray(f.size() * 40, 'm'));
        QByteArray big;
        for (int i = 0; big.size() < 5 * 1024 * 1024; ++i)
            big += QByteArray::number(qint64(i) * 7919 % 100003) + ' ';
        writeFile(t + QStringLiteral("/big.bin"), big);
        QByteArray noise(5 * 1024 * 1024, '\0');
        QRandomGenerator(31).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        writeFile(t + QStringLiteral("/noise.bin"), noise);
        writeFile(t + QStringLiteral("/noise.dat"), noise.left(3000));
    }

    void reset()
    {
        ZpDiscardHeld();
        m_calls = ZpCalls();
        g_zpCalls = &m_calls;
        m_opt = ZpOptions();
        m_opt.fJunkDirNames = 1;
        m_opt.fNoDirEntries = 1;
        m_root.clear();
        QDir(m_dir.filePath(QStringLiteral("out"))).removeRecursively();
        QDir(StatCache::folder()).removeRecursively();
        QDir().mkpath(m_dir.filePath(QStringLiteral("out")));
    }
};
