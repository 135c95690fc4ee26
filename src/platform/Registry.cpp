#include "Registry.h"

#include "Registry_p.h"

template <> RegistryReader& Seam<RegistryReader>::platform()
{
    static PlatformRegistry registry;
    return registry;
}
