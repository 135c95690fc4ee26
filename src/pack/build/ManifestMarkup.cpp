#include "pack/build/ManifestMarkup.h"

#include <algorithm>

namespace {

const QString CrLf = QStringLiteral("\r\n");

// Appends text with its line ends as CR LF.
void AppendLines(QString& out, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += CrLf;
        } else if (c == u'\n') {
            out += CrLf;
        } else {
            out += c;
        }
    }
}

// White space between two tags, line ends as CR LF, each line that follows a
// break without the indent it starts with.
void AppendOutdented(QString& out, QStringView space, QStringView indent)
{
    QString lines;
    AppendLines(lines, space);
    qsizetype from = 0;
    for (qsizetype br = lines.indexOf(u'\n'); br >= 0; br = lines.indexOf(u'\n', from)) {
        out += QStringView(lines).sliced(from, br + 1 - from);
        from = br + 1;
        if (!indent.isEmpty() && QStringView(lines).sliced(from).startsWith(indent))
            from += indent.size();
    }
    out += QStringView(lines).sliced(from);
}

bool IsSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

QStringView IndentBefore(QStringView source, qsizetype begin)
{
    qsizetype start = begin;
    while (start > 0 && (source[start - 1] == u' ' || source[start - 1] == u'\t'))
        --start;
    if (start > 0 && source[start - 1] != u'\n' && source[start - 1] != u'\r')
        return {};
    return source.sliced(start, begin - start);
}

namespace {

// Where the construct that opens at i ends (one past it): a comment, CDATA,
// a processing instruction or a tag, whose quoted values may hold '>'.
qsizetype MarkupEnd(QStringView s, qsizetype i)
{
    const auto past = [&s, i](QStringView close) {
        const qsizetype at = s.indexOf(close, i);
        return at < 0 ? s.size() : at + close.size();
    };
    if (s.sliced(i).startsWith(u"<!--"))
        return past(u"-->");
    if (s.sliced(i).startsWith(u"<![CDATA["))
        return past(u"]]>");
    if (s.sliced(i).startsWith(u"<?"))
        return past(u"?>");
    QChar quote;
    for (qsizetype j = i + 1; j < s.size(); ++j) {
        if (!quote.isNull()) {
            if (s[j] == quote)
                quote = QChar();
        } else if (s[j] == u'"' || s[j] == u'\'') {
            quote = s[j];
        } else if (s[j] == u'>') {
            return j + 1;
        }
    }
    return s.size();
}

} // namespace

QString CopyElementMarkup(QStringView s, QStringView indent, const QString& namespaces)
{
    QString out;
    out.reserve(s.size() + namespaces.size() + s.size() / 16);
    // Where each tag opened, so that white space alone inside an element with
    // no child (<Author>  </Author>) stays its text.
    bool afterStartTag = false;
    bool first = true;
    for (qsizetype i = 0; i < s.size();) {
        if (s[i] != u'<') {
            qsizetype j = i;
            while (j < s.size() && s[j] != u'<')
                ++j;
            const QStringView text = s.sliced(i, j - i);
            const bool space = std::all_of(text.begin(), text.end(), IsSpace);
            const bool leafText = afterStartTag && s.sliced(j).startsWith(u"</");
            if (space && !leafText)
                AppendOutdented(out, text, indent);
            else
                AppendLines(out, text);
            i = j;
            continue;
        }
        const qsizetype j = MarkupEnd(s, i);
        const QStringView markup = s.sliced(i, j - i);
        if (first && !namespaces.isEmpty()) {
            // Right after the element's name.
            qsizetype name = 1;
            while (name < markup.size() && !IsSpace(markup[name]) && markup[name] != u'>' &&
                   markup[name] != u'/')
                ++name;
            AppendLines(out, markup.first(name));
            out += namespaces;
            AppendLines(out, markup.sliced(name));
        } else {
            AppendLines(out, markup);
        }
        first = false;
        const bool tag = !markup.startsWith(u"<!") && !markup.startsWith(u"<?");
        if (tag)
            afterStartTag = !markup.startsWith(u"</") && !markup.endsWith(u"/>");
        i = j;
    }
    return out;
}
