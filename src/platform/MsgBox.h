#pragma once

#include "platform/Seam.h"

#include <QString>

class QWidget;

// Every message box of the program goes through here, so that tests can answer
// them instead of a person (see tests/support/Fakes.h).
class MsgBox : public Seam<MsgBox>
{
public:
    // The button and icon bits the program uses, as the classic message box numbers them.
    enum Style : int
    {
        OKOnly = 0,
        YesNo = 4,
        Question = 32,
        Information = 64
    };
    enum Answer : int
    {
        OK = 1,
        Yes = 6,
        No = 7
    };

    virtual ~MsgBox() = default;
    virtual int show(QWidget* owner, const QString& prompt, int style, const QString& title) = 0;
};

template <> MsgBox& Seam<MsgBox>::platform();

// Shows a message box titled "Bundlesmith" and returns the answer (OK, Yes or No).
int ShowMessage(QWidget* owner, const QString& prompt, int style);
