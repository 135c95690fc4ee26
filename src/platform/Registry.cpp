#include "Registry.h"

#include "Registry_p.h"

namespace {

PlatformRegistry g_platform;
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
