#include "FileDialogs.h"

#include <QFileDialog>

namespace {

class QtFileDialogs final : public FileDialogs
{
public:
    QStringList getOpenFileNames(QWidget* owner, const OpenRequest& r) override
    {
        QFileDialog dlg(owner, r.title, r.initDir, r.filter);
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(r.multiSelect ? QFileDialog::ExistingFiles
                                      : (r.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
        if (dlg.exec() != QDialog::Accepted)
            return {};
        return dlg.selectedFiles();
    }

    QString getSaveFileName(QWidget* owner, const SaveRequest& r) override
    {
        QFileDialog dlg(owner, r.title, r.initDir, r.filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        dlg.setDefaultSuffix(r.defaultSuffix);
        if (!r.overwritePrompt)
            dlg.setOption(QFileDialog::DontConfirmOverwrite);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return {};
        return dlg.selectedFiles().constFirst();
    }

    QString browseFolder(QWidget* owner, const QString& title, const QString& startDir) override
    {
        QFileDialog dlg(owner, title, startDir);
        dlg.setFileMode(QFileDialog::Directory);
        dlg.setOption(QFileDialog::ShowDirsOnly);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return {};
        return dlg.selectedFiles().constFirst();
    }
};

} // namespace

template <> FileDialogs& Seam<FileDialogs>::platform()
{
    static QtFileDialogs dialogs;
    return dialogs;
}
