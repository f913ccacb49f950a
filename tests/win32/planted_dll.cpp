// Stands in for a system DLL dropped beside a program, as a download folder would hold it.
// Being loaded leaves a file "<its own file name>.loaded" beside it. Its exports carry the
// names programs take from the network DLL (see planted_dll.def), so that a static import
// resolves and this DllMain runs instead of the program failing to start.

#include <cwchar>
#include <memory>
#include <type_traits>

#include "os/windows_api.h"

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};

void LeaveMarker(HINSTANCE module) {
  wchar_t path[MAX_PATH + 16] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::wcscat(path, L".loaded");
  const std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser> marker(
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) LeaveMarker(module);
  return TRUE;
}

// Every export fails the way the real function reports failure (zero), taking as many
// arguments as the real one so the caller's stack stays balanced.
extern "C" {
DWORD WINAPI PlantedFail1(void*) { return 0; }
DWORD WINAPI PlantedFail4(void*, void*, void*, void*) { return 0; }
DWORD WINAPI PlantedFail5(void*, void*, void*, void*, void*) { return 0; }
DWORD WINAPI PlantedFail6(void*, void*, void*, void*, void*, void*) { return 0; }
}
