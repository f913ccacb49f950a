#include "net/wininet_dll_win32.h"

#include <optional>

#include "os/system_library_win32.h"

namespace ovix {

const WinInetApi* WinInetDll() {
  static const SystemLibrary library(L"wininet.dll");
  static const std::optional<WinInetApi> api = []() -> std::optional<WinInetApi> {
    WinInetApi calls{};
    if (!library.Find("HttpQueryInfoW", calls.HttpQueryInfoW) ||
        !library.Find("InternetCloseHandle", calls.InternetCloseHandle) ||
        !library.Find("InternetCombineUrlW", calls.InternetCombineUrlW) ||
        !library.Find("InternetOpenUrlW", calls.InternetOpenUrlW) ||
        !library.Find("InternetOpenW", calls.InternetOpenW) ||
        !library.Find("InternetReadFile", calls.InternetReadFile) ||
        !library.Find("InternetSetOptionW", calls.InternetSetOptionW)) {
      return std::nullopt;
    }
    // Transfers run on detached threads, which may still be inside it while statics are
    // destroyed at exit.
    library.Pin();
    return calls;
  }();
  return api ? &*api : nullptr;
}

}  // namespace ovix
