#pragma once

#include <QString>
#include <QStringView>

// The indentation before begin on its line; nothing when text stands there.
QStringView IndentBefore(QStringView source, qsizetype begin);

// The markup of one element of a manifest as its author wrote it, ready to
// stand among the lines the wizard writes:
// - every line end becomes CR LF (a parser reads all of them as one LF);
// - indent (the indentation of the element's own first line) is taken off
//   the lines within it where a line break lies between tags, so it starts
//   at the left like the lines around it; text, attribute values, comments
//   and CDATA are copied as they are;
// - namespaces is inserted into its start tag (" xmlns:p=\"...\"" for the
//   prefixes the author declared further out, which the written manifest lacks).
QString CopyElementMarkup(QStringView markup, QStringView indent, const QString& namespaces);
