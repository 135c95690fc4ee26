#pragma once

#include "platform/Seam.h"

#include <QString>

// Getting a written file onto the disk before it takes the place of another,
// so a power cut or a crash of the system right after a build never leaves a
// truncated pack where the old one was. Tests install a stand-in that fails.
class Durability : public Seam<Durability>
{
public:
    virtual ~Durability() = default;
    // The file's data and size are on the disk.
    virtual bool syncFile(const QString& path) = 0;
    // The folder's entries (a rename into it) are on the disk.
    virtual bool syncFolder(const QString& path) = 0;
};

template <> Durability& Seam<Durability>::platform();
