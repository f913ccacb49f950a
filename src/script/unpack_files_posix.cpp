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

zip_source_t* OpenArchiveSource(const fs::path& file, zip_error_t* error) {
  return zip_source_file_create(file.c_str(), 0, -1, error);
}

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
