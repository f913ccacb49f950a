#include "script/unpack.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "os/files.h"
#include "os/text.h"
#include "script/install_journal.h"
#include "script/member_name.h"
#include "script/unpack_files.h"
#include "script/zip_layout.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

// Large enough that a member costs few calls, small enough to keep the memory flat.
constexpr std::size_t kChunkSize = 256 * 1024;

struct TZipDiscard {
  void operator()(zip_t* zip) const { zip_discard(zip); }  // read only: nothing to write back
};
struct TZipFileClose {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
struct TZipSourceFree {
  void operator()(zip_source_t* source) const { zip_source_free(source); }
};
struct TFileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using TZip = std::unique_ptr<zip_t, TZipDiscard>;
using TZipFile = std::unique_ptr<zip_file_t, TZipFileClose>;
using TZipSource = std::unique_ptr<zip_source_t, TZipSourceFree>;
using TFile = std::unique_ptr<std::FILE, TFileClose>;

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

// Makes a fresh libzip source over the archive's bytes; nullptr with the error set on failure.
using TSourceMaker = std::function<zip_source_t*(zip_error_t*)>;

// Rejects archives whose members share bytes, which libzip would extract regardless.
void CheckLayout(std::string_view archive, const TSourceMaker& makeSource, std::uint64_t size,
                 std::uint64_t entries) {
  TZipError error;
  const TZipSource source(makeSource(error.Get()));
  if (!source || zip_source_open(source.get()) != 0) Fail(archive, "the file cannot be read");
  TArchiveBytes bytes(source.get());
  const auto read = [&bytes](std::uint64_t offset, std::span<unsigned char> into) {
    return bytes.Read(offset, into);
  };
  switch (CheckMemberLayout(size, entries, read)) {
    case TMemberLayout::kSeparate:
      return;
    case TMemberLayout::kOverlapping:
      Fail(archive, "its members overlap each other or the table of contents");
    case TMemberLayout::kUnreadable:
      Fail(archive, "its table of contents cannot be read");
  }
}

TZip OpenZip(std::string_view archive, const TSourceMaker& makeSource, std::uint64_t size) {
  if (size == 0) Fail(archive, "the file is empty");
  TZipError zipError;
  TZipSource source(makeSource(zipError.Get()));
  if (!source) Fail(archive, DescribeOpenError(zipError));
  TZip zip(zip_open_from_source(source.get(), ZIP_RDONLY, zipError.Get()));
  if (!zip) Fail(archive, DescribeOpenError(zipError));
  source.release();  // the archive owns it now
  CheckLayout(archive, makeSource, size,
              static_cast<std::uint64_t>(zip_get_num_entries(zip.get(), 0)));
  return zip;
}

TZip OpenArchiveFile(std::string_view archive) {
  const std::optional<fs::path> file = LocalPath(archive);
  if (!file) Fail(archive, "this is not a usable file path");
  std::error_code error;
  const fs::file_status status = fs::status(*file, error);
  if (!fs::exists(status)) Fail(archive, "the file does not exist");
  if (fs::is_directory(status)) Fail(archive, "this is a directory, not an archive");
  const std::uintmax_t size = fs::file_size(*file, error);
  if (error) Fail(archive, "the file cannot be read");
  return OpenZip(
      archive, [&file](zip_error_t* zipError) { return OpenArchiveSource(*file, zipError); }, size);
}

fs::path OpenDestination(std::string_view directory) {
  std::string windowsPath(directory);
  // "C:" alone names the drive's root here; Windows would take its current directory.
  if (windowsPath.size() == 2 && windowsPath[1] == ':') windowsPath += '\\';
  const std::optional<fs::path> local = LocalPath(windowsPath);
  std::error_code error;
  if (local && fs::is_directory(*local, error)) return *local;
  const bool exists = local && fs::exists(*local, error);
  throw TUnpackError("Cannot unpack into \"" + std::string(directory) + "\": " +
                     (exists ? "this is not a directory." : "the directory does not exist."));
}

// A member's data on its way to disk: written beside its target and moved there only when
// complete, also where no file stands yet, so that not even a killed process leaves a cut-off
// file under the target's name. Removed unless kept.
class TPendingFile {
 public:
  explicit TPendingFile(const fs::path& target)
      : target_(target), path_(PartialFileBeside(target)), out_(CreateOutputFile(path_)) {}
  ~TPendingFile() {
    out_.reset();
    std::error_code ignored;
    if (!kept_) fs::remove(path_, ignored);
  }
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  std::FILE* Stream() const { return out_.get(); }
  // Closes the data and puts it in place; false when either fails.
  bool Keep() {
    if (std::fclose(out_.release()) != 0) return false;
    kept_ = MoveReplacing(path_, target_);
    return kept_;
  }

 private:
  const fs::path target_;
  const fs::path path_;
  TFile out_;
  bool kept_ = false;
};

// A link stored by a Unix archiver: extracting it would let later members write through it.
bool IsSymbolicLink(zip_t* zip, zip_uint64_t index) {
  constexpr zip_uint32_t kTypeMask = 0170000;
  constexpr zip_uint32_t kLinkType = 0120000;
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(zip, index, 0, &system, &attributes) != 0) return true;
  return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & kTypeMask) == kLinkType;
}

// The members of one archive on their way below the destination.
class TExtraction {
 public:
  TExtraction(zip_t* zip, fs::path destination, TInstallJournal* journal)
      : zip_(zip), destination_(std::move(destination)), journal_(journal), buffer_(kChunkSize) {
    RemoveStalePartialFiles(destination_);
  }

