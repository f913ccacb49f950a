#include "script/zip_archive.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "os/files.h"
#include "script/unpack.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(std::string_view archive, const std::string& reason) {
  throw TUnpackError("Cannot unpack \"" + std::string(archive) + "\": " + reason + ".");
}

std::string DescribeOpenError(TZipError& error) {
  switch (error.Code()) {
    case ZIP_ER_NOZIP:
      return "the file is not a ZIP archive";
    case ZIP_ER_OPEN:
    case ZIP_ER_NOENT:
      return "the file cannot be opened (" + error.Text() + ")";
    default:
      return "its table of contents cannot be read (" + error.Text() + ")";
  }
}

// The archive's bytes for the layout check. Local headers come in file order, often a few
// KB apart, so one read of a window of the file serves many of them.
class TArchiveBytes {
 public:
  explicit TArchiveBytes(zip_source_t* source) : source_(source), window_(kWindowSize) {}

  bool Read(std::uint64_t offset, std::span<unsigned char> into) {
    if (into.size() > window_.size()) return ReadUpTo(offset, into) == into.size();
    if (offset < start_ || offset - start_ + into.size() > filled_) {
      start_ = offset;
      filled_ = ReadUpTo(offset, window_).value_or(0);
      if (into.size() > filled_) return false;
    }
    std::copy_n(window_.begin() + static_cast<std::ptrdiff_t>(offset - start_), into.size(),
                into.begin());
    return true;
  }

 private:
  static constexpr std::size_t kWindowSize = 64 * 1024;

  // How many bytes from `offset` on fit into `into`: fewer only at the end of the file.
  std::optional<std::size_t> ReadUpTo(std::uint64_t offset, std::span<unsigned char> into) {
    if (zip_source_seek(source_, static_cast<zip_int64_t>(offset), SEEK_SET) != 0) {
      return std::nullopt;
    }
    std::size_t done = 0;
    while (done < into.size()) {
      const zip_int64_t got = zip_source_read(source_, into.data() + done, into.size() - done);
      if (got < 0) return std::nullopt;
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    return done;
  }

  zip_source_t* source_;
  std::vector<unsigned char> window_;
  std::uint64_t start_ = 0;
  std::size_t filled_ = 0;
};

// Rejects archives whose members share bytes, which libzip would extract regardless, and
// finds where the members' data lie.
void CheckLayout(std::string_view archive, TOpenArchive& open) {
  TZipError error;
  const TZipSource source(open.makeSource(error.Get()));
  if (!source || zip_source_open(source.get()) != 0) Fail(archive, "the file cannot be read");
  TArchiveBytes bytes(source.get());
  const auto read = [&bytes](std::uint64_t offset, std::span<unsigned char> into) {
    return bytes.Read(offset, into);
  };
  const auto entries = static_cast<std::uint64_t>(zip_get_num_entries(open.zip.get(), 0));
  switch (CheckMemberLayout(open.size, entries, read, &open.places)) {
    case TMemberLayout::kSeparate:
      return;
    case TMemberLayout::kOverlapping:
      Fail(archive, "its members overlap each other or the table of contents");
    case TMemberLayout::kUnreadable:
      Fail(archive, "its table of contents cannot be read");
  }
}

TZip OpenZip(std::string_view archive, const TSourceMaker& makeSource) {
  TZipError zipError;
  TZipSource source(makeSource(zipError.Get()));
  if (!source) Fail(archive, DescribeOpenError(zipError));
  TZip zip(zip_open_from_source(source.get(), ZIP_RDONLY, zipError.Get()));
  if (!zip) Fail(archive, DescribeOpenError(zipError));
  source.release();  // the archive owns it now
  return zip;
}

void OpenChecked(std::string_view archive, TOpenArchive& open) {
  if (open.size == 0) Fail(archive, "the file is empty");
  open.zip = OpenZip(archive, open.makeSource);
  CheckLayout(archive, open);
}

}  // namespace

TOpenArchive OpenArchiveFile(std::string_view archive) {
  const std::optional<fs::path> file = LocalPath(archive);
  if (!file) Fail(archive, "this is not a usable file path");
  std::error_code error;
  const fs::file_status status = fs::status(*file, error);
  if (!fs::exists(status)) Fail(archive, "the file does not exist");
  if (fs::is_directory(status)) Fail(archive, "this is a directory, not an archive");
  TOpenArchive open;
  open.size = fs::file_size(*file, error);
  if (error) Fail(archive, "the file cannot be read");
  open.makeSource = [file = *file](zip_error_t* zipError) {
    return OpenArchiveSource(file, zipError);
  };
  OpenChecked(archive, open);
  open.file = TArchiveFile::Open(*file);
  if (!open.file) Fail(archive, "the file cannot be read");
  open.read = [reader = open.file.get()](std::uint64_t offset, std::span<unsigned char> into) {
    return reader->ReadAt(offset, into);
  };
  return open;
}

TOpenArchive OpenArchiveData(std::span<const unsigned char> archive, std::string_view name) {
  TOpenArchive open;
  open.size = archive.size();
  open.makeSource = [archive](zip_error_t* error) {
    return zip_source_buffer_create(archive.data(), archive.size(), 0, error);
  };
  OpenChecked(name, open);
  open.read = [archive](std::uint64_t offset, std::span<unsigned char> into) {
    if (offset > archive.size() || into.size() > archive.size() - offset) return false;
    std::copy_n(archive.begin() + static_cast<std::ptrdiff_t>(offset), into.size(), into.begin());
    return true;
  };
  return open;
}

TZip OpenAnotherHandle(const TOpenArchive& archive) {
  TZipError error;
  TZipSource source(archive.makeSource(error.Get()));
  if (!source) return nullptr;
  TZip zip(zip_open_from_source(source.get(), ZIP_RDONLY, error.Get()));
  if (zip) source.release();  // the archive owns it now
  return zip;
}

}  // namespace ovix
