#pragma once

#include "zip/Turns.h"
#include "zip/ZipFailure.h"
#include "zip/ZipSession.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The folder relative specs and entry names start from.
QString BasePath(const QByteArray& rootDir, bool literal);

// What every kind of run shares: its options and callbacks, the archive's
// path, how it reports, and whether it has failed or been abandoned.
class RunState
{
public:
    explicit RunState(ZipSession& session);
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    ZipSession& session;
    const ZpCallbacks cb;
    const ZpOptions opt;
    const QString base;
    QString zipPath;
    QString zipCanonical;

    bool junkNames() const { return opt.fJunkDirNames != 0; }
    bool storeDirs() const { return opt.fNoDirEntries == 0 && !junkNames(); }
    bool recurse() const { return opt.fRecurse != 0; }
    bool literal() const { return opt.fLiteral != 0; }

    qint32 code() const { return m_code; }
    bool abandoned() const { return m_abandoned; }

    void send(const QString& text) const;
    // A message left out at the quiet level.
    void note(const QString& text) const;
    // "  adding: NAME" or "updating: NAME", without a copy of the name.
    void noteEntry(bool replacing, QByteArrayView name);
    // The run fails for this reason, unless it failed already: the first
    // reason is the one reported. Returns the run's code.
    qint32 fail(ZipFailure why);
    qint32 fail(ZipFailure::Kind kind, const QString& path) { return fail(ZipFailure::at(kind, path)); }
    qint32 aborted() { return fail(ZipFailure::Cancelled, QString()); }

    // Whether the run goes on: asks the service callback about an entry.
    bool askService(const QString& name) { return askService(QByteArrayView(name.toUtf8())); }
    bool askService(QByteArrayView name);
    // Whether the run goes on: hands the caller its idle call when due.
    bool idle(qint64 intervalMs = kWaitTickMs);

    // The held archive gets its directory and is closed; false when that failed.
    // keepCache: whether the stat cache of the files is saved with it; not
    // for an archive finished after its run failed, which the caller drops.
    bool finishHeld(bool keepCache = true);

private:
    qint32 m_code = 0;
    bool m_abandoned = false;
    QElapsedTimer& m_idleClock;
    QByteArray m_message; // kept: one allocation for all of a run's messages
};
