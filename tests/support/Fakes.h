#pragma once

#include "platform/FileDialogs.h"
#include "platform/MsgBox.h"
#include "platform/Shell.h"

#include <QList>
#include <QStringList>

// Each fake replaces its service for its own lifetime.

// Answers message boxes from a queue (then OK / No) and remembers what was asked.
class FakeMsgBox final : public MsgBox
{
public:
    struct Shown
    {
        QString prompt;
        int style;
        QString title;
    };
    void setNextAnswer(int answer) { m_answers.append(answer); }
    int show(QWidget*, const QString& prompt, int style, const QString& title) override
    {
        shown.append({prompt, style, title});
        return !m_answers.isEmpty() ? m_answers.takeFirst() : (style & 7) == YesNo ? No : OK;
    }
    QStringList prompts() const
    {
        QStringList out;
        for (const Shown& s : shown)
            out << s.prompt;
        return out;
    }
    QList<Shown> shown;

private:
    QList<int> m_answers;
    ScopedSeam<MsgBox> m_seam{this};
};

// Answers file dialogs with prepared results (then as cancelled) and records every request.
class FakeFileDialogs final : public FileDialogs
{
public:
    QStringList getOpenFileNames(QWidget*, const OpenRequest& r) override
    {
        openRequests.append(r);
        return nextOpen.isEmpty() ? QStringList() : nextOpen.takeFirst();
    }
    QString getSaveFileName(QWidget*, const SaveRequest& r) override
    {
        saveRequests.append(r);
        return nextSave.isEmpty() ? QString() : nextSave.takeFirst();
    }
    QString browseFolder(QWidget*, const QString& title, const QString& startDir) override
    {
        browseRequests.append({title, startDir});
        return nextFolder.isEmpty() ? QString() : nextFolder.takeFirst();
    }
    QList<QStringList> nextOpen;
    QStringList nextSave, nextFolder;
    QList<OpenRequest> openRequests;
    QList<SaveRequest> saveRequests;
    QList<QPair<QString, QString>> browseRequests;

private:
    ScopedSeam<FileDialogs> m_seam{this};
};

// Records what the program asked the shell to open, and opens nothing.
class FakeShell final : public Shell
{
public:
    bool open(const QString& target) override
    {
        opened.append(target);
        return true;
    }
    QStringList opened;

private:
    ScopedSeam<Shell> m_seam{this};
};
