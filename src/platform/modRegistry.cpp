#include "modRegistry.h"

#include "platform/Registry.h"

namespace {

// Values have always been read through a 2048-character buffer, terminator
// included; a longer one never fitted and still counts as missing.
constexpr qsizetype kMaxValueLength = 2047;

} // namespace

QString GetRegString(quint32 hKey, const QString& subKey, const QString& valueName)
{
    // A failing store is a missing value here: the caller only falls back to a default.
    try {
        const std::optional<QString> value = RegistryReader::current().readString(hKey, subKey, valueName);
        if (value && value->size() <= kMaxValueLength)
            return *value;
    } catch (...) {
    }
    return RegNotFound;
}

QString ScriptsFolderFromRegistry()
{
    const QString value = GetRegString(RegistryReader::HKEY_LOCAL_MACHINE_, HostRegistryKey, ScriptsDirValue);
    if (value == RegNotFound || value.isEmpty())
        return {};
    return value;
}
