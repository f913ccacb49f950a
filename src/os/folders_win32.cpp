#include <cwchar>

#include "os/folders.h"
#include "os/text.h"
#include "os/windows_api.h"

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

std::filesystem::path LocalTemporaryFolder() {
  const std::string folder = GetTempDirectory();
  return folder.empty() ? std::filesystem::path() : std::filesystem::path(Widen(folder));
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

}  // namespace ovix