  // Why the member was skipped; nullopt when it was extracted.
  std::optional<std::string_view> Extract(zip_uint64_t index) {
    if (IsSymbolicLink(zip_, index)) return "a link, which could lead out of the folder";
    // The stored bytes are checked as well: libzip shows the control characters of a name
    // it takes for CP437 as symbols.
    const char* stored = zip_get_name(zip_, index, ZIP_FL_ENC_RAW);
    const char* shown = zip_get_name(zip_, index, 0);
    if (stored == nullptr || shown == nullptr) return "its name cannot be read";
    const std::optional<TMemberName> name = SplitMemberName(shown);
    if (!SplitMemberName(stored) || !name) return "its name is not safe to write on Windows";
    const std::span<const std::string_view> components = name->components;
    if (name->directory) {
      if (MakeDirectories(components)) return std::nullopt;
      return "its folder cannot be made";
    }
    if (components.empty()) return "its name is empty";
    const auto parent = MakeDirectories(components.first(components.size() - 1));
    if (!parent) return "its folder cannot be made";
    const fs::path target = paths_.Child(*parent, components.back());
    if (journal_ && !journal_->BeforeWrite(target)) return "the file it replaces cannot be kept";
    if (const auto problem = Write(index, target)) return problem;
    if (journal_) journal_->Written(target);
    paths_.Added(target);
    return std::nullopt;
  }

 private:
  // The directory below the destination that `components` name, made where missing.
  std::optional<fs::path> MakeDirectories(std::span<const std::string_view> components) {
    fs::path directory = destination_;
    for (const std::string_view component : components) {
      directory = paths_.Child(directory, component);
      if (knownDirectories_.contains(directory.native())) continue;
      std::error_code error;
      if (!fs::is_directory(directory, error)) {
        if (journal_) journal_->BeforeCreateFolder(directory);
        fs::create_directory(directory, error);
        if (error || !fs::is_directory(directory, error)) return std::nullopt;
        paths_.Added(directory);
      } else {
        RemoveStalePartialFiles(directory);  // what a killed install left here
      }
      knownDirectories_.insert(directory.native());
    }
    return directory;
  }

  // Streams a member to `target`; a failure leaves an old file as it was. Data beyond the
  // declared size stops the member at once. Why it failed; nullopt when it is in place.
  std::optional<std::string_view> Write(zip_uint64_t index, const fs::path& target) {
    constexpr std::string_view kDamaged = "its data is damaged or fails its checksum";
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(zip_, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
      return kDamaged;
    }
    TZipFile member(zip_fopen_index(zip_, index, 0));
    if (!member) {
      const int error = zip_error_code_zip(zip_get_error(zip_));
      if (error == ZIP_ER_COMPNOTSUPP) return "it is compressed in a way this program cannot read";
      if (error == ZIP_ER_ENCRNOTSUPP || error == ZIP_ER_NOPASSWD) return "it is encrypted";
      return kDamaged;
    }
    TPendingFile out(target);
    if (!out.Stream()) return "the file cannot be written";
    std::uint64_t written = 0;
    for (;;) {
      const zip_int64_t got = zip_fread(member.get(), buffer_.data(), buffer_.size());
      if (got < 0) return kDamaged;  // damaged data, or a CRC mismatch at the end
      if (got == 0) break;
      const auto count = static_cast<std::size_t>(got);
      written += count;
      if (written > stat.size) return kDamaged;
      if (std::fwrite(buffer_.data(), 1, count, out.Stream()) != count) {
        return "the file cannot be written";
      }
    }
    if (written != stat.size || zip_fclose(member.release()) != 0) return kDamaged;
    if (!out.Keep()) return "the file cannot be written";
    return std::nullopt;
  }

  zip_t* zip_;
  const fs::path destination_;
  TInstallJournal* const journal_;
  TMemberPaths paths_;
  // Directories made or found by now: members in them need no further look-up.
  std::unordered_set<fs::path::string_type> knownDirectories_;
  std::vector<char> buffer_;
};

void ExtractAll(const TZip& zip, std::string_view destinationDirectory,
                const TArchiveProgress& progress, const TSkippedMember& skipped,
                TInstallJournal* journal = nullptr) {
  const fs::path destination = OpenDestination(destinationDirectory);
  const auto count = static_cast<zip_uint64_t>(zip_get_num_entries(zip.get(), 0));
  TExtraction extraction(zip.get(), destination, journal);
  for (zip_uint64_t index = 0; index < count; ++index) {
    // A member that fails is skipped: the others are still worth having.
    if (const auto reason = extraction.Extract(index); reason && skipped) {
      // Appended piecewise: GCC 12 warns falsely about the operator+ chain here.
      const char* name = zip_get_name(zip.get(), index, 0);
      std::string shown = name != nullptr ? RepairUtf8(name) : std::string("#");
      if (name == nullptr) shown.append(std::to_string(index));
      skipped(shown, *reason);
    }
    if (progress) progress(static_cast<int>((index + 1) * 100 / count));
  }
  if (count > 0 && progress) progress(100);
}

}  // namespace

void UnpackArchive(std::string_view archive, std::string_view destinationDirectory,
                   const TArchiveProgress& progress, const TSkippedMember& skipped,
                   TInstallJournal* journal) {
  ExtractAll(OpenArchiveFile(archive), destinationDirectory, progress, skipped, journal);
}

void UnpackArchiveData(std::span<const unsigned char> archive, std::string_view name,
                       std::string_view destinationDirectory, const TArchiveProgress& progress,
                       const TSkippedMember& skipped) {
  const auto makeSource = [archive](zip_error_t* error) {
    return zip_source_buffer_create(archive.data(), archive.size(), 0, error);
  };
  ExtractAll(OpenZip(name, makeSource, archive.size()), destinationDirectory, progress, skipped);
}

}  // namespace ovix
