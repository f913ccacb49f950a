#pragma once
// DLLs loaded at run time from the system directory, and their functions (Windows only).
// A static import is resolved before main and looked for beside the program first; these
// are looked for nowhere else than the system directory.

#include "os/windows_api.h"

namespace ovix {

// The named function of a loaded module as the given function type, or nullptr.
template <typename Function>
Function* FindFunction(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// One DLL from the system directory, freed with its owner. Empty when it cannot be loaded.
class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* fileName);
  ~SystemLibrary();
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  // Stores the named function in `function`; false, and nullptr stored, when it is missing.
  template <typename Function>
  bool Find(const char* name, Function*& function) const {
    function = FindFunction<Function>(module_, name);
    return function != nullptr;
  }

  // Keeps the DLL mapped until the process ends, whatever frees it: for DLLs that threads
  // may still be inside while statics are destroyed at exit.
  void Pin() const;

 private:
  HMODULE module_;
};

}  // namespace ovix
