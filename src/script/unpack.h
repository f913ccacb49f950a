#pragma once
// UNPACK: extracts a ZIP archive into an existing directory, never outside it.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <span>
#include <stdexcept>
#include <string_view>

namespace ovix {

class TInstallJournal;

// Why an archive could not be unpacked at all; the text says so in plain words.
class TUnpackError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Told the share of members processed so far, 0 to 100.
using TArchiveProgress = std::function<void(int percent)>;
// Told of each member that was skipped: its name as stored, and why in plain words.
using TSkippedMember = std::function<void(std::string_view member, std::string_view reason)>;

// Extracts every member of the archive below the destination directory, in archive
// order, creating directories on the way and replacing existing files. Both paths
// are Windows paths. Throws TUnpackError when the archive is missing, empty, not a
// ZIP archive or has an unreadable or self-overlapping table of contents, and when
// the destination directory does not exist; then nothing is extracted. A member
// that cannot be extracted, or whose name would place it outside the destination,
// is skipped, and `skipped` told. After each member progress gets (processed * 100) /
// count, and once more 100 after the last; an archive without members makes no call.
// With a journal, each file and folder is recorded in it before it is made or replaced.
// Returns how many files were written.
std::size_t UnpackArchive(std::string_view archive, std::string_view destinationDirectory,
                          const TArchiveProgress& progress, const TSkippedMember& skipped = {},
                          TInstallJournal* journal = nullptr);

// What UNPACK would do with an entry, planned without writing anything.
enum class TPlannedKind { NewFolder, NewFile, ReplacedFile };
using TPlannedEntry = std::function<void(const std::filesystem::path& local, TPlannedKind kind)>;

// Tells, in archive order, each folder UnpackArchive would make and each file it would write
// (by its local path), and each member it would skip, without writing anything. Throws as
// UnpackArchive does when it would not unpack at all.
void PlanUnpack(std::string_view archive, std::string_view destinationDirectory,
                const TPlannedEntry& planned, const TSkippedMember& skipped = {});

// The same for an archive whose bytes are already in memory; `name` is what errors call it.
void UnpackArchiveData(std::span<const unsigned char> archive, std::string_view name,
                       std::string_view destinationDirectory, const TArchiveProgress& progress,
                       const TSkippedMember& skipped = {});

}  // namespace ovix
