#pragma once

#include <QString>
#include <QStringList>

// Where "bundlesmith pack" writes: -o as given (".plsc" appended when it
// does not end so, letter case counting), "<name>-<version>.plsc" inside -o
// when that is a folder, or in the current folder without -o. Empty with
// error set when -o names no file (''), a folder that is not there ("out/"),
// or a file that is one of inputs.
QString PackTarget(const QString* output, const QString& name, const QString& version,
                   const QStringList& inputs, QString& error);

// "<name>-<version>", made a name Windows can hold.
QString DefaultPackName(const QString& name, const QString& version);
