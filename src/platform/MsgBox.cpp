#include "MsgBox.h"

#include <QMessageBox>

namespace {

class QtMsgBox final : public MsgBox
{
public:
    int show(QWidget* owner, const QString& prompt, int style, const QString& title) override
    {
        QMessageBox box(owner);
        box.setWindowTitle(title);
        box.setText(prompt);
        if (style & Question)
            box.setIcon(QMessageBox::Question);
        else if (style & Information)
            box.setIcon(QMessageBox::Information);
        if ((style & 7) == YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            return box.exec() == QMessageBox::Yes ? Yes : No;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return OK;
    }
};

} // namespace

template <> MsgBox& Seam<MsgBox>::platform()
{
    static QtMsgBox box;
    return box;
}

int ShowMessage(QWidget* owner, const QString& prompt, int style)
{
    return MsgBox::current().show(owner, prompt, style, QStringLiteral("Bundlesmith"));
}
