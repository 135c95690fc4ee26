// Everywhere but Windows: the host runs under Wine, whose machine hive is a
// text file in the prefix.
#include "Registry_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace {

// Wine keeps the machine hive in the prefix's system.reg, a text file of sections
//     [Software\\Vendor\\Program] 1700000000
//     #time=1d9...
//     "Name"="C:\\Some\\Folder"
// with key paths relative to HKEY_LOCAL_MACHINE, and maps drive letters to
// local folders through the links in dosdevices/.

QString winePrefix()
{
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    return prefix.isEmpty() ? QDir::homePath() + QStringLiteral("/.wine") : prefix;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted string or a bracketed key name starting at pos and stops at
// the unescaped end character, which pos then points at (or at the line's end
// when it is missing). The escapes are Wine's: C escapes, \xH to \xHHHH for
// one UTF-16 unit, octal \O to \OOO, and a backslash before any other
// character stands for that character. Bytes outside escapes are taken as
// Latin-1, as Wine itself loads them.
QString unescape(const QByteArray& line, qsizetype& pos, char end)
{
    QString out;
    const qsizetype n = line.size();
    while (pos < n && line.at(pos) != end) {
        const char c = line.at(pos++);
        if (c != '\\' || pos >= n) {
            out += QChar(static_cast<uchar>(c));
            continue;
        }
        const char e = line.at(pos++);
        switch (e) {
        case 'a':
            out += QChar(u'\a');
            break;
        case 'b':
            out += QChar(u'\b');
            break;
        case 'e':
            out += QChar(char16_t(0x1B));
            break;
        case 'f':
            out += QChar(u'\f');
            break;
        case 'n':
            out += QChar(u'\n');
            break;
        case 'r':
            out += QChar(u'\r');
            break;
        case 't':
            out += QChar(u'\t');
            break;
        case 'v':
            out += QChar(u'\v');
            break;
        case 'x': {
            char16_t unit = 0;
            int digits = 0;
            for (int d; digits < 4 && pos < n && (d = hexValue(line.at(pos))) >= 0; ++digits, ++pos)
                unit = char16_t(unit * 16 + d);
            out += digits ? QChar(unit) : QChar(u'x');
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                char16_t unit = char16_t(e - '0');
                for (int digits = 1; digits < 3 && pos < n && line.at(pos) >= '0' && line.at(pos) <= '7';
                     ++digits, ++pos)
                    unit = char16_t(unit * 8 + (line.at(pos) - '0'));
                out += QChar(unit);
            } else {
                out += QChar(static_cast<uchar>(e));
            }
        }
    }
    return out;
}

// Requested key paths may carry stray separators; Wine writes none.
QString normalizedKey(const QString& key)
{
    return key.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
}

// A text ends at its first NUL, as the registry's readers see it.
QString upToNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

// The data after "name=": "text", str(N):"text", or hex(N): bytes of UTF-16
// text (Wine's form for a string it could not write as one). Numbers and
// binary data hold no text.
std::optional<QString> parseData(const QByteArray& data)
{
    if (data.startsWith('"') || data.startsWith("str(")) {
        qsizetype pos = data.indexOf('"');
        if (pos < 0)
            return std::nullopt;
        ++pos;
        const QString text = unescape(data, pos, '"');
        if (pos >= data.size())
            return std::nullopt; // unterminated: a damaged line
        return upToNul(text);
    }
    static const std::array<QByteArray, 3> kTextHex{"hex(1):", "hex(2):", "hex(7):"};
    for (const QByteArray& head : kTextHex) {
        if (!data.startsWith(head))
            continue;
        QByteArray bytes;
        for (const QByteArray& item : data.mid(head.size()).split(',')) {
            const QByteArray digits = item.trimmed();
            if (digits.isEmpty())
                continue;
            bool ok = false;
            const uint b = digits.toUInt(&ok, 16);
            if (!ok || b > 0xFF)
                return std::nullopt;
            bytes += char(b);
        }
        QString text;
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            text += QChar(char16_t(uchar(bytes.at(i)) | (uchar(bytes.at(i + 1)) << 8)));
        return upToNul(text);
    }
    return std::nullopt;
}

// Finds valueName ("" for the default value) in each of the keys, in one pass
// over the file; the result holds one entry per key.
std::vector<std::optional<QString>> readRegFile(const QString& path, const QStringList& keys,
                                                const QString& valueName)
{
    std::vector<std::optional<QString>> found(keys.size());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.readLine().startsWith("WINE REGISTRY Version 2"))
        return found;
    QStringList wanted;
    for (const QString& key : keys)
        wanted << normalizedKey(key);

    // A prefix's system.reg runs to tens of megabytes: it is read a line at a
    // time into one reused buffer, and only section headers are decoded until
    // a wanted section turns up.
    std::vector<char> buffer(64 * 1024);
    QByteArray longLine;
    // The next line, trimmed; valid until the following call.
    const auto nextLine = [&]() {
        qint64 got = file.readLine(buffer.data(), qint64(buffer.size()));
        const char* text = buffer.data();
        if (got < 0)
            got = 0;
        if (got == qint64(buffer.size()) - 1 && buffer[got - 1] != '\n') {
            longLine = QByteArray(text, got);
            while (!longLine.endsWith('\n') && !file.atEnd())
                longLine += file.readLine(qint64(buffer.size()));
            text = longLine.constData();
            got = longLine.size();
        }
        qsizetype from = 0;
        while (from < got && std::isspace(static_cast<uchar>(text[from])))
            ++from;
        while (got > from && std::isspace(static_cast<uchar>(text[got - 1])))
            --got;
        return QByteArray::fromRawData(text + from, got - from);
    };

    qsizetype section = -1; // index into keys of the section being read
    while (!file.atEnd()) {
        QByteArray line = nextLine();
        if (line.startsWith('[')) {
            qsizetype pos = 1;
            const QString key = unescape(line, pos, ']');
            section = -1;
            for (qsizetype i = 0; i < wanted.size() && section < 0; ++i) {
                // Key names compare case-insensitively (a length-preserving fold).
                if (key.size() == wanted[i].size() && key.compare(wanted[i], Qt::CaseInsensitive) == 0)
                    section = i;
            }
            continue;
        }
        if (section < 0 || found[section])
            continue;
        // A wrapped hex value goes on over lines that end in a backslash.
        if (line.endsWith('\\')) {
            QByteArray joined = line.chopped(1); // a copy: the next read reuses the buffer
            while (!file.atEnd()) {
                const QByteArray more = nextLine();
                joined += more;
                if (!joined.endsWith('\\'))
                    break;
                joined.chop(1);
            }
            line = joined;
        }

        qsizetype pos = 0;
        QString name;
        if (line.startsWith("@=")) {
            pos = 1;
        } else if (line.startsWith('"')) {
            pos = 1;
            name = unescape(line, pos, '"');
            if (pos >= line.size())
                continue;
            ++pos;
        } else {
            continue; // #time=, #class=, comments, blank lines
        }
        if (pos >= line.size() || line.at(pos) != '=' || name.compare(valueName, Qt::CaseInsensitive) != 0)
            continue;
        if (auto value = parseData(line.mid(pos + 1)))
            found[section] = std::move(value);
    }
    return found;
}

