// tokenbase's start-up: readerio by its bare file name through the platform's search order, and
// the process-wide lock, which lives from process attach to detach. No export holds the lock.
#include "skf/card/binding.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

// The bare file name (kReaderLibName), found through the platform's search order.
char ReaderLibPath[kPathSize] =
#if defined(_WIN32)
    "readerio.dll";
#else
    "readerio.so";
#endif

#if defined(_WIN32)
namespace {
CRITICAL_SECTION ProcessLock;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&ProcessLock);
  if (reason == DLL_PROCESS_DETACH) DeleteCriticalSection(&ProcessLock);
  return TRUE;
}
#else
namespace {
// Constructed when the library is loaded, destroyed when it is unloaded.
std::mutex ProcessLock;
}  // namespace
#endif
