#pragma once

#include <QByteArray>
#include <QString>

// Turns a manifest's bytes into text the way authors save them: by its
// byte-order mark (UTF-8, UTF-16 LE or BE), else by the encoding its XML
// declaration names, else as UTF-8, else in the Windows code page their
// editors write. On failure why says what could not be read, as the rest of
// a sentence whose subject is the manifest ("is not valid UTF-16").
bool DecodeManifest(const QByteArray& bytes, QString& text, QString& why);
