#pragma once

#include <QCoreApplication>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// An element of a script author's own ScriptInfo.xml that the wizard does not
// make itself: a menu, a command list, an author's name. The host reads them,
// so a pack built from that script must carry them as the author wrote them.
struct KeptElement
{
    QString Name; // as written: ScriptMenu, Author
    QString Xml;  // from its start tag to its end tag, lines ending in CR LF, no line end after it
};

// What of an author's manifest goes into the written one unchanged.
struct AuthorManifest
{
    QList<KeptElement> Information; // children of <Information>, after the generated lines
    QList<KeptElement> Sections;    // top-level sections, after </Information>
    // The author kept the version as <Information><Version>; the written
    // manifest keeps that element too, with the version field's text.
    bool VersionElement = false;

    bool isEmpty() const { return Information.isEmpty() && Sections.isEmpty() && !VersionElement; }
    // The kept elements' names, sections first, each once.
    QStringList Names() const
    {
        QStringList names;
        QSet<QString> seen;
        for (const QList<KeptElement>* list : {&Sections, &Information}) {
            for (const KeptElement& e : *list) {
                if (!seen.contains(e.Name)) {
                    seen.insert(e.Name);
                    names << e.Name;
                }
            }
        }
        return names;
    }
    // The same for a line of text: the first few, and how many more.
    QString NamesLine(qsizetype most = 8) const
    {
        const QStringList names = Names();
        QString line = names.mid(0, most).join(QStringLiteral(", "));
        if (names.size() > most)
            line += QCoreApplication::translate("AuthorManifest", " and %1 more").arg(names.size() - most);
        return line;
    }
};
