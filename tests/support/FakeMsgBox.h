#pragma once

#include "platform/MsgBox.h"

#include <QList>
#include <QString>

// Answers message boxes from a queue and remembers what was asked.
// Installed for its lifetime; an unexpected box is answered OK / No.
class FakeMsgBox final : public MsgBox
{
public:
    struct Shown
    {
        QString prompt;
        int style;
        QString title;
    };

    FakeMsgBox() { MsgBox::install(this); }
    ~FakeMsgBox() override { MsgBox::install(nullptr); }
    FakeMsgBox(const FakeMsgBox&) = delete;
    FakeMsgBox& operator=(const FakeMsgBox&) = delete;

    void setNextAnswer(int answer) { m_answers.append(answer); }

    int show(QWidget*, const QString& prompt, int style, const QString& title) override
    {
        shown.append({prompt, style, title});
        if (!m_answers.isEmpty())
            return m_answers.takeFirst();
        return (style & 7) == YesNo ? No : OK;
    }

    QString lastPrompt() const { return shown.isEmpty() ? QString() : shown.constLast().prompt; }

    QList<Shown> shown;

private:
    QList<int> m_answers;
};
