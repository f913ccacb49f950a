#pragma once
// The file-version calls, taken at run time from the system directory's version.dll
// (Windows only).

#include "os/windows_api.h"

namespace ovix {

struct VersionApi {
  decltype(&::GetFileVersionInfoSizeW) GetFileVersionInfoSizeW;
  decltype(&::GetFileVersionInfoW) GetFileVersionInfoW;
  decltype(&::VerQueryValueW) VerQueryValueW;
};

// Loaded on first use, once, from any thread; nullptr when the DLL or one of the calls is
// missing.
const VersionApi* VersionDll();

}  // namespace ovix
