#pragma once
// An archive opened for unpacking: libzip's view of its members, checked for members that
// share bytes, and where each member's data lie, to be read directly.

#include <zip.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "script/unpack_files.h"
#include "script/zip_layout.h"

namespace ovix {

struct TZipDiscard {
  void operator()(zip_t* zip) const { zip_discard(zip); }  // read only: nothing to write back
};
struct TZipFileClose {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
struct TZipSourceFree {
  void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using TZip = std::unique_ptr<zip_t, TZipDiscard>;
using TZipFile = std::unique_ptr<zip_file_t, TZipFileClose>;
using TZipSource = std::unique_ptr<zip_source_t, TZipSourceFree>;

class TZipError {
 public:
  TZipError() { zip_error_init(&error_); }
  ~TZipError() { zip_error_fini(&error_); }
  TZipError(const TZipError&) = delete;
  TZipError& operator=(const TZipError&) = delete;

  zip_error_t* Get() { return &error_; }
  int Code() { return zip_error_code_zip(&error_); }
  std::string Text() { return zip_error_strerror(&error_); }

 private:
  zip_error_t error_;
};

// Makes a fresh libzip source over the archive's bytes; nullptr with the error set on failure.
using TSourceMaker = std::function<zip_source_t*(zip_error_t*)>;

// An archive opened for extraction: libzip's view of it, and where its members' data lie.
struct TOpenArchive {
  TZip zip;
  TSourceMaker makeSource;
  // Safe from several threads at once.
  TArchiveReader read;
  std::uint64_t size = 0;
  // Empty where the members are read through libzip only.
  std::vector<TMemberPlace> places;
  std::unique_ptr<TArchiveFile> file;  // what `read` reads, for an archive file
};

// Opens an archive file, or one whose bytes are in memory, for unpacking. Throws TUnpackError
// when it is missing, empty, not a ZIP archive, or has an unreadable or self-overlapping
// table of contents.
TOpenArchive OpenArchiveFile(std::string_view archive);
TOpenArchive OpenArchiveData(std::span<const unsigned char> archive, std::string_view name);

// A libzip handle of its own on the same archive, for another thread; nullptr when it cannot
// be opened.
TZip OpenAnotherHandle(const TOpenArchive& archive);

}  // namespace ovix
