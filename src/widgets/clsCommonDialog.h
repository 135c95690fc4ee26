#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

// The standard dialogs behind plain calls whose arguments are filled in on the
// way back, over the FileDialogs seam. Results come from the dialog as lists,
// so no selection is ever cut short by a fixed buffer.
class clsCommonDialog : public QObject
{
    Q_OBJECT

public:
    explicit clsCommonDialog(QObject* parent = nullptr);

    long APIReturn() const { return m_apiReturn; }
    long ExtendedError() const { return m_extendedError; }
    // Every path chosen in the last open dialog, in the dialog's order.
    QStringList FileNames() const { return m_fileNames; }

    // Filename: one file chosen, its full path; several, the folder, NUL and
    // the names separated by NUL (a name outside that folder keeps its full
    // path). Owner nullptr: no owner window.
    bool VBGetOpenFileName(QString& Filename, QString& FileTitle, bool FileMustExist, bool MultiSelect,
                           bool& ReadOnly, bool HideReadOnly, QString& Filter, long& FilterIndex,
                           const QString& InitDir, const QString& DlgTitle, const QString& DefaultExt,
                           QWidget* Owner, long& Flags);
    bool VBGetSaveFileName(QString& Filename, QString& FileTitle, bool OverWritePrompt, QString& Filter,
                           long& FilterIndex, const QString& InitDir, const QString& DlgTitle,
                           const QString& DefaultExt, QWidget* Owner, long& Flags);
    // The chosen folder, or "" when cancelled. Opens on startFolder.
    QString BrowseFolder(QWidget* frm, const QString& startFolder);

    // "Desc (*.*)|*.*|..." in the form Qt's dialogs read ("Desc (*);;...").
    static QString ToQtFilter(const QString& filter);
    // The index-th pair (1-based) of a "|"-separated filter: description, NUL, pattern.
    static QString GetFilterEntry(const QString& filter, long index);
    // The full paths an open dialog's Filename stands for.
    static QStringList SplitFileNames(const QString& filename);

private:
    long m_apiReturn = 0;
    long m_extendedError = 0;
    QStringList m_fileNames;
};
