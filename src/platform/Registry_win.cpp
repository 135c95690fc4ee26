// The Windows side of RegistryReader: the host's key read from the registry.
#include "Registry_p.h"

#include <vector>
#include <windows.h>

namespace {

// The host is a 32-bit program, so its key normally sits in the 32-bit view;
// a 64-bit installer may have written it to the native view instead.
std::optional<QString> readView(HKEY hive, const QString& subKey, const QString& valueName, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, reinterpret_cast<LPCWSTR>(subKey.utf16()), 0, KEY_QUERY_VALUE | view, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;

    const auto name = reinterpret_cast<LPCWSTR>(valueName.utf16());
    std::optional<QString> result;
    DWORD size = 0;
    DWORD type = REG_NONE;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    // Numbers and binary data hold no text (the same rule as the Wine reader's).
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)
        status = ERROR_UNSUPPORTED_TYPE;
    // The value may grow between the two calls; a few attempts cover that.
    for (int attempt = 0; attempt < 4 && status == ERROR_SUCCESS; ++attempt) {
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer.data()), &got);
        if (status == ERROR_MORE_DATA) {
            size = got;
            status = ERROR_SUCCESS;
            continue;
        }
        if (status == ERROR_SUCCESS) {
            // Stored text need not carry its terminator; the read ends at the first NUL either way.
            const QString text = QString::fromWCharArray(buffer.data(), got / sizeof(wchar_t));
            const qsizetype nul = text.indexOf(QChar(u'\0'));
            result = nul < 0 ? text : text.left(nul);
        }
        break;
    }
    RegCloseKey(key);
    return result;
}

} // namespace

std::optional<QString> PlatformRegistry::readString(quint32 hive, const QString& subKey,
                                                    const QString& valueName)
{
    const auto root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(hive)));
    if (auto value = readView(root, subKey, valueName, KEY_WOW64_32KEY))
        return value;
    return readView(root, subKey, valueName, KEY_WOW64_64KEY);
}
