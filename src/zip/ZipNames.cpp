#include "zip/ZipNames.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <QStringList>
#include <climits>

// Texts a user reads, in the user's language.
class Text
{
    Q_DECLARE_TR_FUNCTIONS(ZipNames)
};

namespace ZipNames {

bool IsUnder(const QString& path, const QString& root, Qt::CaseSensitivity cs)
{
    if (root.isEmpty())
        return false;
    if (path.compare(root, cs) == 0)
        return true;
    if (root.endsWith(u'/'))
        return path.startsWith(root, cs);
    return path.size() > root.size() && path[root.size()] == u'/' && path.startsWith(root, cs);
}

QString RelativeTo(const QString& root, const QString& path, Qt::CaseSensitivity cs)
{
    if (!IsUnder(path, root, cs) || path.size() <= root.size())
        return QString();
    return path.mid(root.endsWith(u'/') ? root.size() : root.size() + 1);
}

bool WildMatch(QStringView pattern, QStringView name, Qt::CaseSensitivity cs)
{
    if (pattern == u"*.*")
        return true;
    auto same = [cs](QChar a, QChar b) {
        return cs == Qt::CaseSensitive ? a == b : a.toCaseFolded() == b.toCaseFolded();
    };
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

QString EntryNameProblem(const QString& name)
{
    if (name.isEmpty())
        return Text::tr("it is empty");
    if (name.startsWith(u'/'))
        return QStringLiteral("it is an absolute path");
    if (name.size() >= 2 && name[1] == u':' && name[0].isLetter())
        return QStringLiteral("it starts with a drive letter");
    if (name.contains(u'\\'))
        return QStringLiteral("it holds a backslash");
    QStringView body(name);
    if (body.endsWith(u'/'))
        body.chop(1);
    for (QStringView part : body.split(u'/')) {
        if (part == u"..")
            return QStringLiteral("it climbs out of its folder");
        if (part.isEmpty() || part == u".")
            return QStringLiteral("it has an empty part");
    }
    return QString();
}

QString WindowsNameProblem(const QString& name)
{
    if (name.isEmpty())
        return Text::tr("it is empty");
    for (QChar c : name) {
        if (c.unicode() < 0x20)
            return Text::tr("it holds a control character");
        if (QStringView(u"\\/:*?\"<>|").contains(c))
            return Text::tr("Windows does not allow the character '%1' in names").arg(c);
    }
    if (name.front().isSpace() || name.back().isSpace())
        return Text::tr("it begins or ends with a space");
    if (name.endsWith(u'.'))
        return Text::tr("it ends with a dot");
    // Device names are reserved whatever follows the first dot. They are
    // three or four letters long: a plain ASCII stem of another length is
    // none, and costs no copy (this runs for every file of a folder added).
    const qsizetype dot = name.indexOf(u'.');
    const QStringView stemText = QStringView(name).left(dot < 0 ? name.size() : dot).trimmed();
    bool ascii = true;
    for (QChar c : stemText)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii && stemText.size() != 3 && stemText.size() != 4)
        return QString();
    const QString stem = stemText.toString().toUpper();
    static const QStringList devices = [] {
        QStringList d{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                      QStringLiteral("NUL")};
        for (int i = 1; i <= 9; ++i)
            d << QStringLiteral("COM%1").arg(i) << QStringLiteral("LPT%1").arg(i);
        return d;
    }();
    if (devices.contains(stem))
        return Text::tr("Windows reserves the name %1 for a device").arg(stem);
    return QString();
}

QString Utf8Text(QByteArrayView utf8)
{
    if (utf8.isEmpty() || uchar(utf8[0]) != 0xEF)
        return QString::fromUtf8(utf8);
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(utf8);
}

bool IsExactUtf8(const QByteArray& raw)
{
    return Utf8Text(raw).toUtf8() == raw;
}

qsizetype PathLimit()
{
#ifdef PATH_MAX
    return PATH_MAX - 1; // the limit counts the terminating NUL
#else
    return 259;
#endif
}

} // namespace ZipNames
