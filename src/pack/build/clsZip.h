#pragma once

#include "pack/build/modZip.h"
#include "platform/ZipLibrary.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

// The program's archiver: an archive path, an ordered list of file specs and
// the option record, run through the zip library in one call to Zip. The
// library's callbacks come back as events on the calling thread; connect them
// directly (their reference arguments carry the answers back).
class clsZip : public QObject
{
    Q_OBJECT

public:
    // Message levels; 2 is the default.
    enum : qint32
    {
        LevelVerbose = 0,
        LevelQuiet = 1,
        LevelNormal = 2
    };

    explicit clsZip(QObject* parent = nullptr);
    ~clsZip() override;

    QString ZipFile() const { return m_zipFile; }
    void setZipFile(const QString& sFileName) { m_zipFile = sFileName; }
    QString BasePath() const { return m_basePath; }
    void setBasePath(const QString& sBasePath);

    bool Encrypt() const { return m_options.fEncrypt != 0; }
    void setEncrypt(bool bState) { m_options.fEncrypt = bState ? 1 : 0; }
    bool AddComment() const { return m_options.fComment != 0; }
    void setAddComment(bool bState) { m_options.fComment = bState ? 1 : 0; }
    bool IncludeSystemAndHiddenFiles() const { return m_options.fSystem != 0; }
    void setIncludeSystemAndHiddenFiles(bool bState) { m_options.fSystem = bState ? 1 : 0; }
    bool StoreVolumeLabel() const { return m_options.fVolume != 0; }
    void setStoreVolumeLabel(bool bState) { m_options.fVolume = bState ? 1 : 0; }
    // The record holds these two inverted: 1 means "leave out".
    bool StoreDirectories() const { return m_options.fNoDirEntries == 0; }
    void setStoreDirectories(bool bState) { m_options.fNoDirEntries = bState ? 0 : 1; }
    bool StoreFolderNames() const { return m_options.fJunkDirNames == 0; }
    void setStoreFolderNames(bool bState) { m_options.fJunkDirNames = bState ? 0 : 1; }
    bool RecurseSubDirs() const { return m_options.fRecurse != 0; }
    void setRecurseSubDirs(bool bState) { m_options.fRecurse = bState ? 2 : 0; }
    // Specs taken as exact paths: no wildcards, and a '\' is part of a name.
    bool LiteralSpecs() const { return m_options.fLiteral != 0; }
    void setLiteralSpecs(bool bState) { m_options.fLiteral = bState ? 1 : 0; }
    // More runs on the same archive follow: the library may keep it open and
    // write its directory once, at the first run without this.
    bool HoldDirectory() const { return m_options.fHold != 0; }
    void setHoldDirectory(bool bState) { m_options.fHold = bState ? 1 : 0; }
    // An earlier archive whose stored data may be reused for unchanged files;
    // empty for none.
    QString ReuseArchive() const { return m_reuseArchive; }
    void setReuseArchive(const QString& sFileName);
    // The archive the one being made will replace: never taken in as a file.
    void setReplacedArchive(const QString& sFileName);
    bool UpdateOnlyIfNewer() const { return m_options.fUpdate != 0; }
    void setUpdateOnlyIfNewer(bool bState) { m_options.fUpdate = bState ? 1 : 0; }
    bool FreshenFiles() const { return m_options.fFreshen != 0; }
    void setFreshenFiles(bool bState) { m_options.fFreshen = bState ? 1 : 0; }
    bool ConvertCRLFToLF() const { return m_options.fCRLFtoLF != 0; }
    void setConvertCRLFToLF(bool bState) { m_options.fCRLFtoLF = bState ? 1 : 0; }
    bool ConvertLFToCRLF() const { return m_options.fLFtoCRLF != 0; }
    void setConvertLFToCRLF(bool bState) { m_options.fLFtoCRLF = bState ? 1 : 0; }
    bool AllowAppend() const { return m_options.fGrow != 0; }
    void setAllowAppend(bool bState) { m_options.fGrow = bState ? 1 : 0; }
    qint32 MessageLevel() const;
    // 0, 1 or 2; any other value leaves the level unchanged.
    void setMessageLevel(qint32 eLevel);

    void ClearFileSpecs();
    // Always 0.
    qint32 AddFileSpec(const QString& sSpec);
    // The same for a spec already in UTF-8.
    qint32 AddFileSpecUtf8(QByteArrayView sSpecUtf8);
    qint32 FileSpecCount() const { return static_cast<qint32>(m_specTable.size()); }
    // 1-based; an index outside the list gives an invalid QVariant.
    QVariant FileSpec(qint32 nIndex) const;

    // Runs the library over the spec list; the code is kept for Success.
    void Zip();
    bool Success() const { return m_lastResult == 0; }
    // The library's code of the last Zip (0 before any run).
    qint32 LastResult() const { return m_lastResult; }
    // Why the last Zip failed (kind None after a success).
    const ZipFailure& LastFailure() const { return m_lastFailure; }
    // Removes the entries matching the specs; its code is not kept.
    void Delete();

    // The record handed to the library before every run (field 2 points at
    // the base path's UTF-8 text, valid while the base path is unchanged).
    const ZpOptions& Options() const { return m_options; }
    // The specs as the library reads them: NUL-terminated UTF-8 texts in list
    // order, valid until the list changes.
    const std::vector<const char*>& SpecTable() const { return m_specTable; }

signals:
    // Raised only during a run. Handlers answer through the reference arguments.
    void Cancel(const QString& sMsg, bool& bCancel, QPrivateSignal);
    void CommentRequest(QString& sComment, bool& bCancel, QPrivateSignal);
    void Progress(qint32 lCount, const QString& sMsg, QPrivateSignal);
    // At most about every 20 ms while the specs are looked up, a file's data is
    // compressed or the archive written out, and once before an existing
    // archive is opened, so the owner can let its window repaint meanwhile.
    void Idle(QPrivateSignal);

private:
    friend qint32 modZip::ZipPrintCallback(const char*, qint32);
    friend qint32 modZip::ZipServiceCallback(const char*, qint32);
    friend qint32 modZip::ZipCommentCallback(char*);
    friend qint32 modZip::ZipIdleCallback();

    void RaiseCancel(const QString& sMsg, bool& bCancel) { emit Cancel(sMsg, bCancel, QPrivateSignal()); }
    void RaiseCommentRequest(QString& sComment, bool& bCancel)
    {
        emit CommentRequest(sComment, bCancel, QPrivateSignal());
    }
    void RaiseProgress(qint32 lCount, const QString& sMsg) { emit Progress(lCount, sMsg, QPrivateSignal()); }
    void RaiseIdle() { emit Idle(QPrivateSignal()); }

    QString m_zipFile;
    QString m_basePath;
    QByteArray m_basePathBytes;
    QString m_reuseArchive;
    QByteArray m_reuseArchiveBytes;
    QByteArray m_replacedArchiveBytes;
    ZpOptions m_options;
    // One copy of each spec, in blocks that never move, so the table can
    // point into them: a hundred thousand paths are not copied again per run.
    std::vector<std::unique_ptr<char[]>> m_specBlocks;
    size_t m_specBlockSize = 0;
    size_t m_specBlockUsed = 0;
    std::vector<const char*> m_specTable;
    qint32 m_lastResult = 0;
    ZipFailure m_lastFailure;
};
