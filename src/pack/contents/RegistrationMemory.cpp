#include "pack/contents/RegistrationMemory.h"

#include "pack/contents/PackContents.h"

RegistrationMemory::RegistrationMemory(PackContents& contents, QObject* parent)
    : QObject(parent), m_contents(contents)
{
    connect(&m_contents, &PackContents::nodeInserted, this, &RegistrationMemory::apply);
}

void RegistrationMemory::Remember(const QStringList& comEntries, const QStringList& dotNetEntries)
{
    m_com.clear();
    m_dotNet.clear();
    for (const QString& entry : comEntries)
        m_com.insert(MatchKey(entry));
    for (const QString& entry : dotNetEntries) {
        if (!m_com.contains(MatchKey(entry)))
            m_dotNet.insert(MatchKey(entry));
    }
    for (int index : m_contents.liveNodes()) {
        // A tick the user already set stays as it is.
        if (m_contents.StateImage(PackList::Reg1, index) == Unchecked &&
            m_contents.StateImage(PackList::Reg2, index) == Unchecked)
            apply(index);
    }
}

QString RegistrationMemory::ManifestEntry(const PackContents& contents, int creationIndex)
{
    if (!contents.isLive(creationIndex) || contents.node(creationIndex).Kind == PackNodeKind::Folder)
        return {};
    return contents.NameInPack(creationIndex, QLatin1Char('\\'));
}

QString RegistrationMemory::MatchKey(const QString& entry)
{
    QString key = entry.trimmed().toCaseFolded();
    key.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return key;
}

void RegistrationMemory::apply(int creationIndex)
{
    if (m_com.isEmpty() && m_dotNet.isEmpty())
        return;
    const QString key = MatchKey(ManifestEntry(m_contents, creationIndex));
    if (key.isEmpty())
        return;
    if (m_com.contains(key))
        m_contents.SetChecked(PackList::Reg1, creationIndex, true);
    else if (m_dotNet.contains(key))
        m_contents.SetChecked(PackList::Reg2, creationIndex, true);
}
