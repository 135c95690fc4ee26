#pragma once

#include <QObject>
#include <QString>

class frmPackage;
class QPushButton;
class RegistrationMemory;

// Starting a new release from the pack of the last one: a pack named on the
// command line, dropped on the window or chosen on the welcome page fills the
// script information and remembers its registrations for the files the user
// adds. Nothing else of the window changes, and the old pack is only read.
class PackReopen : public QObject
{
    Q_OBJECT

public:
    explicit PackReopen(frmPackage& form);

    // Reads the pack and fills the window from it; an unreadable file is
    // refused with a message and changes nothing. False when nothing was taken.
    bool OpenPack(const QString& path);
    // The welcome page's button: choose a pack, then open it.
    void cmdOpenPack_Click();

    QPushButton* cmdOpenPack = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool CanOpen() const;

    frmPackage& m_form;
    RegistrationMemory* m_memory = nullptr;
};
