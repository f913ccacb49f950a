#include <memory>
#include <vector>

#include "game/probes.h"
#include "game/version_dll_win32.h"
#include "os/text.h"
#include "os/windows_api.h"

namespace ovix {

std::string GetFileVersionString(std::string_view exePath) {
  const VersionApi* versionDll = VersionDll();
  if (versionDll == nullptr) return {};
  const std::wstring file = Widen(exePath);
  DWORD ignored = 0;
  const DWORD size = versionDll->GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> block(size);
  if (!versionDll->GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return {};
  void* value = nullptr;
  UINT valueSize = 0;
  if (!versionDll->VerQueryValueW(block.data(), L"\\", &value, &valueSize) || value == nullptr ||
      valueSize < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (info->dwSignature != 0xFEEF04BD) return {};
  return FormatFileVersion({HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                            HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)});
}

void ListVersionFolders(std::string_view directory, std::vector<std::string>& names) {
  std::string pattern(directory);
  while (!pattern.empty() && pattern.back() == '\\') pattern.pop_back();
  pattern += "\\*.*";
  WIN32_FIND_DATAW found;
  const HANDLE first = FindFirstFileW(Widen(pattern).c_str(), &found);
  if (first == INVALID_HANDLE_VALUE) return;
  const std::unique_ptr<void, decltype(&FindClose)> search(first, &FindClose);
  do {
    constexpr DWORD kLeftOut = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (found.dwFileAttributes & kLeftOut))
      continue;
    const std::string name = Narrow(found.cFileName);
    if (name != "." && name != ".." && MatchesMask(name, "*.*.*")) names.push_back(name);
  } while (FindNextFileW(search.get(), &found));
}

}  // namespace ovix
