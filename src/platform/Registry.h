#pragma once

#include "platform/Seam.h"

#include <QString>
#include <optional>

// Read access to the machine-wide settings store where the host keeps its
// scripts folder: the registry on Windows, the Wine prefix's system.reg elsewhere.
class RegistryReader : public Seam<RegistryReader>
{
public:
    static constexpr quint32 HKEY_LOCAL_MACHINE_ = 0x80000002u;

    virtual ~RegistryReader() = default;
    // The string stored in valueName under subKey of the hive, or nothing when it cannot be read.
    virtual std::optional<QString> readString(quint32 hive, const QString& subKey,
                                              const QString& valueName) = 0;
};

template <> RegistryReader& Seam<RegistryReader>::platform();
