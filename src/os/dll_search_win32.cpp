#include "os/dll_search.h"
#include "os/system_library_win32.h"

namespace ovix {

void RestrictDllSearchToSystem() {
  // Looked up: Vista and 7 without KB2533623 lack it, and a static import would keep the
  // program from starting there.
  const auto setDefault = FindFunction<decltype(::SetDefaultDllDirectories)>(
      GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  SetDllDirectoryW(L"");
}

}  // namespace ovix
