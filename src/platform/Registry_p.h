#pragma once

#include "platform/Registry.h"

// The reader the program uses unless a test installs another. CMake builds
// one definition: Registry_win.cpp on Windows, Registry_wine.cpp elsewhere.
class PlatformRegistry final : public RegistryReader
{
public:
    std::optional<QString> readString(quint32 hive, const QString& subKey, const QString& valueName) override;
};
