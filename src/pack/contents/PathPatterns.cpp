#include "pack/contents/PathPatterns.h"

namespace {

QRegularExpression ToExpression(QStringView glob)
{
    QString re;
    for (qsizetype i = 0; i < glob.size(); ++i) {
        const QChar c = glob[i];
        if (c == u'*' && i + 1 < glob.size() && glob[i + 1] == u'*') {
            // "**/" also matches no folder at all.
            const bool slash = i + 2 < glob.size() && glob[i + 2] == u'/';
            re += slash ? QStringLiteral("(?:.*/)?") : QStringLiteral(".*");
            i += slash ? 2 : 1;
        } else if (c == u'*') {
            re += QStringLiteral("[^/]*");
        } else if (c == u'?') {
            re += QStringLiteral("[^/]");
        } else if (c == u'[') {
            const qsizetype close = glob.indexOf(u']', i + 2);
            if (close < 0) {
                re += QStringLiteral("\\[");
                continue;
            }
            QString set = glob.sliced(i + 1, close - i - 1).toString();
            if (set.startsWith(u'!'))
                set[0] = u'^';
            set.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
            re += u'[' + set + u']';
            i = close;
        } else {
            re += QRegularExpression::escape(QString(c));
        }
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(re));
}

} // namespace

PathPatterns::PathPatterns(const QStringList& globs)
{
    for (QString glob : globs) {
        // Typed on Windows as the host names paths: its '\\' is a folder's end here too.
        glob.replace(u'\\', u'/');
        // A folder's pattern may end in '/': it names the folder itself.
        while (glob.size() > 1 && glob.endsWith(u'/'))
            glob.chop(1);
        if (glob.isEmpty())
            continue;
        if (glob.contains(u'/'))
            m_paths << ToExpression(glob.startsWith(u'/') ? QStringView(glob).sliced(1) : QStringView(glob));
        else
            m_names << ToExpression(glob);
    }
}

bool PathPatterns::matches(const QString& packPath) const
{
    QStringView path(packPath);
    while (path.endsWith(u'/'))
        path.chop(1);
    const QStringView name = path.sliced(path.lastIndexOf(u'/') + 1);
    for (const QRegularExpression& re : m_names) {
        if (re.match(name).hasMatch())
            return true;
    }
    for (const QRegularExpression& re : m_paths) {
        if (re.match(path).hasMatch())
            return true;
    }
    return false;
}
