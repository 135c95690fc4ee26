#pragma once

#include "platform/FileDialogs.h"

#include <QList>

// Answers file dialogs with prepared results and records every request.
class FakeFileDialogs final : public FileDialogs
{
public:
    FakeFileDialogs() { FileDialogs::install(this); }
    ~FakeFileDialogs() override { FileDialogs::install(nullptr); }
    FakeFileDialogs(const FakeFileDialogs&) = delete;
    FakeFileDialogs& operator=(const FakeFileDialogs&) = delete;

    void setNextFileNames(const QStringList& names) { m_open.append(names); }
    void setNextSaveName(const QString& name) { m_save.append(name); }
    void setNextFolder(const QString& folder) { m_folders.append(folder); }

    QStringList getOpenFileNames(QWidget*, const OpenRequest& r) override
    {
        openRequests.append(r);
        return m_open.isEmpty() ? QStringList() : m_open.takeFirst();
    }
    QString getSaveFileName(QWidget*, const SaveRequest& r) override
    {
        saveRequests.append(r);
        return m_save.isEmpty() ? QString() : m_save.takeFirst();
    }
    QString browseFolder(QWidget*, const QString& title, const QString& startDir) override
    {
        browseRequests.append({title, startDir});
        return m_folders.isEmpty() ? QString() : m_folders.takeFirst();
    }

    QList<OpenRequest> openRequests;
    QList<SaveRequest> saveRequests;
    QList<QPair<QString, QString>> browseRequests;

private:
    QList<QStringList> m_open;
    QList<QString> m_save;
    QList<QString> m_folders;
};
