#include <cwchar>
#include <memory>
#include <vector>

#include "game/probes.h"
#include "game/version_dll_win32.h"
#include "os/handle_win32.h"
#include "os/text.h"
#include "os/windows_api.h"

// Needs windows.h first.
#include <tlhelp32.h>

namespace ovix {
namespace {

constexpr DWORD kTempPathCapacity = 260;

// Keeps an unready drive from raising the system's "insert a disk" dialog while it lives.
class CriticalErrorsSilenced {
 public:
  CriticalErrorsSilenced() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~CriticalErrorsSilenced() { SetErrorMode(previous_); }
  CriticalErrorsSilenced(const CriticalErrorsSilenced&) = delete;
  CriticalErrorsSilenced& operator=(const CriticalErrorsSilenced&) = delete;

 private:
  UINT previous_;
};

}  // namespace

std::string GetLongPath(std::string_view path) {
  const std::wstring wide = Widen(path);
  const DWORD needed = GetLongPathNameW(wide.c_str(), nullptr, 0);
  if (needed == 0) return {};
  std::wstring buffer(needed, L'\0');
  const DWORD length = GetLongPathNameW(wide.c_str(), buffer.data(), needed);
  // A length that does not fit means the path changed between the calls.
  if (length == 0 || length >= needed) return {};
  buffer.resize(length);
  return Narrow(buffer);
}

std::string GetTempDirectory() {
  wchar_t buffer[kTempPathCapacity];
  const DWORD length = GetTempPathW(kTempPathCapacity, buffer);
  // A longer path is reported by its needed size and not written; it is not supported.
  if (length == 0 || length > kTempPathCapacity) return {};
  return GetLongPath(Narrow(std::wstring_view(buffer, length - 1)));
}

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

bool IsProcessRunning(std::string_view exeName) {
  static_assert(sizeof(void*) != 4 || sizeof(PROCESSENTRY32W) == 556);
  try {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
      const std::size_t length = wcsnlen(entry.szExeFile, std::size(entry.szExeFile));
      if (ExeNameMatches(Narrow(std::wstring_view(entry.szExeFile, length)), exeName)) {
        return true;
      }
    }
  } catch (const std::exception&) {
    // A walk that fails half-way says nothing runs.
  }
  return false;
}

bool IsDriveReady(std::string_view drive) {
  const CriticalErrorsSilenced silenced;
  if (drive.empty()) return false;
  std::string root(drive);
  if (root[0] >= 'a' && root[0] <= 'z') root[0] = static_cast<char>(root[0] - 'a' + 'A');
  if (root.size() == 1) root += ":\\";
  bool ready = GetVolumeInformationW(Widen(root).c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                                     nullptr, 0) != 0;
  // The size is asked of the drive by its letter alone, whatever followed it.
  const std::wstring letterRoot = Widen(std::string{root[0], ':', '\\'});
  ULARGE_INTEGER total{};
  if (!GetDiskFreeSpaceExW(letterRoot.c_str(), nullptr, &total, nullptr)) ready = false;
  return ready;
}

std::string GetCurrentDirectoryPath() {
  const DWORD length = GetCurrentDirectoryW(0, nullptr);
  if (length == 0) return {};
  std::wstring buffer(length, L'\0');
  const DWORD written = GetCurrentDirectoryW(length, buffer.data());
  if (written == 0 || written >= length) return {};
  buffer.resize(written);
  return Narrow(buffer);
}

std::vector<std::string> LogicalDriveRoots() {
  // Room for all 26 roots and the closing empty entry.
  wchar_t buffer[129] = {};
  const DWORD length = GetLogicalDriveStringsW(128, buffer);
  std::vector<std::string> roots;
  if (length == 0 || length > 128) return roots;
  for (const wchar_t* root = buffer; *root; root += std::wcslen(root) + 1)
    roots.push_back(Narrow(root));
  return roots;
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
