#include "platform/Registry.h"
#include "platform/modRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

class FakeRegistry final : public RegistryReader
{
public:
    QHash<QString, QString> values; // "hive|key|value" -> data
    QString lastAsked;
    std::optional<QString> readString(quint32 hive, const QString& subKey, const QString& valueName) override
    {
        lastAsked = u"%1|%2|%3"_s.arg(hive, 0, 16).arg(subKey, valueName);
        return values.contains(lastAsked) ? std::optional(values[lastAsked]) : std::nullopt;
    }
};

const QString kHostEntry = u"80000002|SOFTWARE\\Orrinvale\\Messenger Plus! Live|ScriptsDir"_s;

} // namespace

class tst_Registry : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_prefix;

    void writeSystemReg(const QByteArray& body)
    {
        QFile f(m_prefix.filePath(u"system.reg"_s));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n" + body);
    }
    static QString hostFolder() { return GetRegString(0x80000002u, HostRegistryKey, ScriptsDirValue); }

private slots:
    void getRegStringThroughReader()
    {
        FakeRegistry fake;
        ScopedSeam<RegistryReader> seam(&fake);
        QCOMPARE(ScriptsFolderFromRegistry(), QString());
        QCOMPARE(fake.lastAsked, kHostEntry);
        // Empty and a stored "Not Found" are missing too; 2047 characters fit, 2048 do not.
        for (const QString& stored :
             {u"C:\\Scripts"_s, QString(), u"Not Found"_s, QString(2047, u'a'), QString(2048, u'a')}) {
            fake.values[kHostEntry] = stored;
            QCOMPARE(hostFolder(), stored.size() < 2048 ? stored : u"Not Found"_s);
            QCOMPARE(ScriptsFolderFromRegistry(),
                     stored.size() < 2048 && stored != u"Not Found"_s ? stored : QString());
        }
    }

    void wineSystemReg()
    {
#ifdef Q_OS_WIN
        QSKIP("the Wine prefix is only read off Windows");
#else
        QVERIFY(m_prefix.isValid());
        const QString prefix = QFileInfo(m_prefix.path()).canonicalFilePath();
        const QString scripts = prefix + u"/drive_c/Program Files/Messenger Plus! Live/Scripts"_s;
        const QString nonAscii = prefix + u"/other/Caf\u00e9 \u65e5\u672c \U0001F600"_s;
        QDir root(prefix);
        QVERIFY(root.mkpath(scripts) && root.mkpath(nonAscii) && root.mkpath(u"dosdevices"_s));
        QVERIFY(QFile::link(u"../drive_c"_s, prefix + u"/dosdevices/c:"_s));
        QVERIFY(QFile::link(u"../other"_s, prefix + u"/dosdevices/D:"_s));
        QVERIFY(QFile::link(u"../gone"_s, prefix + u"/dosdevices/e:"_s));
        const QByteArray oldPrefix = qgetenv("WINEPREFIX");
        qputenv("WINEPREFIX", prefix.toLocal8Bit());
        QCOMPARE(hostFolder(), u"Not Found"_s); // no system.reg at all

        // Look-alike keys and values around the real one must not derail the reader.
        const QByteArray plain =
            "[Software\\\\Orrinvale\\\\Messenger Plus! Live\\\\Sub] 1700000000\n"
            "\"ScriptsDir\"=\"C:\\\\Wrong\"\n\n"
            "[Software\\\\orrinvale\\\\MESSENGER PLUS! LIVE] 1700000000\n"
            "#time=1d9a2b3c4d5e6f7\n@=\"default\"\n"
            // One line however long, even where a read buffer would end (64 KiB).
            "\"" +
            QByteArray(65534, 'x') +
            "\"ScriptsDir\"=\"C:\\\\Wrong\"\n"
            "\"Blob\"=hex:01,02,03,\\\n  04,05\n"
            "\"Odd \\\"ScriptsDir\\\"\"=\"C:\\\\Wrong\\\" ]\\t\\n\"\n\"Count\"=dword:00000001\n"
            "\"scriptsdir\"=\"C:\\\\program files\\\\Messenger Plus! Live\\\\.\\\\x\\\\..\\\\"
            "SCRIPTS\\\\\"\n";
        const QByteArray key = "[Software\\\\Orrinvale\\\\Messenger Plus! Live]\n\"ScriptsDir\"=";
        const QString notFound = u"Not Found"_s;
        const QList<std::pair<QByteArray, QString>> cases{
            {plain, scripts},
            // A 64-bit prefix keeps the 32-bit host's key under Wow6432Node, which wins over the plain one.
            {"[Software\\\\Wow6432Node\\\\Orrinvale\\\\Messenger Plus! Live] 1700000000\n"
             "\"ScriptsDir\"=str(2):\"d:\\\\Caf\\xe9 \\x65e5\\x672c \\xd83d\\xde00\"\n" +
                 plain,
             nonAscii},
            // A folder that does not exist yet keeps its spelling past the part that does.
            {key + "\"C:\\\\PROGRAM FILES\\\\New\\\\Sub\"\n", prefix + u"/drive_c/Program Files/New/Sub"_s},
            // Wine's hex form of a string value (UTF-16LE, with its terminator).
            {key + "hex(1):43,00,3a,00,5c,00,\\\n  53,00,00,00\n", prefix + u"/drive_c/S"_s},
            // Unmappable: no such drive, a dangling drive link, a UNC path, no drive at all.
            {key + "\"Q:\\\\Scripts\"\n", notFound},
            {key + "\"e:\\\\Scripts\"\n", notFound},
            {key + "\"\\\\\\\\server\\\\share\"\n", notFound},
            {key + "\"Not Found\"\n", notFound},
            // Missing key, missing value, unterminated value.
            {"[Software\\\\Orrinvale] 1\n\"ScriptsDir\"=\"C:\\\\\"\n", notFound},
            {"[Software\\\\Orrinvale\\\\Messenger Plus! Live]\n\"Other\"=\"C:\"\n", notFound},
            {key + "\"C:\n", notFound},
        };
        for (const auto& [body, expected] : cases) {
            writeSystemReg(body);
            QCOMPARE(hostFolder(), expected);
            QCOMPARE(ScriptsFolderFromRegistry(), expected == notFound ? QString() : expected);
        }

        // Without WINEPREFIX the prefix is ~/.wine.
        writeSystemReg(plain);
        const QByteArray oldHome = qgetenv("HOME");
        QTemporaryDir home;
        QVERIFY(QFile::link(prefix, home.filePath(u".wine"_s)));
        qunsetenv("WINEPREFIX");
        qputenv("HOME", home.path().toLocal8Bit());
        const QString viaHome = hostFolder();
        qputenv("HOME", oldHome);
        if (!oldPrefix.isNull())
            qputenv("WINEPREFIX", oldPrefix);
        QCOMPARE(viaHome, scripts);
#endif
    }
};

QTEST_GUILESS_MAIN(tst_Registry)
#include "tst_registry.moc"
