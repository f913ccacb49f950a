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
  TArchiveBytes(const TArchiveReader& read, std::uint64_t size)
      : read_(read), size_(size), window_(kWindowSize) {}

  bool Read(std::uint64_t offset, std::span<unsigned char> into) {
    if (into.size() > window_.size()) return read_(offset, into);
    if (offset < start_ || offset - start_ + into.size() > filled_) {
      if (offset > size_) return false;
      start_ = offset;
      // Fewer bytes than the window only at the end of the file.
      filled_ = static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), size_ - offset));
      if (!read_(offset, std::span(window_).first(filled_))) filled_ = 0;
      if (into.size() > filled_) return false;
    }
    std::copy_n(window_.begin() + static_cast<std::ptrdiff_t>(offset - start_), into.size(),
                into.begin());
    return true;
  }

 private:
  static constexpr std::size_t kWindowSize = 64 * 1024;

  const TArchiveReader& read_;
  const std::uint64_t size_;
  std::vector<unsigned char> window_;
  std::uint64_t start_ = 0;
  std::size_t filled_ = 0;
};

// Rejects archives whose members share bytes, which libzip would extract regardless, and
// finds where the members' data lie.
void CheckLayout(std::string_view archive, TOpenArchive& open) {
  TArchiveBytes bytes(open.read, open.size);
  const auto read = [&bytes](std::uint64_t offset, std::span<unsigned char> into) {
    return bytes.Read(offset, into);
  };
  const auto entries = static_cast<std::uint64_t>(zip_get_num_entries(open.zip.get(), 0));
  switch (CheckMemberLayout(open.size, entries, read, &open.places)) {
    case TMemberLayout::Separate:
      return;
    case TMemberLayout::Overlapping:
      Fail(archive, "its members overlap each other or the table of contents");
    case TMemberLayout::Unreadable:
      Fail(archive, "its table of contents cannot be read");
  }
}

TZip TryOpenZip(const TSourceMaker& makeSource, TZipError& error) {
  TZipSource source(makeSource(error.Get()));
  if (!source) return nullptr;
  TZip zip(zip_open_from_source(source.get(), ZIP_RDONLY, error.Get()));
  if (zip) source.release();  // the archive owns it now
  return zip;
}

// libzip's view of a non-empty archive. One with bytes before its first member whose offsets
// were not moved past them (a stub, a self-extracting program) is read from where it begins,
// as the peers read it; its members then pass the same layout checks. `sourceFrom` makes a
// source of the bytes from an offset on.
void OpenLibzip(std::string_view archive, TOpenArchive& open,
                const std::function<TSourceMaker(std::uint64_t start)>& sourceFrom) {
  if (open.size == 0) Fail(archive, "the file is empty");
  open.makeSource = sourceFrom(0);
  TZipError error;
  open.zip = TryOpenZip(open.makeSource, error);
  // libzip finds no archive there, or one whose directory is not where its end record says.
  if (open.zip || (error.Code() != ZIP_ER_NOZIP && error.Code() != ZIP_ER_INCONS)) {
    if (!open.zip) Fail(archive, DescribeOpenError(error));
    return;
  }
  const std::optional<std::uint64_t> stub = LeadingBytes(open.size, open.read);
  if (!stub) Fail(archive, DescribeOpenError(error));
  TZipError shiftedError;
  TSourceMaker shifted = sourceFrom(*stub);
  open.zip = TryOpenZip(shifted, shiftedError);
  if (!open.zip) Fail(archive, DescribeOpenError(error));
  open.makeSource = std::move(shifted);
  open.size -= *stub;
  open.read = [read = std::move(open.read), start = *stub](std::uint64_t offset,
                                                           std::span<unsigned char> into) {
    return read(start + offset, into);
  };
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
  open.file = TArchiveFile::Open(*file);
  if (!open.file) Fail(archive, "the file cannot be read");
  open.read = [reader = open.file.get()](std::uint64_t offset, std::span<unsigned char> into) {
    return reader->ReadAt(offset, into);
  };
  OpenLibzip(archive, open, [file = *file](std::uint64_t start) -> TSourceMaker {
    return
        [file, start](zip_error_t* zipError) { return OpenArchiveSource(file, start, zipError); };
  });
  CheckLayout(archive, open);
  return open;
}

TOpenArchive OpenArchiveData(std::span<const unsigned char> archive, std::string_view name) {
  TOpenArchive open;
  open.size = archive.size();
  open.read = [archive](std::uint64_t offset, std::span<unsigned char> into) {
    if (offset > archive.size() || into.size() > archive.size() - offset) return false;
    std::copy_n(archive.begin() + static_cast<std::ptrdiff_t>(offset), into.size(), into.begin());
    return true;
  };
  OpenLibzip(name, open, [archive](std::uint64_t start) -> TSourceMaker {
    return [bytes = archive.subspan(static_cast<std::size_t>(start))](zip_error_t* error) {
      return zip_source_buffer_create(bytes.data(), bytes.size(), 0, error);
    };
  });
  CheckLayout(name, open);
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
