#include "os/text.h"
#include "script/unpack_files.h"

namespace ovix {
namespace fs = std::filesystem;

// Windows matches names regardless of case itself: nothing to remember.
struct TMemberPaths::TListings {};

zip_source_t* OpenArchiveSource(const fs::path& file, zip_error_t* error) {
  return zip_source_win32w_create(file.c_str(), 0, -1, error);
}

std::FILE* CreateOutputFile(const fs::path& file) { return _wfopen(file.c_str(), L"wb"); }

TMemberPaths::TMemberPaths() = default;
TMemberPaths::~TMemberPaths() = default;

fs::path TMemberPaths::Child(const fs::path& parent, std::string_view name) {
  return parent / fs::path(Widen(name));
}

void TMemberPaths::Added(const fs::path&) {}

}  // namespace ovix
