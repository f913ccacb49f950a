#include "game/version_dll_win32.h"

#include <optional>

#include "os/system_library_win32.h"

namespace ovix {

const VersionApi* VersionDll() {
  static const SystemLibrary library(L"version.dll");
  static const std::optional<VersionApi> api = []() -> std::optional<VersionApi> {
    VersionApi calls{};
    if (!library.Find("GetFileVersionInfoSizeW", calls.GetFileVersionInfoSizeW) ||
        !library.Find("GetFileVersionInfoW", calls.GetFileVersionInfoW) ||
        !library.Find("VerQueryValueW", calls.VerQueryValueW)) {
      return std::nullopt;
    }
    return calls;
  }();
  return api ? &*api : nullptr;
}

}  // namespace ovix
