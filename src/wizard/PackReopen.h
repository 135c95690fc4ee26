#pragma once

#include <QObject>
#include <QString>

class frmPackage;
class QPushButton;
class RegistrationMemory;
struct ScriptPackInfo;

// Starting from what the author already has: the pack of the last release,
// or a script folder with its own ScriptInfo.xml. Named on the command line,
// dropped on the window or chosen on the welcome page, it fills the script
// information, keeps what the author's manifest holds beyond it, and
// remembers its registrations for the files the user adds; a script folder
// also adds its contents. The old pack and the folder are only read.
class PackReopen : public QObject
{
    Q_OBJECT

public:
    explicit PackReopen(frmPackage& form);

    // Reads a pack, a ScriptInfo.xml or a script folder and fills the window
    // from it; one that cannot be read is refused with a message and changes
    // nothing. False when nothing was taken.
    bool StartFrom(const QString& path);
    // A ScriptInfo.xml added on the files page, or a folder holding one:
    // when the manifest is readable, asks whether to use it as the pack's
    // (for a folder: with the folder's files at the root) and does on Yes,
    // filling taken. False when it was not taken: the file is then refused
    // as any file of that name, the folder added under its own name.
    bool OfferManifest(const QString& path, ScriptPackInfo& taken);
    // The welcome page's button: choose a pack or a manifest, then start from it.
    void cmdOpenPack_Click();

    QPushButton* cmdOpenPack = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool CanOpen() const;
    void Fill(const ScriptPackInfo& info);

    frmPackage& m_form;
    RegistrationMemory* m_memory = nullptr;
};
