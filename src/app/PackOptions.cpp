#include "app/PackOptions.h"

#include <QCoreApplication>

PackOptions::PackOptions()
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({name, description, url, version, com, dotNet, from, exclude, noDefaultExcludes, strict,
                       list, quiet, force, output, help});
}

QString PackOptions::Parse(QStringList arguments)
{
    arguments.removeAt(1); // "pack"
    if (!parser.parse(arguments))
        return parser.errorText();
    if (parser.isSet(help))
        return QString();
    for (const QCommandLineOption* single : {&name, &description, &url, &version, &from, &output}) {
        if (parser.values(*single).size() > 1)
            return QCoreApplication::translate("PackCommand", "--%1 given more than once.")
                .arg(single->names().constLast());
    }
    return QString();
}
