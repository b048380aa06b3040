// The load glue on Windows: a plain DllMain. It runs under the loader lock, so
// it must not wait for any other thread -- a recording's capture thread
// included -- and it does nothing of the library's own.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  // No per-thread state: spare every thread's start and exit the call.
  if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(module);
  return TRUE;
}
