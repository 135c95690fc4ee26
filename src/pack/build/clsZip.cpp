#include "pack/build/clsZip.h"

#include "zip/ZipNames.h"

#include <QFile>
#include <QPointer>
#include <algorithm>
#include <cstring>

clsZip::clsZip(QObject* parent) : QObject(parent)
{
    setStoreDirectories(false);
    setStoreFolderNames(false);
    setRecurseSubDirs(false);
}

clsZip::~clsZip() = default;

void clsZip::setBasePath(const QString& sBasePath)
{
    m_basePath = sBasePath;
    m_basePathBytes = sBasePath.toUtf8();
    m_options.szRootDir = m_basePath.isEmpty() ? nullptr : m_basePathBytes.constData();
}

void clsZip::setReuseArchive(const QString& sFileName)
{
    m_reuseArchive = sFileName;
    m_reuseArchiveBytes = sFileName.toUtf8();
    m_options.szReuse = m_reuseArchive.isEmpty() ? nullptr : m_reuseArchiveBytes.constData();
}

void clsZip::setReplacedArchive(const QString& sFileName)
{
    m_replacedArchiveBytes = QFile::encodeName(sFileName);
    m_options.szReplace = sFileName.isEmpty() ? nullptr : m_replacedArchiveBytes.constData();
}

qint32 clsZip::MessageLevel() const
{
    if (m_options.fVerbose != 0)
        return LevelVerbose;
    if (m_options.fQuiet != 0)
        return LevelQuiet;
    return LevelNormal;
}

void clsZip::setMessageLevel(qint32 eLevel)
{
    if (eLevel < LevelVerbose || eLevel > LevelNormal)
        return;
    m_options.fVerbose = eLevel == LevelVerbose ? 1 : 0;
    m_options.fQuiet = eLevel == LevelQuiet ? 1 : 0;
}

void clsZip::ClearFileSpecs()
{
    std::vector<const char*>().swap(m_specTable);
    m_specBlocks.clear();
    m_specBlockSize = 0;
    m_specBlockUsed = 0;
}

qint32 clsZip::AddFileSpec(const QString& sSpec)
{
    return AddFileSpecUtf8(sSpec.toUtf8());
}

qint32 clsZip::AddFileSpecUtf8(QByteArrayView sSpecUtf8)
{
    constexpr size_t kBlock = 256 * 1024;
    const size_t need = size_t(sSpecUtf8.size()) + 1;
    if (m_specBlocks.empty() || m_specBlockUsed + need > m_specBlockSize) {
        m_specBlockSize = std::max(kBlock, need);
        m_specBlocks.push_back(std::make_unique_for_overwrite<char[]>(m_specBlockSize));
        m_specBlockUsed = 0;
    }
    char* at = m_specBlocks.back().get() + m_specBlockUsed;
    std::memcpy(at, sSpecUtf8.data(), size_t(sSpecUtf8.size()));
    at[sSpecUtf8.size()] = '\0';
    m_specBlockUsed += need;
    m_specTable.push_back(at);
    return 0;
}

QVariant clsZip::FileSpec(qint32 nIndex) const
{
    if (nIndex < 1 || nIndex > FileSpecCount())
        return QVariant();
    return QVariant(ZipNames::Utf8Text(m_specTable[size_t(nIndex - 1)]));
}

void clsZip::Zip()
{
    // A handler may close the window (and so delete this object) while the run is inside it.
    const QPointer<clsZip> self(this);
    const qint32 result = modZip::ZipRun(*this);
    if (self) {
        m_lastResult = result;
        // A run refused because one is under way leaves the library's last failure as it was.
        m_lastFailure = result == ZpErrLogic ? ZipFailure() : ZpLastFailure();
    }
}

void clsZip::Delete()
{
    const QPointer<clsZip> self(this);
    m_options.fDeleteEntries = 1;
    modZip::ZipRun(*this);
    if (self)
        m_options.fDeleteEntries = 0;
}
