#pragma once

#include "pack/build/AuthorManifest.h"
#include "pack/build/PackPlan.h"
#include "zip/Turns.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class clsZip;
class PackContents;

// What the wizard's fields hold at the moment Next is pressed on the save page.
struct PackRequest
{
    QString ScriptName;
    QString ScriptDesc;
    QString ScriptURL;
    QString ScriptVersion;
    QString PackPath;
    const PackContents* Contents = nullptr;
    // What the script's own manifest holds beyond the fields, written back as it stands.
    AuthorManifest Kept;
    // The pack this release started from, when it is not the one replaced:
    // its entries for files unchanged since are copied, not deflated again.
    QString ReuseFrom;
};

// What the build needs from the window that runs it.
class BuildView
{
public:
    virtual ~BuildView() = default;
    // Advances the bar by step, shows the caption and lets the window repaint.
    virtual void ShowProgress(qint16 step, const QString& caption) = 0;
    // Lets the window process what is pending, without moving the bar.
    virtual void DoEvents() = 0;
    // True once the user has confirmed Cancel.
    virtual bool CancelRequested() const = 0;
};

// The registration entries of a pack, as the manifest names them.
struct RegistrationEntries
{
    bool HasComFiles = false;
    QStringList ComFiles;
    bool HasDotNetFiles = false;
    QString DotNetFiles; // joined by "|"
};

// Turns the pack contents into the Script Pack: the manifest first, then one
// recursive run per top-level folder, then the loose files, all into a new
// archive beside the target that replaces it only when every run succeeded.
// Answers the archiver's events while it runs.
class PackBuild : public QObject
{
    Q_OBJECT

public:
    PackBuild(clsZip& cZip, BuildView& view, QObject* parent = nullptr);
    ~PackBuild() override;

    // The whole build; true when the pack was written. The window has already
    // shown its wait page.
    bool makePack(const PackRequest& request);

    // 100 / (files + 3), rounded half to even.
    static qint16 ProgressStepFor(qint64 fileCount);
    // The ticked files of both registration lists, walked the way the lists are read;
    // turn, when given, is called once per node so a caller can keep its window live.
    static RegistrationEntries CollectRegistrations(const PackContents& contents,
                                                    const std::function<void()>& turn = {});
    // "ScriptPack created using Bundlesmith v" and the program's version.
    static QString PackComment();

    qint16 ProgressStep() const { return m_step; }
    // The bits of the 64-bit name hashes the build compares names by; tests
    // narrow it so that names collide, which must never pass a wrong pack.
    static inline quint64 NameHashMask = ~quint64(0);
    // Why the last build failed, in plain words for the finish page (the log
    // has it too); empty after a success.
    QString LastError() const { return m_lastError; }

    void cZip_Progress(qint32 lCount, const QString& sMsg);
    void cZip_CommentRequest(QString& sComment, bool& bCancel);
    void cZip_Cancel(const QString& sMsg, bool& bCancel);

private:
    bool build(const PackRequest& request, const QString& workFolder);
    bool runZip(const QString& what);
    bool fail(const QString& reason);
    // Plans the build from the contents, handing each run to the read-ahead as soon as it is planned.
    void MakePlan(const PackContents& contents, const QString& packPath, const QString& reuse,
                  const QString& replaced);
    // Logs the files left out, and refuses two names Windows would take as one.
    bool CheckNames(const PackContents& contents);
    bool WriteManifest(const QString& manifest, const QString& xml);
    // The archiver's run for each top-level folder; false when one failed.
    bool RunFolders(const PackContents& contents);
    // Reads the finished pack back: it holds exactly the entries planned, and
    // every file the manifest registers.
    bool CheckPack(const QString& pack, const RegistrationEntries& reg);

    // Replaces whatever is at packPath by the finished pack, on the disk first.
    bool PutInPlace(const QString& tempPack, const QString& packPath);
    QString EntryOfPath(const QString& path) const;
    QString PlainZipError(const QString& what) const;
    void StartProgress(qint64 fileCount);
    // The bar's advance for the next progress step, in whole units.
    qint16 NextStep();
    // Gives the window its turn when it has waited kTurnIntervalMs (or now);
    // false once the user has cancelled.
    bool Turn(bool now = false);

    clsZip& m_zip;
    BuildView& m_view;
    // Up to this many entries the finished pack is read back on the caller's thread.
    static constexpr qsizetype ReadBesideEntries = 2000;
    QElapsedTimer m_turnClock;
    qint16 m_step = 0;
    // Exact share of one step when the rounded step is 0, and what of it the
    // bar has not been given yet.
    double m_exactStep = 0.0;
    double m_stepCarry = 0.0;
    QString m_lastError;
    // The build under way: its contents, and what of them it packs.
    const PackContents* m_contents = nullptr;
    PackPlan m_plan;
};
