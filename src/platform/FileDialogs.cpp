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

QtFileDialogs g_qtDialogs;
FileDialogs* g_current = nullptr;

} // namespace

FileDialogs& FileDialogs::current()
{
    return g_current ? *g_current : static_cast<FileDialogs&>(g_qtDialogs);
}

void FileDialogs::install(FileDialogs* service)
{
    g_current = service;
}
