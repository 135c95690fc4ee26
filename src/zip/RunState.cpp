#include "zip/RunState.h"

#include "platform/FileIO.h"
#include "zip/ZpTypes.h"

#include <QDir>
#include <QFile>

QString BasePath(const QByteArray& rootDir, bool literal)
{
    QString root = QString::fromUtf8(rootDir).trimmed();
    if (!literal)
        root.replace(u'\\', u'/');
    return QDir::cleanPath(root.isEmpty() ? QDir::currentPath() : QDir::current().absoluteFilePath(root));
}

RunState::RunState(ZipSession& s)
    : session(s), cb(s.callbacks), opt(s.options), base(BasePath(s.rootDir, s.options.fLiteral != 0)),
      m_idleClock(s.idleClock)
{
    if (!m_idleClock.isValid())
        m_idleClock.start();
}

void RunState::send(const QString& text) const
{
    if (cb.Print == nullptr)
        return;
    const QByteArray bytes = text.toUtf8();
    cb.Print(bytes.constData(), static_cast<qint32>(bytes.size()));
}

void RunState::note(const QString& text) const
{
    if (opt.fQuiet == 0)
        send(text);
}

void RunState::noteEntry(bool replacing, QByteArrayView name)
{
    if (opt.fQuiet != 0 || cb.Print == nullptr)
        return;
    m_message.resize(0);
    m_message.append(replacing ? "updating: " : "  adding: ").append(name);
    cb.Print(m_message.constData(), static_cast<qint32>(m_message.size()));
}

qint32 RunState::fail(ZipFailure why)
{
    if (m_code == ZpOk) {
        m_code = why.code();
        send(why.message());
        session.failure = std::move(why);
    }
    return m_code;
}

bool RunState::askService(QByteArrayView name)
{
    if (cb.Service != nullptr && cb.Service(name.data(), static_cast<qint32>(name.size())) == 1)
        m_abandoned = true;
    return !m_abandoned;
}

bool RunState::idle(qint64 intervalMs)
{
    if (cb.Idle != nullptr && m_idleClock.elapsed() >= intervalMs) {
        m_idleClock.restart();
        if (cb.Idle() == 1)
            m_abandoned = true;
    }
    return !m_abandoned;
}

bool RunState::finishHeld(bool keepCache)
{
    HeldArchive& h = *session.held;
    // A cancel here comes too late to matter: the directory is the last step.
    const bool ok = h.writer.finish(h.comment, [this] { idle(); });
    session.savedCache.clear();
    FileIO::Status st;
    if (!ok)
        h.writer.remove();
    else if (keepCache && !h.made.isEmpty() &&
             FileIO::statusOf(QFile::encodeName(h.writer.path()).constData(), st))
        session.savedCache = h.made.save(h.writer.directory(), st.size);
    session.held.reset();
    return ok;
}
