#pragma once

#include "zip/ZipNames.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// A 64-bit hash of an entry name built up part by part (FNV-1a over its
// UTF-16 code units), exact or lower-cased. Only ever a first test: names
// whose hashes meet are compared in full.
struct NameHash
{
    quint64 exact = 14695981039346656037ull;
    quint64 lower = 14695981039346656037ull;

    static void add(quint64& h, char16_t c) { h = (h ^ c) * 1099511628211ull; }
    void add(QStringView text, QStringView lowered)
    {
        for (QChar c : text)
            add(exact, c.unicode());
        for (QChar c : lowered)
            add(lower, c.unicode());
    }
    void addSeparator()
    {
        add(exact, u'/');
        add(lower, u'/');
    }
    // Plain ASCII (the common case) is lowered here; anything else the way
    // QString::toLower does it.
    void addUtf8(QByteArrayView name)
    {
        bool ascii = true;
        for (char ch : name)
            ascii = ascii && uchar(ch) < 0x80;
        if (ascii) {
            for (char ch : name) {
                add(exact, char16_t(ch));
                add(lower, char16_t(ch >= 'A' && ch <= 'Z' ? ch + ('a' - 'A') : ch));
            }
            return;
        }
        const QString text = ZipNames::Utf8Text(name);
        add(text, text.toLower());
    }
};
