// A shared library holding the card layer, to see what its entry point records at load.
#include "skf/card/binding.h"

#if defined(_WIN32)
#define PROBE_EXPORT extern "C" __declspec(dllexport)
#else
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PROBE_EXPORT const char *CardProbe_ReaderLibPath() { return ReaderLibPath; }
PROBE_EXPORT void *CardProbe_ModuleHandle() { return ModuleHandle; }
