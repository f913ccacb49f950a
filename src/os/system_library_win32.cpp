#include "os/system_library_win32.h"

#include <string>

namespace ovix {
namespace {

HMODULE LoadFromSystemDirectory(const wchar_t* fileName) {
  if (HMODULE module = LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return module;
  }
  // Systems before Windows 8 without KB2533623 reject the flag: name the file by its full
  // path, and have its own dependencies looked for beside it rather than beside the program.
  wchar_t directory[MAX_PATH];
  const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(directory, length) + L"\\" + fileName;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

SystemLibrary::SystemLibrary(const wchar_t* fileName)
    : module_(LoadFromSystemDirectory(fileName)) {}

SystemLibrary::~SystemLibrary() {
  if (module_ != nullptr) FreeLibrary(module_);
}

void SystemLibrary::Pin() const {
  if (module_ == nullptr) return;
  HMODULE pinned = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(module_), &pinned);
}

}  // namespace ovix
