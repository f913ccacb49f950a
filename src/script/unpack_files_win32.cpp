#include <algorithm>
#include <limits>

#include "os/text.h"
#include "os/windows_api.h"
#include "script/unpack_files.h"

namespace ovix {
namespace fs = std::filesystem;

// Windows matches names regardless of case itself: nothing to remember.
struct TMemberPaths::TListings {};

zip_source_t* OpenArchiveSource(const fs::path& file, std::uint64_t start, zip_error_t* error) {
  return zip_source_win32w_create(file.c_str(), start, -1, error);
}

std::unique_ptr<TArchiveFile> TArchiveFile::Open(const fs::path& file) {
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<TArchiveFile>(new TArchiveFile(reinterpret_cast<std::intptr_t>(handle)));
}

TArchiveFile::~TArchiveFile() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

// Each read names its offset, so that threads sharing the handle never race for its position.
bool TArchiveFile::ReadAt(std::uint64_t offset, std::span<unsigned char> into) const {
  for (std::size_t done = 0; done < into.size();) {
    const std::uint64_t at = offset + done;
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(at);
    place.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD want = static_cast<DWORD>(
        std::min<std::size_t>(into.size() - done, std::numeric_limits<DWORD>::max() / 2));
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), into.data() + done, want, &got, &place) ||
        got == 0) {
      return false;
    }
    done += got;
  }
  return true;
}

// Windows folds case in names itself, beyond ASCII, as its upper-case mapping does.
fs::path::string_type SameFileKey(const fs::path& path) {
  std::wstring key = path.native();
  if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

std::FILE* CreateOutputFile(const fs::path& file) { return _wfopen(file.c_str(), L"wb"); }

TMemberPaths::TMemberPaths() = default;
TMemberPaths::~TMemberPaths() = default;

fs::path TMemberPaths::Child(const fs::path& parent, std::string_view name) {
  return parent / fs::path(Widen(name));
}

void TMemberPaths::Added(const fs::path&) {}

}  // namespace ovix
