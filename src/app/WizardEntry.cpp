#include "wizard/Module1.h"

// The one symbol the executable looks up in this module; everything else stays
// inside it, so the module runs on its own copy of the core.
extern "C" __attribute__((visibility("default"))) int bundlesmith_wizard_main(int argc, char** argv)
{
    return Main(argc, argv);
}
