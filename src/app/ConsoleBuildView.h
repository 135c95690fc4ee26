#pragma once

#include "pack/build/makePack.h"

class QTextStream;

// The build's progress as one line that rewrites itself on a terminal, cut
// to its width so that it never wraps and leaves lines behind. The build
// stops when the user interrupts it (Ctrl-C, a SIGTERM).
class ConsoleBuildView final : public BuildView
{
public:
    // columns 0: no progress line at all.
    ConsoleBuildView(QTextStream& err, int columns) : m_err(err), m_columns(columns) {}
    ~ConsoleBuildView() override;
    ConsoleBuildView(const ConsoleBuildView&) = delete;
    ConsoleBuildView& operator=(const ConsoleBuildView&) = delete;

    void ShowProgress(qint16 step, const QString& caption) override;
    void DoEvents() override;
    bool CancelRequested() const override;

    // The line for value and caption in columns.
    static QString Line(int value, const QString& caption, int columns);

private:
    QTextStream& m_err;
    int m_columns;
    bool m_shown = false;
    int m_value = 0;
};
