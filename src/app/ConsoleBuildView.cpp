#include "app/ConsoleBuildView.h"

#include "platform/Console.h"

#include <QCoreApplication>
#include <QTextStream>

ConsoleBuildView::~ConsoleBuildView()
{
    // The last line goes, so what follows starts on a clean one.
    if (m_shown)
        m_err << "\r\x1b[K" << Qt::flush;
}

QString ConsoleBuildView::Line(int value, const QString& caption, int columns)
{
    QString line = QStringLiteral("%1% ").arg(value, 3) + caption;
    // One column spare: a line that fills the last one wraps on some terminals.
    if (line.size() > columns - 1)
        line = line.left(qMax(0, columns - 2)) + QChar(0x2026);
    return line;
}

void ConsoleBuildView::ShowProgress(qint16 step, const QString& caption)
{
    m_value = qBound(0, m_value + step, 100);
    if (m_columns <= 0)
        return;
    m_err << "\r\x1b[K" << Line(m_value, caption, m_columns) << Qt::flush;
    m_shown = true;
}

void ConsoleBuildView::DoEvents()
{
    QCoreApplication::processEvents();
}

bool ConsoleBuildView::CancelRequested() const
{
    return Console::Interrupted() != 0;
}
