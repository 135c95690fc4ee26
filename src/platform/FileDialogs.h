#pragma once

#include "platform/Seam.h"

#include <QString>
#include <QStringList>

class QWidget;

// The platform's file dialogs. Tests install their own answers
// (tests/support/Fakes.h); production uses QFileDialog.
class FileDialogs : public Seam<FileDialogs>
{
public:
    struct OpenRequest
    {
        QString title;
        QString filter;  // Qt form: "All Files (*)"
        QString initDir; // empty: the dialog's own default
        bool multiSelect = false;
        bool fileMustExist = true;
    };
    struct SaveRequest
    {
        QString title;
        QString filter;
        QString initDir;
        QString defaultSuffix;
        bool overwritePrompt = true;
    };

    virtual ~FileDialogs() = default;
    // The chosen files in the dialog's order; empty when cancelled.
    virtual QStringList getOpenFileNames(QWidget* owner, const OpenRequest& request) = 0;
    // The chosen path (with the default suffix added when none was typed); empty when cancelled.
    virtual QString getSaveFileName(QWidget* owner, const SaveRequest& request) = 0;
    // The chosen folder; empty when cancelled.
    virtual QString browseFolder(QWidget* owner, const QString& title, const QString& startDir) = 0;
};

template <> FileDialogs& Seam<FileDialogs>::platform();
