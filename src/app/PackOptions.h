#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

// What "bundlesmith pack" was asked for.
struct PackOptions
{
    QCommandLineParser parser;
    QCommandLineOption name{QStringLiteral("name"), QString(), QStringLiteral("NAME")};
    QCommandLineOption description{QStringLiteral("description"), QString(), QStringLiteral("TEXT")};
    QCommandLineOption url{QStringLiteral("url"), QString(), QStringLiteral("URL")};
    QCommandLineOption version{QStringLiteral("version"), QString(), QStringLiteral("V")};
    QCommandLineOption com{QStringLiteral("com"), QString(), QStringLiteral("ENTRY")};
    QCommandLineOption dotNet{QStringLiteral("dotnet"), QString(), QStringLiteral("ENTRY")};
    QCommandLineOption from{QStringLiteral("from"), QString(), QStringLiteral("SOURCE")};
    QCommandLineOption exclude{QStringLiteral("exclude"), QString(), QStringLiteral("PATTERN")};
    QCommandLineOption noDefaultExcludes{QStringList{QStringLiteral("no-default-excludes")}};
    QCommandLineOption strict{QStringList{QStringLiteral("strict")}};
    QCommandLineOption list{QStringList{QStringLiteral("list")}};
    QCommandLineOption quiet{QStringList{QStringLiteral("q"), QStringLiteral("quiet")}};
    QCommandLineOption force{QStringList{QStringLiteral("force")}};
    QCommandLineOption output{QStringList{QStringLiteral("o"), QStringLiteral("output")}, QString(),
                              QStringLiteral("OUT")};
    QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}};

    PackOptions();
    // Empty when the arguments (the program's, "pack" included) make sense, else why not.
    QString Parse(QStringList arguments);

    bool isSet(const QCommandLineOption& o) const { return parser.isSet(o); }
    QString value(const QCommandLineOption& o) const { return parser.value(o); }
    QStringList paths() const { return parser.positionalArguments(); }
};
