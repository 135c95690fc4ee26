#include "Registry.h"

namespace {

class NoRegistry final : public RegistryReader
{
public:
    std::optional<QString> readString(quint32, const QString&, const QString&) override { return std::nullopt; }
};

NoRegistry g_platform;
RegistryReader* g_current = nullptr;

} // namespace

RegistryReader& RegistryReader::current()
{
    return g_current ? *g_current : static_cast<RegistryReader&>(g_platform);
}

void RegistryReader::install(RegistryReader* service)
{
    g_current = service;
}