// The entry of dosdevices/ (Wine spells them "c:", but a hand-made prefix may not)
// that names the folder a Windows path is looked up in.
QString driveRoot(const QString& prefix, QChar letter)
{
    const QDir devices(prefix + QStringLiteral("/dosdevices"));
    const QString wanted = QString(letter.toLower()) + QLatin1Char(':');
    const QStringList entries =
        devices.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.toLower() != wanted)
            continue;
        const QFileInfo target(devices.filePath(entry));
        if (target.isDir())
            return target.canonicalFilePath();
    }
    return {};
}

// The local folder a Windows path stands for inside the prefix, or nothing
// when the path names no drive the prefix has. Components are matched the
// way Wine matches them: case-insensitively, against what exists on disk.
std::optional<QString> mapWindowsPath(const QString& prefix, QString path)
{
    if (path.startsWith(QLatin1String("\\\\?\\")))
        path = path.mid(4);
    if (path.size() < 2 || path.at(1) != QLatin1Char(':') || path.at(0).unicode() > 0x7F ||
        !path.at(0).isLetter())
        return std::nullopt;
    const QString root = driveRoot(prefix, path.at(0));
    if (root.isEmpty())
        return std::nullopt;

    QStringList parts;
    const QStringList components =
        path.mid(2).split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts);
    for (const QString& part : components) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast(); // never above the drive's root, as on Windows
            continue;
        }
        parts << part;
    }

    QString local = root;
    bool onDisk = true;
    for (const QString& part : parts) {
        QString name = part;
        if (onDisk && !QFileInfo::exists(local + QLatin1Char('/') + part)) {
            const QStringList entries =
                QDir(local).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
            const auto match = std::find_if(entries.cbegin(), entries.cend(), [&](const QString& entry) {
                return entry.compare(part, Qt::CaseInsensitive) == 0;
            });
            if (match != entries.cend())
                name = *match;
            else
                onDisk = false; // the rest does not exist yet: keep it as written
        }
        if (local != QLatin1String("/"))
            local += QLatin1Char('/');
        local += name;
    }
    return local;
}

// The host, being 32-bit, sees Software\Wow6432Node\... of a 64-bit prefix as
// its Software\...; a 32-bit prefix has no such node and keeps the key plain.
QStringList viewsOf(const QString& subKey)
{
    const QStringList parts = subKey.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.size() < 2 || parts.at(0).compare(QLatin1String("Software"), Qt::CaseInsensitive) != 0 ||
        parts.at(1).compare(QLatin1String("Wow6432Node"), Qt::CaseInsensitive) == 0)
        return {subKey};
    QStringList wow = parts;
    wow.insert(1, QStringLiteral("Wow6432Node"));
    return {wow.join(QLatin1Char('\\')), subKey};
}

} // namespace

std::optional<QString> PlatformRegistry::readString(quint32 hive, const QString& subKey,
                                                    const QString& valueName)
{
    if (hive != HKEY_LOCAL_MACHINE_)
        return std::nullopt;
    const QString prefix = winePrefix();
    const QStringList views = viewsOf(subKey);
    const auto found = readRegFile(prefix + QStringLiteral("/system.reg"), views, valueName);
    // A value that names no drive of the prefix is as good as missing.
    for (const auto& value : found) {
        if (auto local = value ? mapWindowsPath(prefix, *value) : std::nullopt)
            return local;
    }
    return std::nullopt;
}
