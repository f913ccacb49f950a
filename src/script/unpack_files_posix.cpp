#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "os/text.h"
#include "script/unpack_files.h"

namespace ovix {
namespace fs = std::filesystem;

namespace {

// The names in one directory, and for each case-folded name the bytewise-first entry.
struct TListing {
  void Add(std::string name) {
    auto [it, inserted] = byFoldedName.try_emplace(AsciiLowerCase(name), name);
    if (!inserted && name < it->second) it->second = name;
    names.insert(std::move(name));
  }
  std::unordered_set<std::string> names;
  std::unordered_map<std::string, std::string> byFoldedName;
};

}  // namespace

struct TMemberPaths::TListings {
  TListing& Of(const fs::path& directory) {
    auto [it, inserted] = byDirectory.try_emplace(directory.native());
    if (inserted) {
      std::error_code error;
      for (fs::directory_iterator entry(directory, error), end; !error && entry != end;
           entry.increment(error)) {
        it->second.Add(entry->path().filename().native());
      }
    }
    return it->second;
  }
  std::unordered_map<std::string, TListing> byDirectory;
};

zip_source_t* OpenArchiveSource(const fs::path& file, std::uint64_t start, zip_error_t* error) {
  return zip_source_file_create(file.c_str(), start, -1, error);
}

std::unique_ptr<TArchiveFile> TArchiveFile::Open(const fs::path& file) {
  const int handle = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (handle == -1) return nullptr;
  return std::unique_ptr<TArchiveFile>(new TArchiveFile(handle));
}

TArchiveFile::~TArchiveFile() { close(static_cast<int>(handle_)); }

bool TArchiveFile::ReadAt(std::uint64_t offset, std::span<unsigned char> into) const {
  for (std::size_t done = 0; done < into.size();) {
    const ssize_t got = pread(static_cast<int>(handle_), into.data() + done, into.size() - done,
                              static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// Names that differ in case were matched to one entry already, by TMemberPaths.
fs::path::string_type SameFileKey(const fs::path& path) { return path.native(); }

std::FILE* CreateOutputFile(const fs::path& file) { return std::fopen(file.c_str(), "wbe"); }

TMemberPaths::TMemberPaths() : listings_(std::make_unique<TListings>()) {}
TMemberPaths::~TMemberPaths() = default;

fs::path TMemberPaths::Child(const fs::path& parent, std::string_view name) {
  const TListing& listing = listings_->Of(parent);
  std::string written(name);
  if (listing.names.contains(written)) return parent / written;
  const auto match = listing.byFoldedName.find(AsciiLowerCase(written));
  return parent / (match != listing.byFoldedName.end() ? match->second : written);
}

void TMemberPaths::Added(const fs::path& path) {
  const auto listing = listings_->byDirectory.find(path.parent_path().native());
  if (listing != listings_->byDirectory.end()) listing->second.Add(path.filename().native());
}

}  // namespace ovix
