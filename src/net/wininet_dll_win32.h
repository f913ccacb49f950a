#pragma once
// The WinINet calls of the transport, taken at run time from the system directory's
// wininet.dll (Windows only).

// clang-format off
#include "os/windows_api.h"
#include <wininet.h>  // needs windows.h first
// clang-format on

namespace ovix {

struct WinInetApi {
  decltype(&::HttpQueryInfoW) HttpQueryInfoW;
  decltype(&::InternetCloseHandle) InternetCloseHandle;
  decltype(&::InternetCombineUrlW) InternetCombineUrlW;
  decltype(&::InternetOpenUrlW) InternetOpenUrlW;
  decltype(&::InternetOpenW) InternetOpenW;
  decltype(&::InternetReadFile) InternetReadFile;
  decltype(&::InternetSetOptionW) InternetSetOptionW;
};

// Loaded on first use, once, from any thread; nullptr when the DLL or one of the calls is
// missing.
const WinInetApi* WinInetDll();

}  // namespace ovix
