#include <fcntl.h>
#include <io.h>

#include <cstdint>

#include "os/text.h"
#include "os/windows_api.h"
#include "script/unpack_files.h"

namespace ovix {
namespace fs = std::filesystem;

// Windows matches names regardless of case itself: nothing to remember.
struct TMemberPaths::TListings {};

zip_source_t* OpenArchiveSource(const fs::path& file, zip_error_t* error) {
  return zip_source_win32w_create(file.c_str(), 0, -1, error);
}

std::FILE* CreateOutputFile(const fs::path& file) { return _wfopen(file.c_str(), L"wb"); }

std::FILE* CreateNewOutputFile(const fs::path& file) {
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int descriptor =
      _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* stream = _fdopen(descriptor, "wb");
  if (stream == nullptr) _close(descriptor);
  return stream;
}

TMemberPaths::TMemberPaths() = default;
TMemberPaths::~TMemberPaths() = default;

fs::path TMemberPaths::Child(const fs::path& parent, std::string_view name) {
  return parent / fs::path(Widen(name));
}

void TMemberPaths::Added(const fs::path&) {}

}  // namespace ovix
